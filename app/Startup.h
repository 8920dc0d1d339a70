#pragma once

#include "app/Services.h"

#include <QString>
#include <cstdint>
#include <memory>

namespace kestrion::platform {
class DatabaseLock;
} // namespace kestrion::platform

namespace kestrion::app {

class MainWindow;
class Splash;

// What start-up leaves running: the database's lock that keeps a second instance (and any command
// that writes the database) out, the splash while it is up, and the main window. Without a window,
// the exit status start-up ended with.
struct Running {
    std::unique_ptr<platform::DatabaseLock> lock;
    std::unique_ptr<Splash> splash;
    std::unique_ptr<MainWindow> window;
    int exitStatus = 0;
    Running();
    Running(Running&&) noexcept;
    Running& operator=(Running&&) noexcept;
    ~Running();
};

// Steps 1 to 3 of Main: refuses a second instance (box, then no window), shows the splash, loads and
// initialises the main window. A database whose lock cannot be had at all is not written: a box says
// so and start-up ends with status 1. A database failure during the initialisation is shown as the
// fatal run-time error and leaves no window.
Running StartUp(const Services& services);

// The box text when the database's lock cannot be had; `detail` names the lock file and the reason.
QString noDatabaseLockText(const QString& detail);

// modMain's Main: start-up, then the event loop until the main window closes. Returns the exit code.
int Main(const Services& services);

} // namespace kestrion::app
