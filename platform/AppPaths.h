#pragma once

#include <QString>

namespace kestrion::platform {

// Where the program finds and keeps its files.
struct AppPaths {
    QString appFolder;  // folder of the executable: help page, cursor, delivered database
    QString dataFolder; // where the database, its backups and the report live (appFolder when writable)

    QString database() const { return dataFolder + QStringLiteral("/KRdb.mdb"); }
    QString reportFile() const { return dataFolder + QStringLiteral("/IPReport.txt"); }
    QString helpFile() const { return appFolder + QStringLiteral("/Kestrion.html"); }

    // The folder of the running executable; the data folder falls back to the per-user data folder
    // when the application folder is not writable. Nothing is made on disk.
    static AppPaths locate(const QString& executableFolder);
    // Makes a data folder of its own and seeds it with a copy of the delivered database, once. Run
    // before the first command that reads or writes data; help and usage texts need none of it.
    void prepare() const;
    // locate() and prepare().
    static AppPaths forExecutable(const QString& executableFolder);
};

} // namespace kestrion::platform
