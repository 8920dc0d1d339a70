#include "db/CompactAndBackup.h"
#include "db/SavedRuns.h"
#include "db/SweepStore.h"
#include "tests/support/fakes/AppFolder.h"
#include "tests/support/fakes/FakeServices.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

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
    {"replace backup", CompactionStep::ReplaceBackup},
    {"keep old", CompactionStep::KeepOld},
    {"replace database", CompactionStep::ReplaceDatabase},
    {"sync folder", CompactionStep::SyncFolder},
};

// The names in a folder, sorted, hidden ones too.
std::string entriesOf(const QString& folder) {
    QStringList names =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.sort(Qt::CaseSensitive);
    return names.join(QLatin1Char(' ')).toStdString();
}

// A folder with two saved sweeps (three result rows) and earlier backups from a first compaction.
struct SavedFolder {
    AppFolder folder;
    test::FakeClock clock;
    SavedFolder() {
        db::SavedRuns runs(folder.paths, folder.busy, clock);
        runs.SaveRun("10.0.0.1-254", {{"10.0.0.1", 0}, {"10.0.0.2", 1}});
        db::Database database(folder.paths.database());
        db::storeSweep(database, "10.0.0.1-254", {{"10.0.0.3", 2}}, clock.now());
        firstBackup = folder.bytes("KRDB.bak");
        firstOld = folder.bytes("KRDB.old");
    }
    // The backups from the first save, before any compaction under test.
    QByteArray firstBackup;
    QByteArray firstOld;

    void expectEverySavedRow(const char* name = "KRdb.mdb") {
        SCOPED_TRACE(name);
        EXPECT_EQ(folder.count("SELECT count(*) FROM tblSuccess", name), 3);
        EXPECT_EQ(folder.count("SELECT numberofruns FROM tblSavedRuns", name), 2);
        EXPECT_EQ(
            folder.count("SELECT count(*) FROM pragma_integrity_check WHERE integrity_check <> 'ok'", name),
            0);
    }
    // Each backup is whole: the one from before the compaction, or the new one with every saved row.
    void expectWholeBackups() {
        const QByteArray bak = folder.bytes("KRDB.bak");
        if (bak != firstBackup) {
            SCOPED_TRACE("a new KRDB.bak of " + std::to_string(bak.size()) + " bytes");
            expectEverySavedRow("KRDB.bak");
        }
        const QByteArray old = folder.bytes("KRDB.old");
        if (old != firstOld) {
            SCOPED_TRACE("a new KRDB.old");
            expectEverySavedRow("KRDB.old");
        }
    }
    // What a compaction made and did not finish is gone (after the next one, for a killed one).
    void expectNoWorkLeft() const { EXPECT_EQ(entriesOf(folder.dir.path()), "KRDB.bak KRDB.old KRdb.mdb"); }
};

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString modeText(const QString& path) {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return QStringLiteral("missing");
    return QString::number(info.st_mode & 07777, 8);
}

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
        saved.expectWholeBackups();
        saved.expectNoWorkLeft();

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
        {"backup not renamed into place", CompactionStep::ReplaceBackup, 0},
        {"old copy not kept", CompactionStep::KeepOld, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SavedFolder saved;
        AppFolder& folder = saved.folder;
        ASSERT_GT(folder.bytes("KRdb.mdb").size(), 16384) << "the database must not fit under the limit";
        std::optional<FileSizeLimit> limit;
        try {
            db::CompactAndBackup(folder.paths, [&](CompactionStep step) {
                if (step != row.step)
                    return;
                if (!row.fileSizeLimit)
                    throw db::DbError(28, "injected failure");
                limit.emplace(row.fileSizeLimit);
            });
            ADD_FAILURE() << "no failure";
        } catch (const db::DbError& error) {
            // The system's own number (EFBIG) for our writes, SQLite's I/O or full-disk code for its own.
            if (row.fileSizeLimit) {
                const int sqliteCode = error.number() & 0xff;
                EXPECT_TRUE(error.number() == EFBIG || sqliteCode == 10 || sqliteCode == 13)
                    << error.number() << " " << error.text().toStdString();
            }
        }
        limit.reset();
        saved.expectEverySavedRow();
        try {
            saved.expectWholeBackups();
        } catch (const db::DbError& error) {
            ADD_FAILURE() << "a backup left is no database: " << error.text().toStdString();
        }
        saved.expectNoWorkLeft();
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
        // Never an empty or torn backup until the next save: the old one or the new one, whole.
        try {
            saved.expectWholeBackups();
        } catch (const db::DbError& error) {
            ADD_FAILURE() << "a backup left is no database: " << error.text().toStdString();
        }
        // What the killed compaction left is cleared by the next one.
        db::CompactAndBackup(saved.folder.paths);
        saved.expectEverySavedRow();
        saved.expectEverySavedRow("KRDB.bak");
        saved.expectNoWorkLeft();
    }
}

TEST(CompactAndBackup, BackupsTakeTheDatabasesModeWhateverTheUmask) {
    struct Row {
        const char* name;
        mode_t databaseMode;
        mode_t umask;
    } rows[] = {
        {"private database, usual umask", 0600, 022},
        {"group-readable database", 0640, 022},
        {"group-writable database, strict umask", 0660, 077},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SavedFolder saved;
        AppFolder& folder = saved.folder;
        ASSERT_EQ(chmod(QFile::encodeName(folder.paths.database()).constData(), row.databaseMode), 0);
        const mode_t previous = ::umask(row.umask);
        db::CompactAndBackup(folder.paths);
        ::umask(previous);
        const QString expected = QString::number(row.databaseMode, 8);
        for (const char* name : {"KRdb.mdb", "KRDB.bak", "KRDB.old"})
            EXPECT_EQ(modeText(folder.file(name)), expected) << name;
    }
}

// A database the user keeps elsewhere through a link: the sweeps go on reaching that file.
TEST(CompactAndBackup, ALinkedDatabaseIsCompactedWhereItLiesAndStaysLinked) {
    struct Row {
        const char* name;
        bool relativeLink;
    } rows[] = {{"absolute link", false}, {"relative link", true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        AppFolder folder;
        QTemporaryDir elsewhere;
        const QString real = elsewhere.filePath("kept.mdb");
        ASSERT_TRUE(QFile::rename(folder.paths.database(), real));
        const QString target = row.relativeLink ? QDir(folder.dir.path()).relativeFilePath(real) : real;
        ASSERT_EQ(symlink(QFile::encodeName(target).constData(),
                          QFile::encodeName(folder.paths.database()).constData()),
                  0);
        test::FakeClock clock;
        db::SavedRuns runs(folder.paths, folder.busy, clock);

        runs.SaveRun("10.0.0.1-254", {{"10.0.0.1", 0}});
        runs.SaveRun("10.0.0.1-254", {{"10.0.0.2", 1}});

        EXPECT_EQ(QFileInfo(folder.paths.database()).symLinkTarget(), real);
        EXPECT_EQ(folder.count("SELECT count(*) FROM tblSuccess"), 2);
        EXPECT_EQ(folder.count("SELECT numberofruns FROM tblSavedRuns"), 2);
        // The backups lie beside the file they copy, on its disk.
        EXPECT_EQ(entriesOf(elsewhere.path()), "KRDB.bak KRDB.old kept.mdb");
        EXPECT_EQ(entriesOf(folder.dir.path()), "KRdb.mdb");
        EXPECT_EQ(contents(real), contents(elsewhere.filePath("KRDB.bak")));
    }
}

// Links planted at the backups' names in a folder others may write are replaced, never written through.
TEST(CompactAndBackup, LinksAtTheBackupNamesAreReplacedNotFollowed) {
    SavedFolder saved;
    AppFolder& folder = saved.folder;
    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath("victim");
    const QString absent = elsewhere.filePath("absent");
    {
        QFile file(victim);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("keep me");
    }
    for (const auto& [name, target] : {std::pair{"KRDB.bak", victim}, std::pair{"KRDB.old", absent}}) {
        QFile::remove(folder.file(name));
        ASSERT_EQ(
            symlink(QFile::encodeName(target).constData(), QFile::encodeName(folder.file(name)).constData()),
            0);
    }

    db::CompactAndBackup(folder.paths);

    EXPECT_FALSE(QFileInfo(folder.file("KRDB.bak")).isSymLink());
    EXPECT_FALSE(QFileInfo(folder.file("KRDB.old")).isSymLink());
    saved.expectEverySavedRow("KRDB.bak");
    saved.expectEverySavedRow("KRDB.old");
    QFile file(victim);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("keep me"));
    EXPECT_FALSE(QFileInfo::exists(absent));
}

TEST(CompactAndBackup, MissingDatabaseFailsWithoutCreatingAnything) {
    AppFolder folder;
    QFile::remove(folder.paths.database());
    EXPECT_THROW(db::CompactAndBackup(folder.paths), db::DbError);
    EXPECT_TRUE(QDir(folder.dir.path()).isEmpty());
}

TEST(SavedRunsFaults, MissingDatabaseEndsEveryOperationWithTheEnginesError) {
    AppFolder folder;
    test::FakeClock clock;
    db::SavedRuns runs(folder.paths, folder.busy, clock);
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
            db::SavedRuns runs(folder.paths, folder.busy, saved.clock);
            if (row.deleteInsteadOfSave)
                runs.DeleteSavedRun("10.0.0.1-254");
            else
                runs.SaveRun("10.0.0.1-254", {{"10.0.0.5", 1}});
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
        db::SavedRuns runs(saved.folder.paths, saved.folder.busy, saved.clock, kShortBusyTimeout);
        {
            db::Database other(saved.folder.paths.database());
            other.exec("BEGIN EXCLUSIVE; DELETE FROM tblSuccess;");
            try {
                row.operation(runs, saved.folder.paths);
                ADD_FAILURE() << "no error";
            } catch (const db::DbError& error) {
                EXPECT_EQ(error.number() & 0xff, 5) << "SQLITE_BUSY";
                EXPECT_EQ(dynamic_cast<const db::CompactionFailedAfterCommit*>(&error), nullptr)
                    << "nothing was stored";
            }
            other.exec("ROLLBACK;");
        }
        saved.expectEverySavedRow();
        EXPECT_FALSE(runs.find("10.0.7.1-254"));
        EXPECT_EQ(saved.folder.busy.depth, 0);
    }
}

// A backup that cannot be renewed (here a folder stands at its name) after the change was committed:
// the failure says what is stored, so nobody saves the sweep a second time.
TEST(SavedRunsFaults, ACompactionFailingAfterTheCommitSaysTheChangeIsStored) {
    struct Row {
        const char* name;
        bool deleteInsteadOfSave;
        db::StoredChange stored;
        const char* check;
        long long expected;
    } rows[] = {
        {"save", false, db::StoredChange::Sweep, "SELECT count(*) FROM tblSuccess", 4},
        {"delete", true, db::StoredChange::Deletion, "SELECT count(*) FROM tblSavedRuns", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SavedFolder saved;
        AppFolder& folder = saved.folder;
        ASSERT_TRUE(QFile::remove(folder.file("KRDB.bak")));
        ASSERT_TRUE(QDir(folder.dir.path()).mkpath("KRDB.bak/inside"));
        db::SavedRuns runs(folder.paths, folder.busy, saved.clock);
        try {
            if (row.deleteInsteadOfSave)
                runs.DeleteSavedRun("10.0.0.1-254");
            else
                runs.SaveRun("10.0.0.1-254", {{"10.0.0.9", 1}});
            ADD_FAILURE() << "no failure";
        } catch (const db::CompactionFailedAfterCommit& error) {
            EXPECT_EQ(error.stored(), row.stored);
            EXPECT_EQ(error.number(), EISDIR);
            EXPECT_TRUE(error.text().contains(folder.file("KRDB.bak"))) << error.text().toStdString();
        }
        EXPECT_EQ(folder.count(row.check), row.expected);
        EXPECT_EQ(folder.busy.depth, 0);
        EXPECT_EQ(folder.bytes("KRDB.old"), saved.firstOld) << "the renewal stopped before KRDB.old";
    }
}
