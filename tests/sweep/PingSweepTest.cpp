#include "tests/support/Harness.h"
#include "tests/support/JudgingRows.h"

#include "platform/EchoService.h"
#include "platform/Twips.h"

#include <QHeaderView>
#include <QTimer>
#include <chrono>

namespace kestrion::test {
namespace {

using platform::AnswerCancel;
using platform::AnswerNo;
using platform::AnswerOk;
using platform::AnswerYes;
using platform::MsgButtons;
using platform::MsgIcon;
namespace es = platform::echo_status;

// The box each row raises, its answer, and whether the sweep goes on to 10.1.2.2 (which answers).
TEST(PingSweep, JudgingTableRowByRow) {
    for (const JudgingRow& r : judgingQuestionRows()) {
        SCOPED_TRACE(r.name);
        Harness h;
        r.script(h.world.echo);
        h.world.echo.answer("10.1.2.2", 3);
        h.world.boxes.answers = {r.answer};
        h.setRange("10", "1", "2", "1", "2");
        h.ping();

        ASSERT_GE(h.world.boxes.shown.size(), 1u);
        const auto& box = h.world.boxes.shown[0];
        EXPECT_EQ(box.title, r.title);
        EXPECT_EQ(box.buttons, r.buttons);
        EXPECT_EQ(box.icon, MsgIcon::Exclamation);
        EXPECT_EQ(box.text, r.text);
        EXPECT_EQ(h.world.echo.openHandles, 0) << "every handle is closed";
        if (r.stopText.isEmpty()) {
            EXPECT_EQ(h.world.boxes.shown.size(), 1u);
            EXPECT_EQ(h.rows(), (std::vector<QStringList>{{"10.1.2.2", "Not available", "3"}}));
            EXPECT_EQ(h.panel1(), "Done.");
            EXPECT_TRUE(h.button("cmdSaveRun")->isEnabled());
        } else {
            ASSERT_EQ(h.world.boxes.shown.size(), 2u);
            EXPECT_EQ(h.world.boxes.shown[1].title, "Kestrion Termination");
            EXPECT_EQ(h.world.boxes.shown[1].text, r.stopText);
            EXPECT_EQ(h.world.boxes.shown[1].buttons, MsgButtons::Ok);
            EXPECT_EQ(h.world.boxes.shown[1].icon, MsgIcon::None);
            EXPECT_EQ(h.sentTo(), std::vector<uint32_t>{ip("10.1.2.1")}) << "the sweep stops at once";
            EXPECT_TRUE(h.rows().empty());
            EXPECT_EQ(h.panel1(), "Cancelled.");
            EXPECT_EQ(h.session().stopRequestText(), "Cancel");
            EXPECT_TRUE(h.button("cmdReset")->isEnabled());
            EXPECT_FALSE(h.button("cmdSaveRun")->isEnabled()) << "only a finished sweep can be saved";
        }
        EXPECT_FALSE(h.button("cmdPing")->isEnabled());
        EXPECT_TRUE(h.box("Text1")->isEnabled());
        EXPECT_TRUE(control<QTabWidget>(*h.window, "SSTab1")->isTabEnabled(3));
    }
}

TEST(PingSweep, TimeOutIsSilentAndScheduledRunTakesTheContinuingAnswers) {
    Harness h;
    h.world.echo.fail("10.1.2.1", es::DestNetUnreachable);
    h.world.echo.fail("10.1.2.2", es::BadDestination);
    h.world.echo.fail("10.1.2.3", es::GeneralFailure);
    h.world.echo.answerFrom("10.1.2.4", "10.1.2.254", es::DestHostUnreachable);
    // 10.1.2.5 times out
    h.world.echo.answer("10.1.2.6", 12);
    h.world.components.refuse = com::REGDB_E_CLASSNOTREG;
    h.world.boxes.answers = {AnswerCancel, AnswerCancel, AnswerCancel, AnswerNo};
    h.setRange("10", "1", "2", "1", "6");
    h.session().setUnattended(true);
    h.ping();
    EXPECT_TRUE(h.world.boxes.shown.empty()) << h.world.boxes.shown[0].text.toStdString();
    EXPECT_EQ(h.world.echo.sent.size(), 6u);
    EXPECT_EQ(h.rows(), (std::vector<QStringList>{{"10.1.2.6", "Not available", "12"}}));
    EXPECT_EQ(h.panel1(), "Done.");
}

TEST(PingSweep, RowsListsAndGridFormat) {
    Harness h;
    h.world.echo.answer("192.168.7.3", 0);
    h.world.echo.answer("192.168.7.9", 25);
    h.world.echo.answer("192.168.7.10", 1);
    h.world.components.names = {
        {"192.168.7.3", "gw.lab"}, {"192.168.7.9", "Error code 11004 occurred."}, {"192.168.7.10", ""}};
    h.setRange("192", "168", "7", "2", "10");
    h.ping();
    EXPECT_EQ(h.rows(), (std::vector<QStringList>{{"192.168.7.3", "gw.lab", "0"},
                                                  {"192.168.7.9", "Not available", "25"},
                                                  {"192.168.7.10", "", "1"}}));
    auto* ips = h.find<QListView>("lbReportIP");
    auto* rtts = h.find<QListView>("lbReportRTT");
    ASSERT_EQ(rowCount(*ips), 3);
    EXPECT_EQ(ips->currentIndex().data().toString(), "192.168.7.10");
    EXPECT_EQ(rtts->currentIndex().data().toString(), "1");
    EXPECT_EQ(rtts->model()->index(1, rtts->modelColumn()).data().toString(), "25");
    EXPECT_EQ(ips->currentIndex().row(), 2);
    EXPECT_EQ(rtts->currentIndex().row(), 2);

    QTableView* g = h.grid();
    EXPECT_EQ(g->model()->headerData(0, Qt::Horizontal).toString(), "       IP Address     ");
    EXPECT_EQ(g->model()->headerData(1, Qt::Horizontal).toString(), "                       DNS Name    ");
    EXPECT_EQ(g->model()->headerData(2, Qt::Horizontal).toString(), "Time (ms)");
    EXPECT_GE(g->columnWidth(0), platform::twips(1500));
    EXPECT_GE(g->columnWidth(1), platform::twips(2400));
    EXPECT_GE(g->columnWidth(2), platform::twips(575));

    // The model holds the time as a number, and Save stores it as the grid shows it.
    EXPECT_EQ(g->model()->index(1, 2).data(sweep::HostsModel::RoundTripRole).toUInt(), 25u);
    h.button("cmdSaveRun")->click();
    EXPECT_EQ(h.world.folder.column("SELECT SuccessIP || ' ' || SuccessRTT FROM tblSuccess ORDER BY rowid"),
              (QStringList{"192.168.7.3 0", "192.168.7.9 25", "192.168.7.10 1"}));
}

TEST(PingSweep, RequestDataTimeoutAndOrder) {
    Harness h(false);
    h.world.settings->write(QStringLiteral("Settings"), QStringLiteral("PacketSize"), QStringLiteral("8"));
    h.world.settings->write(QStringLiteral("Settings"), QStringLiteral("Timeout"), QStringLiteral("500"));
    h.load();
    QStringList statusSeen;
    h.world.echo.onClosed = [&](uint32_t) { statusSeen << h.panel1(); };
    h.setRange("10", "9", "8", "1", "254");
    h.ping();
    ASSERT_EQ(h.world.echo.sent.size(), 254u);
    EXPECT_EQ(h.world.echo.sent.front().destination, ip("10.9.8.1"));
    EXPECT_EQ(h.world.echo.sent.back().destination, ip("10.9.8.254"));
    EXPECT_EQ(h.world.echo.sent[0].data, std::vector<uint8_t>(8, 'T'));
    EXPECT_EQ(h.world.echo.sent[0].timeoutMs, 500);
    EXPECT_EQ(statusSeen.front(), "Pinging 10.9.8.1");
    EXPECT_EQ(h.panel1(), "Done.");
    EXPECT_EQ(control<app::StatusBar>(*h.window, "sbStatus")->panel(2), "");
    EXPECT_FALSE(h.session().isRunning());
}

TEST(PingSweep, CaptionShowsPercentOnlyWhileMinimised) {
    Harness h;
    h.window->showMinimized();
    ASSERT_TRUE(h.window->isMinimized());
    QStringList captions;
    h.world.echo.onClosed = [&](uint32_t) { captions << h.window->windowTitle(); };
    h.setRange("10", "1", "2", "10", "20");
    h.ping();
    QStringList expected;
    for (int p : {0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 90})
        expected << QStringLiteral("Kestrion - %1%").arg(p);
    EXPECT_EQ(captions, expected);

    Harness shown;
    QStringList plain;
    shown.world.echo.onClosed = [&](uint32_t) { plain << shown.window->windowTitle(); };
    shown.setRange("10", "1", "2", "10", "12");
    shown.ping();
    EXPECT_EQ(plain, QStringList({"Kestrion", "Kestrion", "Kestrion"}));
}

TEST(PingSweep, CancelByButton) {
    Harness h;
    h.world.echo.onClosed = [&](uint32_t d) {
        if (d == ip("10.1.2.3"))
            h.clickAtNextYield("cmdCancelPing");
    };
    h.world.echo.answer("10.1.2.2");
    h.setRange("10", "1", "2", "1", "6");
    h.ping();
    EXPECT_EQ(h.sentTo(), (std::vector<uint32_t>{ip("10.1.2.1"), ip("10.1.2.2"), ip("10.1.2.3")}));
    ASSERT_EQ(h.world.boxes.shown.size(), 1u);
    EXPECT_EQ(h.world.boxes.last().title, "Kestrion Alert");
    EXPECT_EQ(h.world.boxes.last().text, "Pinging Cancelled. \rClick Reset to clear results.");
    EXPECT_EQ(h.world.boxes.last().icon, MsgIcon::Exclamation);
    EXPECT_EQ(h.panel1(), "Cancelled.");
    EXPECT_EQ(h.rows().size(), 1u) << "rows found before the cancel stay";
    EXPECT_FALSE(h.button("cmdPing")->isEnabled());
    EXPECT_TRUE(h.button("cmdReset")->isEnabled());
    EXPECT_FALSE(h.button("cmdSaveRun")->isEnabled());
    EXPECT_TRUE(h.box("Text1")->isEnabled());
    EXPECT_EQ(h.world.components.live, 0);

    // Outside a sweep the button does nothing.
    h.button("cmdCancelPing")->click();
    EXPECT_EQ(h.world.boxes.shown.size(), 1u);
}

TEST(PingSweep, ResetRightAfterCancelStopsTheSweepThenResets) {
    Harness h;
    h.world.echo.onClosed = [&](uint32_t d) {
        if (d == ip("10.1.2.3")) {
            h.clickAtNextYield("cmdCancelPing");
            h.clickAtNextYield("cmdReset"); // enabled by the cancel, clicked at the same yield
        }
    };
    h.world.echo.answer("10.1.2.2");
    h.setRange("10", "1", "2", "1", "6");
    h.ping();
    EXPECT_EQ(h.sentTo(), (std::vector<uint32_t>{ip("10.1.2.1"), ip("10.1.2.2"), ip("10.1.2.3")}));
    EXPECT_EQ(h.world.boxes.shown.size(), 1u);
    EXPECT_EQ(h.rows().size(), 0u) << "the reset cleared the results once the sweep had returned";
    EXPECT_EQ(h.panel1(), "Welcome.");
    EXPECT_EQ(h.session().stopRequestText(), "False");
    EXPECT_TRUE(h.button("cmdPing")->isEnabled());
    EXPECT_FALSE(h.button("cmdReset")->isEnabled());
    EXPECT_TRUE(h.box("Text1")->isEnabled());
}

TEST(PingSweep, CancelDuringTheLastAddressFinishes) {
    Harness h;
    h.world.echo.onClosed = [&](uint32_t d) {
        if (d == ip("10.1.2.4"))
            h.clickAtNextYield("cmdCancelPing");
    };
    h.setRange("10", "1", "2", "1", "4");
    h.ping();
    EXPECT_EQ(h.world.echo.sent.size(), 4u);
    EXPECT_EQ(h.world.boxes.shown.size(), 1u);
    EXPECT_EQ(h.panel1(), "Done.");
    EXPECT_TRUE(h.button("cmdSaveRun")->isEnabled());
}

TEST(PingSweep, ExitDuringASweep) {
    Harness h;
    int ended = 0;
    QObject::connect(part<sweep::PingSweep>(*h.window), &sweep::PingSweep::sweepEnded, [&] { ++ended; });
    h.world.echo.onClosed = [&](uint32_t d) {
        if (d == ip("10.1.2.2"))
            h.clickAtNextYield("cmdExit(2)");
    };
    h.world.echo.answer("10.1.2.1");
    h.setRange("10", "1", "2", "1", "9");
    h.ping();
    EXPECT_EQ(h.world.echo.sent.size(), 2u);
    EXPECT_FALSE(h.window->isVisible());
    EXPECT_EQ(h.panel1(), "Pinging 10.1.2.2") << "neither Cancelled. nor Done.";
    EXPECT_FALSE(h.box("Text1")->isEnabled()) << "nothing is re-enabled on the way out";
    EXPECT_TRUE(h.world.boxes.shown.empty());
    EXPECT_EQ(h.world.components.live, 0);
    EXPECT_EQ(ended, 0) << "the program is ending: no schedule may start";
}

// "Send requests in parallel" on: Cancel and Exit take effect at the yield after the send at which they
// are clicked, with the answers of the block still under way; Cancel keeps what answered and says so
// as the sequential sweep does, Exit ends the program.
TEST(PingSweep, InParallelCancelAndExitStopAtOnce) {
    struct Row {
        const char* name;
        const char* button;
        bool visibleAfter;
        const char* panel;
        size_t boxes;
    } rows[] = {
        {"Cancel", "cmdCancelPing", true, "Cancelled.", 1},
        {"Exit", "cmdExit(2)", false, "Pinging 10.1.2.100", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Harness h(true, [](FakeWorld& world) {
            world.settings->write(QStringLiteral("Settings"), QStringLiteral("ParallelSweep"),
                                  QStringLiteral("True"));
        });
        h.world.echo.batchDelay = std::chrono::milliseconds(30);
        h.world.echo.answer("10.1.2.2");
        h.world.echo.answer("10.1.2.200");
        QObject::connect(&h.session(), &sweep::SweepSession::progress, [&](const QString& address, int) {
            if (address == QLatin1String("10.1.2.100"))
                h.clickAtNextYield(row.button);
        });
        h.setRange("10", "1", "2", "1", "254");
        const auto began = std::chrono::steady_clock::now();
        h.ping();
        EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(2))
            << "no wait for the 3000 ms time-out of the requests under way";
        EXPECT_EQ(h.world.echo.sent.size(), 100u) << "nothing sent after the click";
        EXPECT_EQ(h.world.echo.openBatches, 0) << "the one handle is closed";
        EXPECT_GT(h.world.echo.outstandingAtClose, 0u);
        EXPECT_EQ(h.window->isVisible(), row.visibleAfter);
        EXPECT_EQ(h.panel1(), row.panel);
        EXPECT_EQ(h.world.boxes.shown.size(), row.boxes);
        if (row.visibleAfter) {
            EXPECT_EQ(h.world.boxes.last().text, "Pinging Cancelled. \rClick Reset to clear results.");
            EXPECT_EQ(h.rows().size(), 1u) << "10.1.2.2 had answered";
            EXPECT_TRUE(h.button("cmdReset")->isEnabled());
            EXPECT_FALSE(h.button("cmdSaveRun")->isEnabled());
        }
    }
}

TEST(PingSweep, ResetAfterASweep) {
    Harness h;
    int ended = 0;
    QObject::connect(part<sweep::PingSweep>(*h.window), &sweep::PingSweep::sweepEnded, [&] { ++ended; });
    h.world.echo.answer("10.1.2.1");
    h.setRange("10", "1", "2", "1", "3");
    h.ping();
    EXPECT_EQ(ended, 1);
    ASSERT_EQ(h.rows().size(), 1u);
    h.button("cmdReset")->click();
    EXPECT_TRUE(h.rows().empty());
    EXPECT_EQ(rowCount(*h.find<QListView>("lbReportIP")), 0);
    EXPECT_EQ(rowCount(*h.find<QListView>("lbReportRTT")), 0);
    EXPECT_TRUE(h.button("cmdPing")->isEnabled());
    EXPECT_FALSE(h.button("cmdReset")->isEnabled());
    EXPECT_FALSE(h.button("cmdSaveRun")->isEnabled());
    EXPECT_EQ(h.panel1(), "Welcome.");
    EXPECT_EQ(h.grid()->model()->headerData(2, Qt::Horizontal).toString(), "Time (ms)");
    EXPECT_EQ(h.box("Text1")->text(), "10");
    EXPECT_EQ(h.box("Text3")->text(), "0") << "refilled from the local address 10.0.0.5";
    EXPECT_EQ(h.box("Text5")->text(), "254");
}

TEST(PingSweep, RangeEnds) {
    struct Row {
        const char* name;
        const char* first;
        const char* last;
        size_t pinged;
    };
    const Row rows[] = {{"one address", "7", "7", 1},
                        {"first one above last", "8", "7", 0},
                        {"first far above last finishes too", "200", "100", 0}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Harness h;
        // A sweep of four addresses leaves its progress at 67 %; the range below keeps it.
        h.setRange("10", "1", "2", "1", "4");
        h.ping();
        h.button("cmdReset")->click();
        ASSERT_EQ(h.session().percentDone(), 67);
        h.world.echo.sent.clear();
        h.setRange("10", "1", "2", r.first, r.last);
        h.ping();
        EXPECT_EQ(h.world.echo.sent.size(), r.pinged);
        EXPECT_EQ(h.session().percentDone(), 67);
        EXPECT_EQ(h.panel1(), "Done.");
        EXPECT_TRUE(h.button("cmdReset")->isEnabled());
        EXPECT_TRUE(h.button("cmdSaveRun")->isEnabled());
        EXPECT_FALSE(h.button("cmdPing")->isEnabled());
    }
}

TEST(PingSweep, EchoServiceRefusalStartsNoSweep) {
    Harness h;
    h.world.echo.refusal = "No ICMP socket can be opened.";
    h.setRange("10", "1", "2", "1", "5");
    h.ping();
    ASSERT_EQ(h.world.boxes.shown.size(), 1u);
    EXPECT_EQ(h.world.boxes.last().title, "Kestrion Error");
    EXPECT_EQ(h.world.boxes.last().text, "No ICMP socket can be opened.");
    EXPECT_TRUE(h.world.echo.sent.empty());
    EXPECT_TRUE(h.button("cmdPing")->isEnabled()) << "the user can try again";
    EXPECT_TRUE(h.box("Text1")->isEnabled());
    EXPECT_FALSE(h.session().isRunning());
}

} // namespace
} // namespace kestrion::test
