#include "app/MainWindow.h"

#include "app/AboutTab.h"
#include "app/DatabaseTab.h"
#include "app/OptionsTab.h"
#include "app/StatusBar.h"
#include "platform/Twips.h"
#include "sweep/PingTab.h"

#include <QTabWidget>
#include <QTimer>

namespace kestrion::app {

MainWindow::MainWindow(Services services, QWidget* parent) : QMainWindow(parent), services_(services) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Kestrion"));

    SSTab1 = new QTabWidget(this);
    SSTab1->setObjectName(QStringLiteral("SSTab1"));
    pingTab = new sweep::PingTab;
    optionsTab = new OptionsTab;
    databaseTab = new DatabaseTab;
    aboutTab = new AboutTab;
    SSTab1->addTab(pingTab, QStringLiteral("Ping"));
    SSTab1->addTab(optionsTab, QStringLiteral("Options"));
    SSTab1->addTab(databaseTab, QStringLiteral("Database"));
    SSTab1->addTab(aboutTab, QStringLiteral("About"));
    setCentralWidget(SSTab1);

    sbStatus = new StatusBar(this);
    setStatusBar(sbStatus);

    timerSchedule = new QTimer(this);
    timerSchedule->setObjectName(QStringLiteral("timerSchedule"));
    timerSchedule->setInterval(45000);

    // Client area 6945 x 5595 twips: the tab control above, the status bar below.
    setFixedSize(platform::twips(6945), platform::twips(5295) + sbStatus->sizeHint().height());
}

MainWindow::~MainWindow() = default;

} // namespace kestrion::app
