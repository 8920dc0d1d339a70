#include "platform/AppPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace kestrion::platform {

AppPaths AppPaths::forExecutable(const QString& executableFolder) {
    AppPaths paths;
    paths.appFolder = QDir(executableFolder).absolutePath();
    paths.dataFolder = paths.appFolder;
    if (QFileInfo(paths.appFolder).isWritable())
        return paths;

    // A system-wide install: the database, its backups and the report go to the user's data folder,
    // which starts with a copy of the delivered database.
    const QString userData = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    QDir().mkpath(userData);
    paths.dataFolder = userData;
    const QString delivered = paths.appFolder + QStringLiteral("/KRdb.mdb");
    if (!QFileInfo::exists(paths.database()) && QFileInfo::exists(delivered)) {
        QFile::copy(delivered, paths.database());
        QFile(paths.database()).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    return paths;
}

} // namespace kestrion::platform
