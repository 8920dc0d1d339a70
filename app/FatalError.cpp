#include "app/FatalError.h"

#include <QCoreApplication>
#include <atomic>

namespace kestrion::app {

namespace {
std::atomic<bool> ending{false};
}

QString runTimeErrorText(const db::DbError& error) {
    return QStringLiteral("Run-time error '%1':\n\n%2").arg(error.number()).arg(error.text());
}

int showFatalAndExit(platform::MessageBoxes& boxes, const db::DbError& error) {
    ending = true;
    boxes.show(QStringLiteral("Kestrion"), runTimeErrorText(error), platform::MsgButtons::Ok,
               platform::MsgIcon::Critical);
    // Also ends the local loops of modal boxes and of runWhilePainting, so nothing resumes after this.
    QCoreApplication::exit(1);
    return 1;
}

bool endingAfterFatalError() {
    return ending;
}

} // namespace kestrion::app
