#include "db/Database.h"
#include "tests/support/fakes/AppFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

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

// Another connection holding the file: waited for up to the connection's busy time-out, then locked.
TEST(Database, ALockedFileIsWaitedForUpToTheBusyTimeOut) {
    using std::chrono::milliseconds;
    struct Row {
        const char* name;
        milliseconds busyTimeout;
        milliseconds heldFor; // the other connection lets go after this
        bool succeeds;
    };
    for (const Row& row : {Row{"let go in time", milliseconds(2000), milliseconds(100), true},
                           Row{"held too long", milliseconds(150), milliseconds(600), false}}) {
        AppFolder folder;
        Database other(folder.paths.database());
        other.exec("BEGIN EXCLUSIVE;");
        std::thread lettingGo([&] {
            std::this_thread::sleep_for(row.heldFor);
            other.exec("ROLLBACK;");
        });
        const auto start = std::chrono::steady_clock::now();
        bool succeeded = true;
        try {
            // Opening reads the schema, which the exclusive lock already keeps out.
            Database db(folder.paths.database(), row.busyTimeout);
            db.exec("DELETE FROM tblSuccess;");
        } catch (const DbError& error) {
            succeeded = false;
            EXPECT_EQ(error.number() & 0xff, 5) << row.name << ": SQLITE_BUSY";
        }
        const auto waited =
            std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start);
        lettingGo.join();
        EXPECT_EQ(succeeded, row.succeeds) << row.name;
        if (row.succeeds) {
            EXPECT_GE(waited, row.heldFor - milliseconds(20)) << row.name;
        } else {
            EXPECT_GE(waited, row.busyTimeout - milliseconds(20)) << row.name;
            EXPECT_LT(waited, row.heldFor) << row.name << ": not the default 2 s";
        }
    }
}
