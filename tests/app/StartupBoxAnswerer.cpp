// Loaded into a real Kestrion process by LD_PRELOAD in the two-process start-up test: reports on
// standard output every message box (and the main window once it is shown), and answers each box
// with a click on its default button, so an offscreen process never waits for a user.
#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <cstdio>

namespace {

void answer(QMessageBox* box) {
    std::printf("BOX|%s|%s\n", qPrintable(box->windowTitle()), qPrintable(box->text()));
    std::fflush(stdout);
    QAbstractButton* button = box->defaultButton();
    if (!button) {
        box->accept();
        return;
    }
    // A click as the user makes it, through the application's event filtering.
    const QPointF centre = QRectF(button->rect()).center();
    QMouseEvent press(QEvent::MouseButtonPress, centre, button->mapToGlobal(centre), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, centre, button->mapToGlobal(centre), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(button, &press);
    QCoreApplication::sendEvent(button, &release);
}

// Boxes are answered as they are shown, by a queued call rather than a timer: after a fatal failure
// the program lets no timer event through, only events meant for the box that shows the failure.
class BoxAnswerer : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            if (auto* box = qobject_cast<QMessageBox*>(watched)) {
                QPointer<QMessageBox> guarded(box);
                QMetaObject::invokeMethod(
                    box,
                    [guarded] {
                        if (guarded && guarded->isVisible())
                            answer(guarded);
                    },
                    Qt::QueuedConnection);
            }
        }
        return false;
    }
};

void poll() {
    static bool windowReported = false;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!windowReported && w->isVisible() && w->objectName() == QLatin1String("frmMain")) {
            windowReported = true;
            std::printf("WINDOW|frmMain\n");
            std::fflush(stdout);
        }
    }
}

void installPoller() {
    QCoreApplication::instance()->installEventFilter(new BoxAnswerer(QCoreApplication::instance()));
    auto* timer = new QTimer(QCoreApplication::instance());
    QObject::connect(timer, &QTimer::timeout, &poll);
    timer->start(50);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installPoller)
