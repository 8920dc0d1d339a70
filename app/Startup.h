#pragma once

#include "app/Services.h"

#include <QString>
#include <cstdint>
#include <memory>

namespace kestrion::platform {
class InstanceLock;
} // namespace kestrion::platform

namespace kestrion::app {

class MainWindow;
class Splash;

// What start-up leaves running: the lock that keeps a second instance out, the splash while it is
// up, and the main window.
struct Running {
    std::unique_ptr<platform::InstanceLock> lock;
    std::unique_ptr<Splash> splash;
    std::unique_ptr<MainWindow> window;
    Running();
    Running(Running&&) noexcept;
    Running& operator=(Running&&) noexcept;
    ~Running();
};

// Steps 1 to 3 of Main: refuses a second instance (box, then no window), shows the splash, loads and
// initialises the main window. `lockFile` empty: the per-user runtime folder. A database failure
// during the initialisation is shown as the fatal run-time error and leaves no window.
Running StartUp(const Services& services, const QString& lockFile = QString());

// modMain's Main: start-up, then the event loop until the main window closes. Returns the exit code.
int Main(const Services& services);

} // namespace kestrion::app
