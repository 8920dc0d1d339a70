#include "app/FatalError.h"
#include "db/CompactAndBackup.h"
#include "platform/AppTitle.h"

#include <QCoreApplication>

namespace kestrion::app {

QString runTimeErrorText(const db::DbError& error) {
    return QStringLiteral("Run-time error '%1':\n\n%2").arg(error.number()).arg(error.text());
}

QString fatalBoxText(const db::DbError& error) {
    const auto* afterCommit = dynamic_cast<const db::CompactionFailedAfterCommit*>(&error);
    if (!afterCommit)
        return runTimeErrorText(error);
    // Without this line the box reads as if nothing had been stored, and the user would do it again.
    return runTimeErrorText(error) + QStringLiteral("\n\n") +
           (afterCommit->stored() == db::StoredChange::Sweep ? QStringLiteral("The sweep was saved.")
                                                             : QStringLiteral("The saved run was deleted.")) +
           QStringLiteral("  Only the compaction of the database and the renewal of its backups failed.");
}

int FatalPath::showAndExit(platform::MessageBoxes& boxes, const db::DbError& error) {
    ending_ = true;
    boxes.show(platform::appTitle(), fatalBoxText(error), platform::MsgButtons::Ok,
               platform::MsgIcon::Critical);
    // Also ends the local loops of modal boxes and of runWhilePainting, so nothing resumes after this.
    QCoreApplication::exit(1);
    return 1;
}

} // namespace kestrion::app
