#pragma once

#include "db/Database.h"
#include "db/DatabaseBusy.h"
#include "platform/AppPaths.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace kestrion::test {

// A temporary application folder, also the data folder, holding a fresh copy of the delivered
// database from KESTRION_APP_DIR (a definition of the including target).
class AppFolder {
public:
    AppFolder() {
        paths.appFolder = dir.path();
        paths.dataFolder = dir.path();
        QFile::copy(QStringLiteral(KESTRION_APP_DIR "/KRdb.mdb"), paths.database());
        QFile(paths.database()).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }

    QString file(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    // The file's contents; empty when it cannot be read.
    QByteArray bytes(const char* name) const {
        QFile f(file(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // SQL run on the database, outside the code under test.
    void exec(const QString& sql) const {
        db::Database database(paths.database());
        database.exec(sql.toUtf8().constData());
    }
    // The first column of every row of a query on the database.
    QStringList column(const QString& sql) const {
        db::Database database(paths.database());
        const QByteArray text = sql.toUtf8();
        auto query = database.prepare(text.constData());
        QStringList values;
        while (query.step())
            values.append(query.textAt(0));
        return values;
    }
    // One number from a query on the given file (the database unless named); -1 without a row.
    long long count(const char* sql, const char* name = "KRdb.mdb") const {
        db::Database database(file(name));
        auto query = database.prepare(sql);
        return query.step() ? query.intAt(0) : -1;
    }

    QTemporaryDir dir;
    platform::AppPaths paths;
    db::DatabaseBusy busy;
};

} // namespace kestrion::test
