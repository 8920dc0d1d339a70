#include "app/FatalError.h"
#include "platform/AppTitle.h"

#include <QCoreApplication>

namespace kestrion::app {

QString runTimeErrorText(const db::DbError& error) {
    return QStringLiteral("Run-time error '%1':\n\n%2").arg(error.number()).arg(error.text());
}

int FatalPath::showAndExit(platform::MessageBoxes& boxes, const db::DbError& error) {
    ending_ = true;
    boxes.show(platform::appTitle(), runTimeErrorText(error), platform::MsgButtons::Ok,
               platform::MsgIcon::Critical);
    // Also ends the local loops of modal boxes and of runWhilePainting, so nothing resumes after this.
    QCoreApplication::exit(1);
    return 1;
}

} // namespace kestrion::app
