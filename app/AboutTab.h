#pragma once

#include <QWidget>

class QGroupBox;
class QLabel;
class QPushButton;

namespace kestrion::app {

// The About tab's controls.
class AboutTab : public QWidget {
    Q_OBJECT
public:
    explicit AboutTab(QWidget* parent = nullptr);

    QLabel* lbAboutAppName = nullptr;
    QGroupBox* fraCompanyInfo = nullptr;
    QLabel* lbCompanyInfo[6] = {};
    QGroupBox* fraAboutNet = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* AboutLocalName = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* AboutLocalIP = nullptr;
    QPushButton* cmdLaunchHelp0 = nullptr; // cmdLaunchHelp(0)
    QPushButton* cmdExit0 = nullptr;       // cmdExit(0)

signals:
    // A click on any contact line (lbCompanyInfo(0) .. (5)), with its index.
    void companyInfoClicked(int index);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace kestrion::app
