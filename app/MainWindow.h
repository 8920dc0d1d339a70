#pragma once

#include "app/Services.h"
#include "platform/AppState.h"

#include <QMainWindow>

class QTabWidget;
class QTimer;

namespace kestrion::sweep {
class PingTab;
}

namespace kestrion::app {

class AboutTab;
class DatabaseTab;
class OptionsTab;
class StatusBar;

// frmMain: assembles the four tabs and the status bar and routes their events to the modules.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(Services services, QWidget* parent = nullptr);
    ~MainWindow() override;

    platform::AppState& state() { return state_; }
    const Services& services() const { return services_; }

    QTabWidget* SSTab1 = nullptr;
    StatusBar* sbStatus = nullptr;
    QTimer* timerSchedule = nullptr;
    sweep::PingTab* pingTab = nullptr;
    OptionsTab* optionsTab = nullptr;
    DatabaseTab* databaseTab = nullptr;
    AboutTab* aboutTab = nullptr;

private:
    Services services_;
    platform::AppState state_;
};

} // namespace kestrion::app
