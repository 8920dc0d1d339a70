#include "app/Startup.h"

#include "app/FatalError.h"
#include "app/MainWindow.h"
#include "app/Splash.h"
#include "platform/AppTitle.h"
#include "platform/InstanceLock.h"
#include "platform/MessageBoxes.h"

#include <QApplication>
#include <cstdio>

namespace kestrion::app {

Running::Running() = default;
Running::Running(Running&&) noexcept = default;
Running& Running::operator=(Running&&) noexcept = default;
Running::~Running() = default;

Running StartUp(const Services& services, const QString& lockFile) {
    Running running;
    running.lock = std::make_unique<platform::InstanceLock>(lockFile);
    if (running.lock->outcome() == platform::InstanceLock::Outcome::NoLockFile)
        std::fprintf(stderr,
                     "Kestrion: no lock file could be made (%s); single-instance protection is off.\n",
                     qPrintable(running.lock->detail()));
    if (running.lock->outcome() == platform::InstanceLock::Outcome::HeldByAnother) {
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
        return services.fatal.ending() ? 1 : 0;
    return QApplication::exec();
}

} // namespace kestrion::app
