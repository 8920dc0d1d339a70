#include "tests/support/Harness.h"

#include "platform/EchoService.h"

#include <QTimer>

// The sweep's name look-ups and its painting, through the window.
namespace kestrion::test {
namespace {

using platform::AnswerCancel;
namespace es = platform::echo_status;

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
            part<sweep::PingSweep>(*h.window)
                ->cmdPing_Click(); // as the schedule timer would, from inside the yield
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
        tabsLocked = !control<QTabWidget>(*h.window, "SSTab1")->isTabEnabled(1) &&
                     !control<QTabWidget>(*h.window, "SSTab1")->isTabEnabled(2) &&
                     !control<QTabWidget>(*h.window, "SSTab1")->isTabEnabled(3);
        boxesLocked = !h.box("Text1")->isEnabled() && !h.box("Text5")->isEnabled();
        cancelEnabled = h.button("cmdCancelPing")->isEnabled();
        running = h.session().isRunning();
    };
    h.setRange("10", "1", "2", "1", "1");
    h.ping();
    EXPECT_TRUE(tabsLocked);
    EXPECT_TRUE(boxesLocked);
    EXPECT_TRUE(cancelEnabled);
    EXPECT_TRUE(running);
    EXPECT_TRUE(control<QTabWidget>(*h.window, "SSTab1")->isTabEnabled(2));
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
    auto* panel = control<app::StatusBar>(*h.window, "sbStatus")
                      ->findChild<QWidget*>(QStringLiteral("sbStatus.Panel(1)"));
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
    auto* panel = control<app::StatusBar>(*h.window, "sbStatus")
                      ->findChild<QWidget*>(QStringLiteral("sbStatus.Panel(1)"));
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
