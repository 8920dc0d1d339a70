#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QTableView;

namespace kestrion::sweep {

// The Ping tab's controls, named as the rest of the program knows them.
class PingTab : public QWidget {
    Q_OBJECT
public:
    explicit PingTab(QWidget* parent = nullptr);

    QLabel* Label6[2] = {};
    QLineEdit* Text1 = nullptr;
    QLineEdit* Text2 = nullptr;
    QLineEdit* Text3 = nullptr;
    QLineEdit* Text4 = nullptr;
    QLineEdit* Text5 = nullptr;
    QLineEdit* txEchoAddr[3] = {};
    QLabel* lblOutput = nullptr;
    QTableView* flxOutBox = nullptr;
    QPushButton* cmdPing = nullptr;
    QPushButton* cmdCancelPing = nullptr;
    QPushButton* cmdSaveRun = nullptr;
    QPushButton* cmdReset = nullptr;
    QPushButton* cmdLaunchHelp1 = nullptr; // cmdLaunchHelp(1)
    QPushButton* cmdExit2 = nullptr;       // cmdExit(2)
    QListView* lbReportIP = nullptr;
    QListView* lbReportRTT = nullptr;

    QLineEdit* entryBox(int i) const; // 1..5 -> Text1..Text5

private:
    void createAddressBoxes();
    void createResults();
    void createButtons();
    void createReportLists();
};

} // namespace kestrion::sweep
