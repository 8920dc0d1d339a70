#include "app/Application.h"

#include "db/Database.h"
#include "platform/AppTitle.h"
#include "platform/MessageBoxes.h"

#include <QWidget>
#include <QWindow>
#include <cstdio>

namespace kestrion::app {

namespace {
bool insideModalBox(QObject* receiver) {
    const QWidget* modal = QApplication::activeModalWidget();
    if (!modal)
        return false;
    if (const auto* widget = qobject_cast<QWidget*>(receiver))
        return widget->window() == modal;
    // A window system hands input to the box's QWindow (or a native child's) first, which passes it on
    // to the widget under it; dropping it there would leave the box that shows the failure unclosable.
    for (const QWindow* window = qobject_cast<QWindow*>(receiver); window; window = window->parent())
        if (window == modal->windowHandle())
            return true;
    return false;
}
} // namespace

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(platform::appTitle());
}

bool Application::notify(QObject* receiver, QEvent* event) {
    // Clicks, keys and timers queued behind a fatal failure must not start new work; only the box that
    // shows the failure still takes the user's click or key, or it could never be closed.
    if (fatal_.ending() && !insideModalBox(receiver)) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::KeyPress:
        case QEvent::Timer:
            return false;
        default:
            break;
        }
    }
    try {
        return QApplication::notify(receiver, event);
    } catch (const db::DbError& error) {
        fail(error);
    } catch (const std::exception& error) {
        fail(0, QString::fromLocal8Bit(error.what()));
    }
    return false;
}

void Application::fail(int number, const QString& text) {
    fail(db::DbError(number, text));
}

// Takes the error itself: what kind of failure it is (one after a committed save) must reach the box.
void Application::fail(const db::DbError& error) {
    if (fatal_.ending())
        return;
    if (boxes_) {
        fatal_.showAndExit(*boxes_, error);
        return;
    }
    std::fprintf(stderr, "%s\n", qPrintable(fatalBoxText(error)));
    exit(1);
}

} // namespace kestrion::app
