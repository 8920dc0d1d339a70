#pragma once

#include "app/Services.h"
#include "platform/AppState.h"

#include <QMainWindow>
#include <functional>

class QTabWidget;
class QTimer;

namespace kestrion::sweep {
class PingTab;
}

namespace kestrion::app {

class About;
class AboutTab;
class DatabaseTab;
class OptionsController;
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

    // The options' rules and the About tab's contents and links.
    OptionsController* options = nullptr;
    About* about = nullptr;

    // The window's set-up step, run by each initialisation before the window is shown.
    void SetUpWindow();
    // Steps 1-2 of the set-up: the About contents, the hand cursor and WebAddress.
    void SetUpWindowAbout();
    // The tab control's click: the caption back to plain, pending options stored, the new tab's text.
    void SSTab1_Click(int tab);
    // Fills the Database tab's saved-run list on entry (the saved-runs panel's FillSavedRunList).
    std::function<void()> FillSavedRunList;

private:
    void connectTabsAndOptions();

    Services services_;
    platform::AppState state_;
};

} // namespace kestrion::app
