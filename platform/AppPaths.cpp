#include "platform/AppPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace kestrion::platform {

AppPaths AppPaths::locate(const QString& executableFolder) {
    AppPaths paths;
    paths.appFolder = QDir(executableFolder).absolutePath();
    paths.dataFolder = paths.appFolder;
    // A system-wide install: the database, its backups and the report go to the user's data folder.
    if (!QFileInfo(paths.appFolder).isWritable())
        paths.dataFolder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    return paths;
}

void AppPaths::prepare() const {
    if (dataFolder == appFolder)
        return;
    QDir().mkpath(dataFolder);
    const QString delivered = appFolder + QStringLiteral("/KRdb.mdb");
    if (!QFileInfo::exists(database()) && QFileInfo::exists(delivered)) {
        QFile::copy(delivered, database());
        QFile(database()).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
}

AppPaths AppPaths::forExecutable(const QString& executableFolder) {
    AppPaths paths = locate(executableFolder);
    paths.prepare();
    return paths;
}

} // namespace kestrion::platform
