#include "db/CompactAndBackup.h"

#include "db/Database.h"
#include "db/SavedRuns.h"
#include "platform/UniqueFd.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kestrion::db {

namespace {

const QString kWorkFolderPrefix = QStringLiteral("KRDB.work-");

[[noreturn]] void failFile(int error, const QString& path) {
    throw DbError(error, QString::fromLocal8Bit(std::strerror(error)) + QStringLiteral(": ") + path);
}

QByteArray nativePath(const QString& path) {
    return QFile::encodeName(path);
}

class OpenFile {
public:
    OpenFile(const QString& path, int flags, mode_t mode = 0)
        : path_(path), fd_(::open(nativePath(path).constData(), flags | O_CLOEXEC, mode)) {
        if (!fd_)
            failFile(errno, path);
    }

    int get() const { return fd_.get(); }
    void sync() {
        if (::fsync(fd_.get()) != 0)
            failFile(errno, path_);
    }
    void setMode(mode_t mode) {
        if (::fchmod(fd_.get(), mode) != 0)
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

void removeIfPresent(const QString& path) {
    if (::unlink(nativePath(path).constData()) != 0 && errno != ENOENT)
        failFile(errno, path);
}

void syncFile(const QString& path) {
    OpenFile file(path, O_RDONLY);
    file.sync();
}

void renameInto(const QString& from, const QString& to) {
    if (::rename(nativePath(from).constData(), nativePath(to).constData()) != 0)
        failFile(errno, to);
}

// The file the database path names: SQLite opens a link's target, so that is where the data are.
QString resolvedPath(const QString& path) {
    struct Free {
        void operator()(char* p) const { std::free(p); }
    };
    const std::unique_ptr<char, Free> real(::realpath(nativePath(path).constData(), nullptr));
    if (!real)
        failFile(errno, path);
    return QFile::decodeName(real.get());
}

// Removes a work folder and the files in it; never follows a link (unlinkat removes the name only).
void removeWorkFolder(const QString& path) noexcept {
    platform::UniqueFd fd(
        ::open(nativePath(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd)
        return;
    struct CloseDir {
        void operator()(DIR* d) const { ::closedir(d); }
    };
    // On success the directory stream owns the descriptor and closes it.
    const std::unique_ptr<DIR, CloseDir> dir(::fdopendir(fd.get()));
    if (!dir)
        return;
    const int folder = fd.release();
    while (const dirent* entry = ::readdir(dir.get())) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            ::unlinkat(folder, entry->d_name, 0);
    }
    ::rmdir(nativePath(path).constData());
}

// A folder of the compaction's own beside the database file (so renames out of it stay on one file
// system), which only its owner can enter: nobody can plant a link where SQLite writes the backup.
// Removed with what is left in it when the compaction ends; a killed one is removed by the next.
class WorkFolder {
public:
    explicit WorkFolder(const QString& folder) {
        QByteArray name =
            nativePath(folder + QLatin1Char('/') + kWorkFolderPrefix + QStringLiteral("XXXXXX"));
        if (::mkdtemp(name.data()) == nullptr)
            failFile(errno, folder);
        path_ = QFile::decodeName(name);
    }
    ~WorkFolder() { removeWorkFolder(path_); }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    QString file(const char* name) const { return path_ + QLatin1Char('/') + QLatin1String(name); }

private:
    QString path_;
};

void removeLeftovers(const QString& folder, const QString& database) {
    const QStringList found = QDir(folder).entryList({kWorkFolderPrefix + QLatin1Char('*')},
                                                     QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString& name : found) {
        const QString path = folder + QLatin1Char('/') + name;
        struct stat info {};
        if (::lstat(nativePath(path).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
            info.st_uid == ::geteuid())
            removeWorkFolder(path);
    }
    // Where compactions of older versions made their copy.
    removeIfPresent(database + QStringLiteral(".new"));
}

void copyFile(const QString& from, const QString& to, mode_t mode) {
    OpenFile in(from, O_RDONLY);
    OpenFile out(to, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, mode);
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
    // The umask may have taken bits off the database's mode.
    out.setMode(mode);
    out.sync();
    out.close();
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
    const QString database = resolvedPath(paths.database());
    const QString folder = database.left(database.lastIndexOf(QLatin1Char('/')));
    const QString backup = folder + QStringLiteral("/KRDB.bak");
    const QString old = folder + QStringLiteral("/KRDB.old");
    struct stat info {};
    if (::stat(nativePath(database).constData(), &info) != 0)
        failFile(errno, database);
    // The copies hold the same data as the database, so nobody may read them who cannot read it.
    const mode_t mode = info.st_mode & 07777;

    step(CompactionStep::ClearBackup);
    removeLeftovers(folder, database);

    step(CompactionStep::CompactIntoBackup);
    const WorkFolder work(folder);
    const QString newBackup = work.file("KRDB.bak");
    {
        Database db(database, busyTimeout);
        auto vacuum = db.prepare("VACUUM INTO ?1;");
        vacuum.bind(1, newBackup);
        vacuum.step();
    }

    // VACUUM INTO leaves its output unsynced; a backup that a power cut can lose is no backup.
    step(CompactionStep::SyncBackup);
    {
        OpenFile made(newBackup, O_RDONLY);
        made.setMode(mode);
        made.sync();
    }

    step(CompactionStep::CopyToTemporary);
    const QString newDatabase = work.file("KRdb.mdb");
    copyFile(newBackup, newDatabase, mode);

    step(CompactionStep::SyncTemporary);
    syncFile(newDatabase);

    step(CompactionStep::ReplaceBackup);
    renameInto(newBackup, backup);

    // A hard link keeps the file as it was under the second name without copying it; the rename
    // below then gives the database name the compacted copy while "KRDB.old" holds on to the old one.
    step(CompactionStep::KeepOld);
    const QString newOld = work.file("KRDB.old");
    if (::link(nativePath(database).constData(), nativePath(newOld).constData()) != 0) {
        const int error = errno;
        if (error != EPERM && error != EXDEV && error != ENOTSUP && error != EMLINK)
            failFile(error, old);
        copyFile(database, newOld, mode);
    }
    renameInto(newOld, old);

    step(CompactionStep::ReplaceDatabase);
    renameInto(newDatabase, database);

    step(CompactionStep::SyncFolder);
    OpenFile synced(folder, O_RDONLY | O_DIRECTORY);
    synced.sync();
}

void CompactAfterCommit(const platform::AppPaths& paths, StoredChange stored,
                        std::chrono::milliseconds busyTimeout) {
    try {
        CompactAndBackup(paths, {}, busyTimeout);
    } catch (const DbError& failure) {
        throw CompactionFailedAfterCommit(failure, stored);
    }
}

} // namespace kestrion::db
