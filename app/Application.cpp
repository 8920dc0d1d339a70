#include "app/Application.h"

#include "db/Database.h"
#include "platform/MessageBoxes.h"

#include <cstdio>

namespace kestrion::app {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Kestrion"));
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const db::DbError& error) {
        fail(error.number(), error.text());
    } catch (const std::exception& error) {
        fail(0, QString::fromLocal8Bit(error.what()));
    }
    return false;
}

void Application::fail(int number, const QString& text) {
    // Events still queued behind the failure must not show it again.
    if (failed_)
        return;
    failed_ = true;
    const QString message = QStringLiteral("Run-time error '%1':\n\n%2").arg(number).arg(text);
    if (boxes_)
        boxes_->show(QStringLiteral("Kestrion"), message, platform::MsgButtons::Ok,
                     platform::MsgIcon::Critical);
    else
        std::fprintf(stderr, "%s\n", qPrintable(message));
    // Also ends the local loops of modal boxes and of runWhilePainting, so nothing resumes after this.
    exit(1);
}

} // namespace kestrion::app
