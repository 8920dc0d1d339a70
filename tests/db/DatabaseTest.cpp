#include "db/Database.h"
#include "tests/support/fakes/AppFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using kestrion::db::Database;
using kestrion::db::DbError;
using kestrion::test::AppFolder;

TEST(Database, OpeningAMissingFileFailsWithoutCreatingIt) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("KRdb.mdb"));
    EXPECT_THROW(Database db(path), DbError);
    EXPECT_FALSE(QFile::exists(path));
}

TEST(Database, OpeningAFileThatIsNotADatabaseFails) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("KRdb.mdb"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'x'));
    f.close();
    EXPECT_THROW(Database db(path), DbError);
}

namespace {
int openFileCount() {
    return static_cast<int>(
        QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}
} // namespace

// A failed open is a fatal error shown to the user, but the process lives on until the box is closed
// (and a test process runs many); the connection made before the failure must not stay open.
TEST(Database, AFailedOpenLeavesNoFileOpen) {
    struct Row {
        const char* name;
        QByteArray content; // empty: no file at all
    };
    for (const Row& row : {Row{"missing file", {}}, Row{"not a database", QByteArray(4096, 'x')}}) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("KRdb.mdb"));
        if (!row.content.isEmpty()) {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << row.name;
            f.write(row.content);
        }
        const int before = openFileCount();
        EXPECT_THROW(Database db(path), DbError) << row.name;
        EXPECT_EQ(openFileCount(), before) << row.name;
    }
}

TEST(Database, TransactionRollsBackUnlessCommitted) {
    AppFolder folder;
    Database db(folder.paths.database());
    {
        kestrion::db::Transaction tx(db);
        db.exec("INSERT INTO tblSavedRuns (RunNo, runip, runcreatedate, numberofruns) "
                "VALUES (1, '10.0.0.1-254', '2026-01-01 10:00:00', 1);");
    }
    auto count = db.prepare("SELECT count(*) FROM tblSavedRuns;");
    ASSERT_TRUE(count.step());
    EXPECT_EQ(count.intAt(0), 0);
}

TEST(Database, DeletingASavedRunCascadesToItsRowsAndSchedules) {
    AppFolder folder;
    Database db(folder.paths.database());
    db.exec("INSERT INTO tblSavedRuns VALUES (7, '10.0.0.1-254', '2026-01-01 10:00:00', 1);"
            "INSERT INTO tblSavedRuns VALUES (8, '10.0.1.1-254', '2026-01-01 10:00:00', 1);"
            "INSERT INTO tblSuccess VALUES (7, '2026-01-01 10:00:00', '10.0.0.5', '1');"
            "INSERT INTO tblSuccess VALUES (8, '2026-01-01 10:00:00', '10.0.1.5', '1');"
            "INSERT INTO tblSchedules VALUES ('2026-02-01 10:00:00', '10.0.0.1-254');"
            "INSERT INTO tblSchedules VALUES ('2026-02-01 11:00:00', '10.0.1.1-254');"
            "DELETE FROM tblSavedRuns WHERE RunNo = 7;");
    auto rows = db.prepare("SELECT (SELECT count(*) FROM tblSuccess), (SELECT count(*) FROM tblSchedules);");
    ASSERT_TRUE(rows.step());
    EXPECT_EQ(rows.intAt(0), 1);
    EXPECT_EQ(rows.intAt(1), 1);
}
