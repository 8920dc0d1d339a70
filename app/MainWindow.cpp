#include "app/MainWindow.h"

#include "app/About.h"
#include "app/AboutTab.h"
#include "app/DatabaseTab.h"
#include "app/Options.h"
#include "app/OptionsTab.h"
#include "app/StatusBar.h"
#include "platform/Twips.h"
#include "sweep/PingTab.h"

#include <QPushButton>
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

    connectTabsAndOptions();
}

void MainWindow::connectTabsAndOptions() {
    options = new OptionsController(state_, services_.settings, *optionsTab, this);
    about = new About(*aboutTab, services_.host, services_.shell, services_.paths, this);
    QPushButton* help[3] = {aboutTab->cmdLaunchHelp0, pingTab->cmdLaunchHelp1, databaseTab->cmdLaunchHelp2};
    for (int i = 0; i < 3; ++i)
        connect(help[i], &QPushButton::clicked, about, [this, i] { about->cmdLaunchHelp_Click(i); });
    connect(SSTab1, &QTabWidget::currentChanged, this, &MainWindow::SSTab1_Click);
}

void MainWindow::SetUpWindow() {
    SetUpWindowAbout();
    // Step 3, the results grid's widths and format string, belongs to the sweep.
}

void MainWindow::SetUpWindowAbout() {
    about->SetUpAbout();
}

void MainWindow::SSTab1_Click(int tab) {
    // The sweep may have put its percentage in the caption while the window was minimised.
    setWindowTitle(QStringLiteral("Kestrion"));
    if (options->changesPending())
        options->SaveSettings();
    switch (tab) {
    case 1:
        options->ShowSettings();
        sbStatus->setPanel(1, QStringLiteral("Ready."));
        break;
    case 2:
        // The list must hold the saved runs before the user chooses one.
        if (FillSavedRunList)
            FillSavedRunList();
        sbStatus->setPanel(1, QStringLiteral("Select a Run from the Saved Run box to begin."));
        break;
    case 3:
        about->ShowNetworkInfo(*sbStatus);
        break;
    default:
        sbStatus->setPanel(1, QStringLiteral("Ready."));
        break;
    }
}

MainWindow::~MainWindow() = default;

} // namespace kestrion::app
