#include "app/Startup.h"
#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/Splash.h"
#include "app/StatusBar.h"
#include "db/Database.h"
#include "platform/DatabaseLock.h"
#include "sweep/PingTab.h"
#include "tests/support/Harness.h"
#include "tests/support/fakes/FakeWorld.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace kestrion::test {
namespace {

TEST(Startup, RefusesASecondInstance) {
    FakeWorld world;
    platform::DatabaseLock first(world.folder.paths.database(), platform::LockHolder::Window);
    ASSERT_TRUE(first.acquired());
    app::Running second = app::StartUp(world.services());
    EXPECT_EQ(second.window, nullptr);
    EXPECT_EQ(second.splash, nullptr);
    ASSERT_EQ(world.boxes.shown.size(), 1u);
    EXPECT_EQ(world.boxes.last().title, "Kestrion");
    EXPECT_EQ(world.boxes.last().text, "Kestrion is already running.");
    EXPECT_EQ(world.boxes.last().buttons, platform::MsgButtons::Ok);
    EXPECT_EQ(world.boxes.last().icon, platform::MsgIcon::None);
}

TEST(Startup, ShowsTheMainWindowInitialisedAndClosesTheSplash) {
    FakeWorld world;
    app::Running running = app::StartUp(world.services());
    ASSERT_NE(running.window, nullptr);
    app::MainWindow& w = *running.window;
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(running.splash->isVisible());
    EXPECT_EQ(w.windowTitle(), "Kestrion");
    EXPECT_EQ(control<QTabWidget>(w, "SSTab1")->currentIndex(), 0);
    EXPECT_EQ(control<app::StatusBar>(w, "sbStatus")->panel(1), "Welcome.");
    EXPECT_TRUE(control<QPushButton>(w, "cmdPing")->isEnabled());
    EXPECT_FALSE(control<QPushButton>(w, "cmdReset")->isEnabled());
    EXPECT_FALSE(control<QPushButton>(w, "cmdSaveRun")->isEnabled());
    EXPECT_EQ(w.focusWidget(), control<QPushButton>(w, "cmdPing"));
    EXPECT_EQ(test::session(w).stopRequestText(), "False");
    EXPECT_FALSE(test::session(w).unattended());
    // No stored settings: the defaults.
    EXPECT_EQ(test::options(w).PacketSize, 64);
    EXPECT_EQ(test::options(w).Timeout, 3000);
    EXPECT_TRUE(test::options(w).StartWithLocalAddress);
    EXPECT_EQ(control<QLineEdit>(w, "Text1")->text(), "10");
    EXPECT_EQ(control<QLineEdit>(w, "Text3")->text(), "0");
    EXPECT_EQ(control<QLineEdit>(w, "Text5")->text(), "254");
}

TEST(Startup, InitialisationRunsItsStepsInOrder) {
    FakeWorld world;
    world.settings->write(QStringLiteral("Settings"), QStringLiteral("Timeout"), QStringLiteral("500"));
    // A schedule long past: the refresh of step 13 says it expired, and the box shows the moment.
    world.folder.exec("INSERT INTO tblSavedRuns VALUES (1, '10.1.2.1-254', '2001-01-01 10:00:00', 1);"
                      "INSERT INTO tblSchedules VALUES ('2001-01-02 10:00:00', '10.1.2.1-254');");
    app::MainWindow w(world.services());
    QStringList seen;
    world.boxes.whileOpen = [&](const FakeMessageBoxes::Box& box) {
        ASSERT_EQ(box.title, "Kestrion Schedule Expired");
        seen << control<app::StatusBar>(w, "sbStatus")->panel(1) << (w.isVisible() ? "shown" : "hidden")
             << (control<QPushButton>(w, "cmdPing")->isEnabled() ? "ping enabled" : "ping disabled")
             << control<QLineEdit>(w, "Text1")->text();
    };
    test::session(w).requestStop(sweep::StopRequest::Cancel);
    test::session(w).setUnattended(true);
    w.Form_Load();
    EXPECT_EQ(seen, QStringList({"Checking old schedules...", "shown", "ping disabled", "10"}));
    EXPECT_EQ(control<app::StatusBar>(w, "sbStatus")->panel(1), "Welcome.");
    EXPECT_EQ(test::options(w).Timeout, 500);
    EXPECT_EQ(test::session(w).stopRequestText(), "False");
    EXPECT_FALSE(test::session(w).unattended());
}

TEST(Startup, SplashLabelsAndWaysToCloseIt) {
    app::Splash splash;
    EXPECT_EQ(splash.objectName(), "frmSplash");
    EXPECT_EQ(splash.lblProductName->text(), "Kestrion");
    EXPECT_EQ(splash.lblVersion->text(), "Version 1.0");
    EXPECT_EQ(splash.lblCompanyProduct->text(), "Quillfen Software");
    EXPECT_FALSE(splash.lblWarning->text().isEmpty());
    EXPECT_FALSE(splash.Image1->pixmap().isNull());

    splash.show();
    QTest::keyClick(&splash, Qt::Key_Q);
    EXPECT_FALSE(splash.isVisible()) << "any key closes it";

    splash.show();
    QTest::mouseClick(splash.Frame1, Qt::LeftButton);
    EXPECT_FALSE(splash.isVisible()) << "a click on Frame1 closes it";

    splash.show();
    QTest::mouseClick(splash.lblVersion, Qt::LeftButton);
    EXPECT_FALSE(splash.isVisible()) << "a click on what lies on Frame1 is a click on Frame1";
}

TEST(Startup, ExitButtonsCloseTheWindow) {
    for (int i = 0; i < 4; ++i) {
        FakeWorld world;
        app::MainWindow w(world.services());
        w.Form_Load();
        auto* exit = w.findChild<QPushButton*>(QStringLiteral("cmdExit(%1)").arg(i));
        ASSERT_NE(exit, nullptr);
        EXPECT_EQ(exit->text(), "Exit");
        exit->click();
        EXPECT_FALSE(w.isVisible()) << i;
        EXPECT_EQ(test::session(w).stopRequestText(), "False") << "no sweep was running";
    }
}

TEST(Startup, OpenWithShellHandsTheFileToTheShell) {
    FakeShell shell;
    shell.result = 33;
    EXPECT_EQ(platform::OpenWithShell(shell, 0, QStringLiteral("open"), QStringLiteral("/tmp/IPReport.txt"),
                                      QString(), QString(), 1),
              33);
    EXPECT_EQ(shell.opened, QStringList({"/tmp/IPReport.txt"}));
}

class Failing : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User)
            throw db::DbError(14, QStringLiteral("disk I/O error"));
        return QObject::event(e);
    }
};

// The failure ends this binary's one application object; the test puts it back to running (and its
// boxes back) however it ends, so the tests after it still get their clicks and timers.
class TakesTheApplicationsFatalPath {
public:
    TakesTheApplicationsFatalPath(app::Application& application, platform::MessageBoxes& boxes)
        : application_(application) {
        application_.setMessageBoxes(&boxes);
    }
    ~TakesTheApplicationsFatalPath() {
        application_.setMessageBoxes(nullptr);
        application_.fatalPath().reset();
    }
    TakesTheApplicationsFatalPath(const TakesTheApplicationsFatalPath&) = delete;
    TakesTheApplicationsFatalPath& operator=(const TakesTheApplicationsFatalPath&) = delete;

private:
    app::Application& application_;
};

TEST(Startup, EventBoundaryShowsADatabaseFailureOnceAndEnds) {
    auto* application = qobject_cast<app::Application*>(QCoreApplication::instance());
    ASSERT_NE(application, nullptr);
    FakeMessageBoxes boxes;
    const TakesTheApplicationsFatalPath scope(*application, boxes);
    Failing failing;
    QEvent first(QEvent::User), second(QEvent::User);
    EXPECT_FALSE(QCoreApplication::sendEvent(&failing, &first));
    EXPECT_FALSE(QCoreApplication::sendEvent(&failing, &second));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.last().title, "Kestrion");
    EXPECT_EQ(boxes.last().text, "Run-time error '14':\n\ndisk I/O error");
    EXPECT_TRUE(application->fatalPath().ending());
}

} // namespace
} // namespace kestrion::test
