#include "db/CompactAndBackup.h"
#include "db/SavedRuns.h"
#include "db/SweepStore.h"
#include "tests/support/fakes/AppFolder.h"
#include "tests/support/fakes/FakeMessageBoxes.h"
#include "tests/support/fakes/FakeServices.h"

#include <QFileInfo>
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kestrion;
using db::CompactionStep;
using test::AppFolder;

namespace {

const struct {
    const char* name;
    CompactionStep step;
} kSteps[] = {
    {"clear backup", CompactionStep::ClearBackup},
    {"compact into backup", CompactionStep::CompactIntoBackup},
    {"sync backup", CompactionStep::SyncBackup},
    {"copy to temporary", CompactionStep::CopyToTemporary},
    {"sync temporary", CompactionStep::SyncTemporary},
    {"keep old", CompactionStep::KeepOld},
    {"replace database", CompactionStep::ReplaceDatabase},
    {"sync folder", CompactionStep::SyncFolder},
};

// A folder with two saved sweeps (three result rows) and earlier backups from a first compaction.
struct SavedFolder {
    AppFolder folder;
    test::FakeMessageBoxes boxes;
    test::FakeClock clock;
    SavedFolder() {
        db::SavedRuns runs(folder.paths, folder.busy, boxes, clock);
        runs.SaveRun("10.0.0.1-254", {{"10.0.0.1", "0"}, {"10.0.0.2", "1"}});
        db::Database database(folder.paths.database());
        db::storeSweep(database, "10.0.0.1-254", {{"10.0.0.3", "2"}}, clock.now());
    }
    void expectEverySavedRow(const char* name = "KRdb.mdb") {
        SCOPED_TRACE(name);
        EXPECT_EQ(folder.count("SELECT count(*) FROM tblSuccess", name), 3);
        EXPECT_EQ(folder.count("SELECT numberofruns FROM tblSavedRuns", name), 2);
        EXPECT_EQ(
            folder.count("SELECT count(*) FROM pragma_integrity_check WHERE integrity_check <> 'ok'", name),
            0);
    }
};

// Runs `work` in a child process as the user nobody (root ignores permission bits): the exit code
// tells whether it threw DbError (0), returned (1) or failed otherwise (2).
template <class Work> int inChildAsNobody(const QString& folder, Work work) {
    const bool root = geteuid() == 0;
    if (root) {
        for (const QFileInfo& entry :
             QDir(folder).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot))
            EXPECT_EQ(chown(QFile::encodeName(entry.filePath()).constData(), 65534, 65534), 0);
        EXPECT_EQ(chown(QFile::encodeName(folder).constData(), 65534, 65534), 0);
    }
    const pid_t child = fork();
    if (child == 0) {
        if (root && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(3);
        try {
            work();
            _exit(1);
        } catch (const db::DbError&) {
            _exit(0);
        } catch (...) {
            _exit(2);
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(CompactAndBackup, LeavesTwoIdenticalCompactedCopiesAndTheFileAsItWas) {
    SavedFolder saved;
    AppFolder& folder = saved.folder;
    {
        // Enough deleted data that compaction visibly shrinks the file.
        db::Database database(folder.paths.database());
        database.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5000) "
                      "INSERT INTO tblSuccess SELECT 1, '2026-01-01 00:00:00', '10.0.0.' || (i % 254), "
                      "printf('%0100d', i) FROM n;"
                      "DELETE FROM tblSuccess WHERE length(SuccessRTT) = 100;");
    }
    // Names differ by letter case on Linux: a file spelt "KRDB.mdb" is some other file, not the database.
    QFile stray(folder.file("KRDB.mdb"));
    ASSERT_TRUE(stray.open(QIODevice::WriteOnly));
    stray.write("not ours");
    stray.close();
    const QByteArray before = folder.bytes("KRdb.mdb");
    db::CompactAndBackup(folder.paths);
    EXPECT_EQ(folder.bytes("KRDB.mdb"), QByteArray("not ours"));

    EXPECT_EQ(folder.bytes("KRDB.old"), before);
    EXPECT_EQ(folder.bytes("KRDB.bak"), folder.bytes("KRdb.mdb"));
    EXPECT_LT(folder.bytes("KRdb.mdb").size(), before.size() / 4);
    saved.expectEverySavedRow();
    EXPECT_EQ(QFileInfo(folder.paths.database()).permissions(),
              QFileInfo(folder.file("KRDB.old")).permissions());
}

TEST(CompactAndBackup, FailureAtAnyStepKeepsEverySavedRowAndTheNextCompactionWorks) {
    for (const auto& row : kSteps) {
        SCOPED_TRACE(row.name);
        SavedFolder saved;
        EXPECT_THROW(db::CompactAndBackup(saved.folder.paths,
                                          [&](CompactionStep step) {
                                              if (step == row.step)
                                                  throw db::DbError(28, "injected failure");
                                          }),
                     db::DbError);
        saved.expectEverySavedRow();
        EXPECT_FALSE(QFile::exists(saved.folder.file("KRdb.mdb.new")));

        db::CompactAndBackup(saved.folder.paths);
        saved.expectEverySavedRow();
        saved.expectEverySavedRow("KRDB.old");
        EXPECT_EQ(saved.folder.bytes("KRDB.bak"), saved.folder.bytes("KRdb.mdb"));
    }
}

// A disk that fills up while the backup is written, as RLIMIT_FSIZE makes every write beyond the
// limit fail (EFBIG; the signal it also raises is ignored meanwhile).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit limit = previous_;
        limit.rlim_cur = bytes;
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit previous_{};
    void (*previousHandler_)(int);
};

TEST(CompactAndBackup, FailedStepLeavesNoEmptyOrPartialBackup) {
    struct Row {
        const char* name;
        CompactionStep step;
        rlim_t fileSizeLimit; // 0: the hook throws before the step instead
    } rows[] = {
        {"disk full at the first byte of the backup", CompactionStep::CompactIntoBackup, 1},
        {"disk full 16 KiB into the backup", CompactionStep::CompactIntoBackup, 16384},
        {"backup written but not synced", CompactionStep::SyncBackup, 0},
        {"disk full while copying the backup", CompactionStep::CopyToTemporary, 16384},
        {"copy of the backup not synced", CompactionStep::SyncTemporary, 0},
        {"old copy not kept", CompactionStep::KeepOld, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SavedFolder saved;
        AppFolder& folder = saved.folder;
        ASSERT_GT(folder.bytes("KRdb.mdb").size(), 16384) << "the database must not fit under the limit";
        std::optional<FileSizeLimit> limit;
        EXPECT_THROW(db::CompactAndBackup(folder.paths,
                                          [&](CompactionStep step) {
                                              if (step != row.step)
                                                  return;
                                              if (!row.fileSizeLimit)
                                                  throw db::DbError(28, "injected failure");
                                              limit.emplace(row.fileSizeLimit);
                                          }),
                     db::DbError);
        limit.reset();
        saved.expectEverySavedRow();
        EXPECT_FALSE(QFile::exists(folder.file("KRdb.mdb.new")));
        // A backup that is there is whole and synced: every saved row.
        if (QFile::exists(folder.file("KRDB.bak"))) {
            EXPECT_GE(row.step, CompactionStep::CopyToTemporary)
                << "a backup of " << folder.bytes("KRDB.bak").size() << " bytes is left";
            try {
                saved.expectEverySavedRow("KRDB.bak");
            } catch (const db::DbError& error) {
                ADD_FAILURE() << "the backup left is no database: " << error.text().toStdString();
            }
        }
    }
}

TEST(CompactAndBackup, ProcessEndingAtAnyStepKeepsEverySavedRow) {
    // Forked where it stands, so the child works on this test's folder.
    GTEST_FLAG_SET(death_test_style, "fast");
    for (const auto& row : kSteps) {
        SCOPED_TRACE(row.name);
        SavedFolder saved;
        const CompactionStep stop = row.step;
        EXPECT_EXIT(db::CompactAndBackup(saved.folder.paths,
                                         [stop](CompactionStep step) {
                                             if (step == stop)
                                                 _exit(0);
                                         }),
                    ::testing::ExitedWithCode(0), "");
        saved.expectEverySavedRow();
        // A temporary copy left behind is cleared by the next compaction.
        db::CompactAndBackup(saved.folder.paths);
        saved.expectEverySavedRow();
        EXPECT_FALSE(QFile::exists(saved.folder.file("KRdb.mdb.new")));
    }
}

TEST(CompactAndBackup, MissingDatabaseFailsWithoutCreatingAnything) {
    AppFolder folder;
    QFile::remove(folder.paths.database());
    EXPECT_THROW(db::CompactAndBackup(folder.paths), db::DbError);
    EXPECT_TRUE(QDir(folder.dir.path()).isEmpty());
}

TEST(SavedRunsFaults, MissingDatabaseEndsEveryOperationWithTheEnginesError) {
    AppFolder folder;
    test::FakeMessageBoxes boxes;
    test::FakeClock clock;
    db::SavedRuns runs(folder.paths, folder.busy, boxes, clock);
    QFile::remove(folder.paths.database());
    try {
        runs.listRanges();
        FAIL() << "no error";
    } catch (const db::DbError& error) {
        EXPECT_EQ(error.number(), 14);
        EXPECT_TRUE(error.text().contains("unable to open database file")) << error.text().toStdString();
    }
    EXPECT_THROW(runs.SaveRun("10.0.0.1-254", {}), db::DbError);
    EXPECT_THROW(runs.FindRunNo("10.0.0.1-254"), db::DbError);
    EXPECT_FALSE(QFile::exists(folder.paths.database()));
    EXPECT_EQ(folder.busy.depth, 0);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST(SavedRunsFaults, ReadOnlyFolderOrFileFailsTheSaveAndKeepsTheDatabase) {
    struct Row {
        const char* name;
        bool folderReadOnly;
        bool fileReadOnly;
        bool deleteInsteadOfSave;
    } rows[] = {
        {"save, read-only folder", true, false, false},
        {"delete, read-only folder", true, false, true},
        {"save, read-only file", false, true, false},
        {"delete, read-only file", false, true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SavedFolder saved;
        AppFolder& folder = saved.folder;
        const QByteArray before = folder.bytes("KRdb.mdb");
        const QByteArray bakBefore = folder.bytes("KRDB.bak");
        if (row.fileReadOnly)
            chmod(QFile::encodeName(folder.paths.database()).constData(), 0444);
        if (row.folderReadOnly)
            chmod(QFile::encodeName(folder.dir.path()).constData(), 0555);

        const int outcome = inChildAsNobody(folder.dir.path(), [&] {
            db::SavedRuns runs(folder.paths, folder.busy, saved.boxes, saved.clock);
            if (row.deleteInsteadOfSave)
                runs.DeleteSavedRun("10.0.0.1-254");
            else
                runs.SaveRun("10.0.0.1-254", {{"10.0.0.5", "1"}});
        });
        EXPECT_EQ(outcome, 0) << "0: DbError, 1: no error, 2: another exception, 3: no user change";

        chmod(QFile::encodeName(folder.dir.path()).constData(), 0700);
        chmod(QFile::encodeName(folder.paths.database()).constData(), 0600);
        EXPECT_EQ(folder.bytes("KRdb.mdb"), before);
        EXPECT_EQ(folder.bytes("KRDB.bak"), bakBefore);
        saved.expectEverySavedRow();
    }
}

// The lock is never let go here: waiting the program's 2 s for it would only slow the test.
constexpr std::chrono::milliseconds kShortBusyTimeout{50};

TEST(SavedRunsFaults, LockedDatabaseFailsTheOperationAndStoresNothing) {
    struct Row {
        const char* name;
        std::function<void(db::SavedRuns&, const platform::AppPaths&)> operation;
    } rows[] = {
        {"save", [](db::SavedRuns& runs, const platform::AppPaths&) { runs.SaveRun("10.0.7.1-254", {}); }},
        {"list", [](db::SavedRuns& runs, const platform::AppPaths&) { runs.listRanges(); }},
        {"compaction",
         [](db::SavedRuns&, const platform::AppPaths& paths) {
             db::CompactAndBackup(paths, kShortBusyTimeout);
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SavedFolder saved;
        db::SavedRuns runs(saved.folder.paths, saved.folder.busy, saved.boxes, saved.clock,
                           kShortBusyTimeout);
        {
            db::Database other(saved.folder.paths.database());
            other.exec("BEGIN EXCLUSIVE; DELETE FROM tblSuccess;");
            try {
                row.operation(runs, saved.folder.paths);
                ADD_FAILURE() << "no error";
            } catch (const db::DbError& error) {
                EXPECT_EQ(error.number() & 0xff, 5) << "SQLITE_BUSY";
            }
            other.exec("ROLLBACK;");
        }
        saved.expectEverySavedRow();
        EXPECT_FALSE(runs.find("10.0.7.1-254"));
        EXPECT_EQ(saved.folder.busy.depth, 0);
    }
}
