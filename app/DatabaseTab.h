#pragma once

#include <QWidget>

class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace kestrion::app {

// The Database tab's controls: saved runs and current schedules.
class DatabaseTab : public QWidget {
    Q_OBJECT
public:
    explicit DatabaseTab(QWidget* parent = nullptr);

    QGroupBox* fraAdvDB = nullptr;
    QLabel* Label9 = nullptr;
    QComboBox* comboChooseRun = nullptr;
    QLabel* lblAdvDateCreated[2] = {};
    QLabel* lblAdvNumRuns[2] = {};
    QPushButton* cmdDelSavedRun = nullptr;
    QPushButton* cmdFreeIPReport = nullptr;
    QGroupBox* fraAdvSched = nullptr;
    QListWidget* lbCurrentSchedules = nullptr;
    QPushButton* cmdSchedNow = nullptr;
    QPushButton* cmdDeleteSchedule = nullptr;
    QPushButton* cmdLaunchHelp2 = nullptr; // cmdLaunchHelp(2)
    QPushButton* cmdExit3 = nullptr;       // cmdExit(3)
};

} // namespace kestrion::app
