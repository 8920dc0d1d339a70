// The desktop notification after a scheduled run that found changes, received by a notification
// service of the test's own on a real session bus (a dbus-daemon the test starts and stops).
#include "app/StatusBar.h"
#include "platform/DBusNotifier.h"
#include "platform/DateText.h"
#include "schedule/ChangeTexts.h"
#include "tests/support/Harness.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QMutex>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

using namespace kestrion;

namespace {

// A session bus of its own (dbus-daemon --session on a socket in a temporary folder): the desktop's
// own bus, if there is one, is never reached.
class PrivateBus {
public:
    PrivateBus() {
        daemon_.start(
            QStringLiteral("dbus-daemon"),
            {QStringLiteral("--session"), QStringLiteral("--address=unix:path=") + dir_.filePath("bus"),
             QStringLiteral("--nofork"), QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
        if (!daemon_.waitForStarted(5000) || !daemon_.waitForReadyRead(5000))
            return;
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateBus() {
        daemon_.terminate();
        daemon_.waitForFinished(5000);
    }
    QString address() const { return address_; }

private:
    QTemporaryDir dir_;
    QProcess daemon_;
    QString address_;
};

// org.freedesktop.Notifications as a desktop serves it; it runs on a thread of its own, since the
// window's call waits for the answer.
class NotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Received {
        QString appName, summary, body;
    };
    std::vector<Received> received() const {
        const QMutexLocker lock(&mutex_);
        return received_;
    }

public slots:
    uint Notify(const QString& appName, uint, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap&, int) {
        const QMutexLocker lock(&mutex_);
        received_.push_back({appName, summary, body});
        return static_cast<uint>(received_.size());
    }

private:
    mutable QMutex mutex_;
    std::vector<Received> received_;
};

const char* const kRange = "192.168.1.15-21";

// Two saved sweeps in which .15 and .16 answered; the scheduled run at 18:40 finds nobody: both gone.
void twoSweeps(test::FakeWorld& world) {
    world.folder.exec("INSERT INTO tblSavedRuns VALUES (1, '192.168.1.15-21', '2026-03-14 09:15:00', 2);"
                      "INSERT INTO tblSuccess VALUES (1, '2026-03-14 09:15:00', '192.168.1.15', '1');"
                      "INSERT INTO tblSuccess VALUES (1, '2026-03-15 09:15:00', '192.168.1.15', '1');"
                      "INSERT INTO tblSuccess VALUES (1, '2026-03-15 09:15:00', '192.168.1.16', '1');");
    world.clock.time = QDateTime(QDate(2026, 3, 16), QTime(18, 40, 12));
}

QString scheduledRunWithChanges(platform::DesktopNotifier& notifier) {
    test::Harness h(true, [&](test::FakeWorld& world) {
        twoSweeps(world);
        world.realNotifier = &notifier;
    });
    h.world.folder.exec("INSERT INTO tblSchedules VALUES ('2026-03-16 18:40:00', '192.168.1.15-21');");
    h.window->RefreshSchedules();
    h.window->timerSchedule_Timer();
    EXPECT_EQ(h.world.folder.column("SELECT COUNT(*) FROM tblSchedules;"), QStringList{"0"});
    return h.panel1();
}

const QString kChanges = QStringLiteral("2 gone since ") + schedule::sweepDateText("2026-03-15 09:15:00");

TEST(Notification, AScheduledRunWithChangesIsToldOnTheSessionBus) {
    if (QStandardPaths::findExecutable("dbus-daemon").isEmpty())
        GTEST_SKIP() << "dbus-daemon is not installed";
    PrivateBus bus;
    ASSERT_FALSE(bus.address().isEmpty());

    NotificationService service;
    QThread thread;
    service.moveToThread(&thread);
    thread.start();
    QDBusConnection serving = QDBusConnection::connectToBus(bus.address(), "notification-service");
    ASSERT_TRUE(serving.isConnected()) << serving.lastError().message().toStdString();
    ASSERT_TRUE(
        serving.registerObject("/org/freedesktop/Notifications", &service, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(serving.registerService("org.freedesktop.Notifications"));

    {
        platform::DBusNotifier notifier(bus.address());
        EXPECT_EQ(scheduledRunWithChanges(notifier), "Scheduled run complete.");
    }
    const std::vector<NotificationService::Received> received = service.received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].appName, "Kestrion");
    EXPECT_EQ(received[0].summary, QStringLiteral("Kestrion: changes in ") + kRange);
    EXPECT_EQ(received[0].body, kChanges + "\ngone: 192.168.1.15, 192.168.1.16");

    serving.unregisterService("org.freedesktop.Notifications");
    QDBusConnection::disconnectFromBus("notification-service");
    thread.quit();
    thread.wait();
}

// A bus without the service, or no bus at all: the status text says what changed and why no
// notification came, and the run is complete all the same.
TEST(Notification, WithoutAServiceTheStatusTextSaysIt) {
    if (QStandardPaths::findExecutable("dbus-daemon").isEmpty())
        GTEST_SKIP() << "dbus-daemon is not installed";
    PrivateBus bus;
    ASSERT_FALSE(bus.address().isEmpty());
    {
        // The bus starts the services installed on this machine when asked for them.
        QDBusConnection asking = QDBusConnection::connectToBus(bus.address(), "asking");
        const QDBusReply<QStringList> activatable = asking.interface()->call("ListActivatableNames");
        const bool installed = activatable.value().contains("org.freedesktop.Notifications");
        QDBusConnection::disconnectFromBus("asking");
        if (installed)
            GTEST_SKIP() << "a notification service is installed here and would be started";
    }
    {
        platform::DBusNotifier notifier(bus.address());
        EXPECT_EQ(scheduledRunWithChanges(notifier), QStringLiteral("Scheduled run complete. ") + kRange +
                                                         ": " + kChanges +
                                                         " (no desktop notification service)");
    }
    QTemporaryDir dir;
    platform::DBusNotifier nowhere(QStringLiteral("unix:path=") + dir.filePath("no-bus"));
    EXPECT_EQ(scheduledRunWithChanges(nowhere), QStringLiteral("Scheduled run complete. ") + kRange + ": " +
                                                    kChanges + " (no desktop session bus)");
}

} // namespace

#include "NotificationTest.moc"
