// Loaded into a real Kestrion process by LD_PRELOAD in the two-process start-up test: reports on
// standard output every message box (and the main window once it is shown), and answers each box
// with its default button, so an offscreen process never waits for a user.
#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <cstdio>

namespace {

void poll() {
    static bool windowReported = false;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isVisible())
            continue;
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            std::printf("BOX|%s|%s\n", qPrintable(box->windowTitle()), qPrintable(box->text()));
            std::fflush(stdout);
            if (QAbstractButton* b = box->defaultButton())
                b->click();
            else
                box->accept();
        } else if (!windowReported && w->objectName() == QLatin1String("frmMain")) {
            windowReported = true;
            std::printf("WINDOW|frmMain\n");
            std::fflush(stdout);
        }
    }
}

void installPoller() {
    auto* timer = new QTimer(QCoreApplication::instance());
    QObject::connect(timer, &QTimer::timeout, &poll);
    timer->start(50);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installPoller)
