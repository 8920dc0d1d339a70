#include "app/Startup.h"

#include "app/FatalError.h"
#include "app/MainWindow.h"
#include "app/Splash.h"
#include "platform/AppTitle.h"
#include "platform/DatabaseLock.h"
#include "platform/MessageBoxes.h"

#include <QApplication>
#include <QFileInfo>

namespace kestrion::app {

Running::Running() = default;
Running::Running(Running&&) noexcept = default;
Running& Running::operator=(Running&&) noexcept = default;
Running::~Running() = default;

QString noDatabaseLockText(const QString& detail) {
    return QStringLiteral("Kestrion cannot lock its database, so it does not start: another Kestrion "
                          "writing the same file at the same time could lose or damage saved runs.") +
           QLatin1Char('\r') + QLatin1Char('\r') + detail;
}

Running StartUp(const Services& services) {
    Running running;
    running.lock =
        std::make_unique<platform::DatabaseLock>(services.paths.database(), platform::LockHolder::Window);
    // A data folder that does not exist holds no database to guard: start-up goes on to fail where it
    // opens the database, with the error that names the missing folder.
    if (running.lock->outcome() == platform::DatabaseLock::Outcome::NoLockFile &&
        QFileInfo(services.paths.dataFolder).isDir()) {
        services.boxes.show(platform::appTitle() + QStringLiteral(" Error"),
                            noDatabaseLockText(running.lock->detail()), platform::MsgButtons::Ok,
                            platform::MsgIcon::Critical);
        running.lock.reset();
        running.exitStatus = 1;
        return running;
    }
    if (running.lock->outcome() == platform::DatabaseLock::Outcome::HeldByAnother) {
        services.boxes.show(platform::appTitle(), QStringLiteral("Kestrion is already running."),
                            platform::MsgButtons::Ok, platform::MsgIcon::None);
        running.lock.reset();
        return running;
    }
    running.splash = std::make_unique<Splash>();
    running.splash->show();
    QCoreApplication::processEvents();

    running.window = std::make_unique<MainWindow>(services);
    running.window->setSplash(running.splash.get());
    // Start-up lists the stored schedules at once: a database that cannot be read ends the program here
    // with the run-time error message, before the event loop starts.
    if (!runEventGuarded(services.fatal, services.boxes, [&] { running.window->Form_Load(); }))
        running.window.reset();
    return running;
}

int Main(const Services& services) {
    Running running = StartUp(services);
    if (!running.window)
        return services.fatal.ending() ? 1 : running.exitStatus;
    return QApplication::exec();
}

} // namespace kestrion::app
