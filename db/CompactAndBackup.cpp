#include "db/CompactAndBackup.h"

#include "db/Database.h"
#include "db/SavedRuns.h"
#include "platform/UniqueFd.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kestrion::db {

namespace {

[[noreturn]] void failFile(int error, const QString& path) {
    throw DbError(error, QString::fromLocal8Bit(std::strerror(error)) + QStringLiteral(": ") + path);
}

class OpenFile {
public:
    OpenFile(const QString& path, int flags, mode_t mode = 0)
        : path_(path), fd_(::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC, mode)) {
        if (!fd_)
            failFile(errno, path);
    }

    int get() const { return fd_.get(); }
    void sync() {
        if (::fsync(fd_.get()) != 0)
            failFile(errno, path_);
    }
    // A close can report a write that failed late (NFS, a full disk), so it is checked.
    void close() {
        if (const int error = fd_.close(); error != 0)
            failFile(error, path_);
    }

private:
    QString path_;
    platform::UniqueFd fd_;
};

QByteArray nativePath(const QString& path) {
    return QFile::encodeName(path);
}

void removeIfPresent(const QString& path) {
    if (::unlink(nativePath(path).constData()) != 0 && errno != ENOENT)
        failFile(errno, path);
}

void syncFile(const QString& path) {
    OpenFile file(path, O_RDONLY);
    file.sync();
}

// A file this compaction makes: removed again unless it was finished (or renamed into place), so
// a failed step leaves no empty or partial file behind.
struct MadeFile {
    QString path;
    bool kept = false;
    ~MadeFile() {
        if (!kept)
            ::unlink(nativePath(path).constData());
    }
};

void copyFile(const QString& from, const QString& to, mode_t mode) {
    OpenFile in(from, O_RDONLY);
    OpenFile out(to, O_WRONLY | O_CREAT | O_EXCL, mode);
    MadeFile made{to};
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t got = ::read(in.get(), buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR)
                continue;
            failFile(errno, from);
        }
        if (got == 0)
            break;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(out.get(), buffer.data() + done, static_cast<size_t>(got - done));
            if (put < 0) {
                if (errno == EINTR)
                    continue;
                failFile(errno, to);
            }
            done += put;
        }
    }
    out.sync();
    out.close();
    made.kept = true;
}

} // namespace

void CompactAndBackup(const platform::AppPaths& paths, std::chrono::milliseconds busyTimeout) {
    CompactAndBackup(paths, {}, busyTimeout);
}

void CompactAndBackup(const platform::AppPaths& paths, const std::function<void(CompactionStep)>& beforeStep,
                      std::chrono::milliseconds busyTimeout) {
    const auto step = [&](CompactionStep s) {
        if (beforeStep)
            beforeStep(s);
    };
    // Linux compares file names with letter case, so the database is always "KRdb.mdb"; the two
    // backups keep their own spelling.
    const QString database = paths.database();
    const QString backup = paths.dataFolder + QStringLiteral("/KRDB.bak");
    const QString old = paths.dataFolder + QStringLiteral("/KRDB.old");
    MadeFile temporary{database + QStringLiteral(".new")};

    step(CompactionStep::ClearBackup);
    removeIfPresent(backup);
    removeIfPresent(temporary.path);

    step(CompactionStep::CompactIntoBackup);
    MadeFile madeBackup{backup};
    {
        Database db(database, busyTimeout);
        auto vacuum = db.prepare("VACUUM INTO ?1;");
        vacuum.bind(1, backup);
        vacuum.step();
    }

    // VACUUM INTO leaves its output unsynced; a backup that a power cut can lose is no backup.
    step(CompactionStep::SyncBackup);
    syncFile(backup);
    madeBackup.kept = true;

    struct stat info {};
    if (::stat(nativePath(database).constData(), &info) != 0)
        failFile(errno, database);
    step(CompactionStep::CopyToTemporary);
    copyFile(backup, temporary.path, info.st_mode & 07777);

    step(CompactionStep::SyncTemporary);
    syncFile(temporary.path);

    // A hard link keeps the file as it was under the second name without copying it; the rename
    // below then gives "KRdb.mdb" the compacted copy while "KRDB.old" holds on to the old one.
    step(CompactionStep::KeepOld);
    removeIfPresent(old);
    if (::link(nativePath(database).constData(), nativePath(old).constData()) != 0) {
        const int error = errno;
        if (error != EPERM && error != EXDEV && error != ENOTSUP && error != EMLINK)
            failFile(error, old);
        copyFile(database, old, info.st_mode & 07777);
    }

    step(CompactionStep::ReplaceDatabase);
    if (::rename(nativePath(temporary.path).constData(), nativePath(database).constData()) != 0)
        failFile(errno, database);
    temporary.kept = true;

    step(CompactionStep::SyncFolder);
    OpenFile folder(paths.dataFolder, O_RDONLY | O_DIRECTORY);
    folder.sync();
}

} // namespace kestrion::db
