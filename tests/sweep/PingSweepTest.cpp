#include "tests/support/Harness.h"
#include "tests/support/JudgingRows.h"

#include "platform/EchoService.h"
#include "platform/Twips.h"

#include <QHeaderView>
#include <QTimer>

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
            EXPECT_EQ(h.state().StopRequest, "Cancel");
            EXPECT_TRUE(h.button("cmdReset")->isEnabled());
            EXPECT_FALSE(h.button("cmdSaveRun")->isEnabled()) << "only a finished sweep can be saved";
        }
        EXPECT_FALSE(h.button("cmdPing")->isEnabled());
        EXPECT_TRUE(h.box("Text1")->isEnabled());
        EXPECT_TRUE(h.window->SSTab1->isTabEnabled(3));
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
    h.state().ScheduledRunActive = true;
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
    auto* ips = h.find<QListWidget>("lbReportIP");
    auto* rtts = h.find<QListWidget>("lbReportRTT");
    ASSERT_EQ(ips->count(), 3);
    EXPECT_EQ(ips->item(2)->text(), "192.168.7.10");
    EXPECT_EQ(rtts->item(1)->text(), "25");
    EXPECT_EQ(ips->currentRow(), 2);
    EXPECT_EQ(rtts->currentRow(), 2);

    QTableWidget* g = h.grid();
    EXPECT_EQ(g->horizontalHeaderItem(0)->text(), "       IP Address     ");
    EXPECT_EQ(g->horizontalHeaderItem(1)->text(), "                       DNS Name    ");
    EXPECT_EQ(g->horizontalHeaderItem(2)->text(), "Time (ms)");
    EXPECT_GE(g->columnWidth(0), platform::twips(1500));
    EXPECT_GE(g->columnWidth(1), platform::twips(2400));
    EXPECT_GE(g->columnWidth(2), platform::twips(575));

    const auto saved = h.window->pingSweep->resultRows();
    ASSERT_EQ(saved.size(), 3u);
    EXPECT_EQ(saved[1].address, "192.168.7.9");
    EXPECT_EQ(saved[1].roundTripTime, "25");
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
    EXPECT_EQ(h.window->sbStatus->panel(2), "");
    EXPECT_FALSE(h.state().SweepRunning);
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
    EXPECT_EQ(h.state().StopRequest, "False");
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
    QObject::connect(h.window->pingSweep, &sweep::PingSweep::sweepEnded, [&] { ++ended; });
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

TEST(PingSweep, ResetAfterASweep) {
    Harness h;
    int ended = 0;
    QObject::connect(h.window->pingSweep, &sweep::PingSweep::sweepEnded, [&] { ++ended; });
    h.world.echo.answer("10.1.2.1");
    h.setRange("10", "1", "2", "1", "3");
    h.ping();
    EXPECT_EQ(ended, 1);
    ASSERT_EQ(h.rows().size(), 1u);
    h.button("cmdReset")->click();
    EXPECT_TRUE(h.rows().empty());
    EXPECT_EQ(h.find<QListWidget>("lbReportIP")->count(), 0);
    EXPECT_EQ(h.find<QListWidget>("lbReportRTT")->count(), 0);
    EXPECT_TRUE(h.button("cmdPing")->isEnabled());
    EXPECT_FALSE(h.button("cmdReset")->isEnabled());
    EXPECT_FALSE(h.button("cmdSaveRun")->isEnabled());
    EXPECT_EQ(h.panel1(), "Welcome.");
    EXPECT_EQ(h.grid()->horizontalHeaderItem(2)->text(), "Time (ms)");
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
        h.state().PercentDone = 37;
        h.setRange("10", "1", "2", r.first, r.last);
        h.ping();
        EXPECT_EQ(h.world.echo.sent.size(), r.pinged);
        EXPECT_EQ(h.state().PercentDone, 37);
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
    EXPECT_FALSE(h.state().SweepRunning);
}

TEST(PingSweep, OneResolverObjectPerSweep) {
    struct Row {
        const char* name;
        std::vector<const char*> answering;
        bool cancelAfterFirst;
        int created;
    };
    const Row rows[] = {{"nobody answers", {}, false, 0},
                        {"one answers", {"10.1.2.4"}, false, 1},
                        {"many answer", {"10.1.2.1", "10.1.2.2", "10.1.2.5", "10.1.2.9"}, false, 1},
                        {"cancelled by a box", {"10.1.2.1", "10.1.2.5"}, true, 1}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Harness h;
        for (const char* a : r.answering)
            h.world.echo.answer(a);
        if (r.cancelAfterFirst) {
            h.world.echo.fail("10.1.2.3", es::DestNetUnreachable);
            h.world.boxes.answers = {AnswerCancel};
        }
        // Objects alive as each address's handle closes (before its result is judged): none up to
        // the first answer, one from the next address on.
        std::vector<std::pair<uint32_t, int>> liveAtClose;
        h.world.echo.onClosed = [&](uint32_t d) { liveAtClose.emplace_back(d, h.world.components.live); };
        h.setRange("10", "1", "2", "1", "9");
        h.ping();
        EXPECT_EQ(h.world.components.created, r.created);
        EXPECT_EQ(h.world.components.live, 0) << "released when the sweep returns";
        bool answered = false;
        for (const auto& [destination, live] : liveAtClose) {
            EXPECT_EQ(live, answered ? 1 : 0) << "at the close of " << destination;
            for (const char* a : r.answering)
                answered = answered || destination == ip(a);
        }
        EXPECT_EQ(h.world.components.lookups, r.cancelAfterFirst ? 1 : static_cast<int>(r.answering.size()));
    }
    // A second sweep gets its own object.
    Harness h;
    h.world.echo.answer("10.1.2.1");
    h.setRange("10", "1", "2", "1", "2");
    h.ping();
    h.button("cmdReset")->click();
    h.setRange("10", "1", "2", "1", "2");
    h.ping();
    EXPECT_EQ(h.world.components.created, 2);
    EXPECT_EQ(h.world.components.live, 0);
}

TEST(PingSweep, MissingResolverStillListsEveryAddressAndSaysSoOnce) {
    Harness h;
    h.world.components.refuse = com::REGDB_E_CLASSNOTREG;
    h.world.echo.answer("10.1.2.1", 4);
    h.world.echo.answer("10.1.2.2", 5);
    h.setRange("10", "1", "2", "1", "2");
    h.ping();
    EXPECT_EQ(h.rows(), (std::vector<QStringList>{{"10.1.2.1", "Not available", "4"},
                                                  {"10.1.2.2", "Not available", "5"}}));
    ASSERT_EQ(h.world.boxes.shown.size(), 1u);
    EXPECT_EQ(h.world.boxes.last().title, "Kestrion Error");
    EXPECT_TRUE(h.world.boxes.last().text.contains("0x80040154"));
    EXPECT_TRUE(h.world.boxes.last().text.contains("Not available"));

    // Told again in the next sweep.
    h.button("cmdReset")->click();
    h.setRange("10", "1", "2", "1", "2");
    h.ping();
    EXPECT_EQ(h.world.boxes.shown.size(), 2u);
}

TEST(PingSweep, PingDoesNothingWhileASweepRuns) {
    Harness h;
    int nestedSends = -1;
    h.world.echo.onClosed = [&](uint32_t d) {
        if (d == ip("10.1.2.1")) {
            h.window->pingSweep->cmdPing_Click(); // as the schedule timer would, from inside the yield
            nestedSends = static_cast<int>(h.world.echo.sent.size());
        }
    };
    h.setRange("10", "1", "2", "1", "3");
    h.ping();
    EXPECT_EQ(nestedSends, 1);
    EXPECT_EQ(h.world.echo.sent.size(), 3u);
}

TEST(PingSweep, TabsAndBoxesLockedDuringTheSweep) {
    Harness h;
    bool tabsLocked = false, boxesLocked = false, cancelEnabled = false, running = false;
    h.world.echo.onClosed = [&](uint32_t) {
        tabsLocked = !h.window->SSTab1->isTabEnabled(1) && !h.window->SSTab1->isTabEnabled(2) &&
                     !h.window->SSTab1->isTabEnabled(3);
        boxesLocked = !h.box("Text1")->isEnabled() && !h.box("Text5")->isEnabled();
        cancelEnabled = h.button("cmdCancelPing")->isEnabled();
        running = h.state().SweepRunning;
    };
    h.setRange("10", "1", "2", "1", "1");
    h.ping();
    EXPECT_TRUE(tabsLocked);
    EXPECT_TRUE(boxesLocked);
    EXPECT_TRUE(cancelEnabled);
    EXPECT_TRUE(running);
    EXPECT_TRUE(h.window->SSTab1->isTabEnabled(2));
    EXPECT_TRUE(h.box("Text3")->isEnabled());
}

// Calls `onPaint` with the text of every paint of the widget it watches.
struct PaintSpy : QObject {
    std::function<void(const QString& text)> onPaint;
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint)
            onPaint(o->property("text").toString());
        return false;
    }
};

// Painting: the window shows the progress while echoes wait, at most once a frame, and the end state.
TEST(PingSweep, WindowKeepsPaintingDuringASweep) {
    Harness h;
    h.world.echo.waitMs = 10;
    auto* panel = h.window->sbStatus->findChild<QWidget*>(QStringLiteral("sbStatus.Panel(1)"));
    ASSERT_NE(panel, nullptr);
    QStringList painted;
    PaintSpy spy;
    spy.onPaint = [&](const QString& text) { painted << text; };
    panel->installEventFilter(&spy);
    h.setRange("10", "1", "2", "1", "30"); // about 300 ms of echo waits
    h.ping();
    EXPECT_GE(painted.size(), 2) << "painted while the echoes waited";
    EXPECT_LT(painted.size(), 30) << "not once per change: at most once a frame";
    EXPECT_TRUE(painted.filter(QStringLiteral("Pinging 10.1.2.")).size() >= 2);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !painted.isEmpty() && painted.back() == "Done."; }, 2000))
        << "the last paint shows the end of the sweep";
}

// A slow name look-up (a silent name server) must not freeze the window either: what is asked to be
// painted while the look-up waits is painted then, not after it.
TEST(PingSweep, WindowKeepsPaintingWhileANameIsLookedUp) {
    Harness h;
    h.world.echo.answer("10.1.2.1");
    h.world.components.names = {{"10.1.2.1", "slow.lab"}};
    h.world.components.waitMs = 300;
    auto* panel = h.window->sbStatus->findChild<QWidget*>(QStringLiteral("sbStatus.Panel(1)"));
    ASSERT_NE(panel, nullptr);
    int paintedDuringLookUp = 0;
    PaintSpy spy;
    spy.onPaint = [&](const QString&) { paintedDuringLookUp += h.world.components.lookingUp ? 1 : 0; };
    panel->installEventFilter(&spy);
    QTimer damage; // something keeps asking for a repaint, as an uncovered window would
    QObject::connect(&damage, &QTimer::timeout, panel, [panel] { panel->update(); });
    damage.start(20);
    h.setRange("10", "1", "2", "1", "1");
    h.ping();
    EXPECT_EQ(h.rows(), (std::vector<QStringList>{{"10.1.2.1", "slow.lab", "1"}}));
    EXPECT_GE(paintedDuringLookUp, 2);
}

} // namespace
} // namespace kestrion::test
