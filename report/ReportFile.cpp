#include "report/ReportFile.h"

#include "platform/UniqueFd.h"
#include "report/WrittenFile.h"

#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrion::report {

namespace {

QByteArray nativePath(const QString& path) {
    return QFile::encodeName(path);
}

// A name in the file system that goes with its owner unless kept.
class RemovedUnlessKept {
public:
    RemovedUnlessKept() = default;
    ~RemovedUnlessKept() {
        if (!name_.isEmpty())
            ::unlink(name_.constData());
    }
    RemovedUnlessKept(const RemovedUnlessKept&) = delete;
    RemovedUnlessKept& operator=(const RemovedUnlessKept&) = delete;

    void own(QByteArray name) { name_ = std::move(name); }
    void keep() { name_.clear(); }

private:
    QByteArray name_;
};

// A file made under a name of its own beside its final name; removed again unless renamed into place.
class TemporaryFile {
public:
    // `mode`: the final file's mode, or none for a new file (0666 less the umask).
    TemporaryFile(const QString& finalPath, std::optional<mode_t> mode) : finalPath_(finalPath) {
        const qsizetype slash = finalPath.lastIndexOf(QLatin1Char('/'));
        const QString folder = slash < 0 ? QStringLiteral(".") : finalPath.left(slash);
        const QString name = slash < 0 ? finalPath : finalPath.mid(slash + 1);
        platform::UniqueFd fd;
        // O_EXCL never opens what is already there, a planted link included.
        for (int attempt = 0; attempt < 100 && !fd; ++attempt) {
            path_ = folder + QStringLiteral("/.") + name + QLatin1Char('.') +
                    QString::number(QRandomGenerator::system()->generate64(), 36);
            fd.reset(::open(nativePath(path_).constData(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode ? 0600 : 0666));
            if (!fd && errno != EEXIST)
                break;
        }
        if (!fd)
            fileFailure(errno, QStringLiteral("Cannot create"), finalPath_);
        // Owned before anything else can fail: the members' destructors clean up after a throw here.
        made_.own(nativePath(path_));
        file_.emplace(std::move(fd), finalPath_);
        if (mode && ::fchmod(file_->fd(), *mode) != 0)
            fileFailure(errno, QStringLiteral("Cannot create"), finalPath_);
    }

    WrittenFile& file() { return *file_; }

    // Flushed, closed (a full disk may only show there) and renamed over the final name.
    void commit() {
        file_->sync();
        file_->finish();
        if (::rename(nativePath(path_).constData(), nativePath(finalPath_).constData()) != 0)
            fileFailure(errno, QStringLiteral("Cannot create"), finalPath_);
        made_.keep();
    }

private:
    QString finalPath_;
    QString path_;
    RemovedUnlessKept made_;
    std::optional<WrittenFile> file_;
};

void writeThroughTemporary(const QString& path, const QByteArray& content, std::optional<mode_t> mode) {
    TemporaryFile temporary(path, mode);
    temporary.file().writeAll(content);
    temporary.commit();
}

// A device or a pipe, opened to be written in place; none when the path turned out to be a regular file
// by the time it was opened (its mode then in `regularMode`), which is never overwritten in place.
std::optional<WrittenFile> openInPlace(const QString& path, mode_t& regularMode) {
    // Opening a pipe waits for its reader, as a shell's redirection does.
    platform::UniqueFd fd(::open(nativePath(path).constData(), O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
    if (!fd)
        fileFailure(errno, QStringLiteral("Cannot write"), path);
    struct stat opened {};
    if (::fstat(fd.get(), &opened) != 0)
        fileFailure(errno, QStringLiteral("Cannot write"), path);
    if (S_ISREG(opened.st_mode)) {
        regularMode = opened.st_mode & 07777;
        return std::nullopt;
    }
    return WrittenFile(std::move(fd), path);
}

} // namespace

void ReplaceOwnFile(const QString& path, const QByteArray& content) {
    writeThroughTemporary(path, content, std::nullopt);
}

NamedFileKind namedFileKind(const QString& path) {
    struct stat info {};
    if (::lstat(nativePath(path).constData(), &info) != 0)
        return NamedFileKind::Missing;
    if (S_ISLNK(info.st_mode))
        return NamedFileKind::Link;
    if (S_ISREG(info.st_mode))
        return NamedFileKind::Regular;
    if (S_ISDIR(info.st_mode))
        return NamedFileKind::Folder;
    return NamedFileKind::Other;
}

void WriteNamedFile(const QString& path, const QByteArray& content) {
    const QByteArray name = nativePath(path);
    struct stat info {};
    if (::lstat(name.constData(), &info) != 0) {
        if (errno != ENOENT)
            fileFailure(errno, QStringLiteral("Cannot create"), path);
        writeThroughTemporary(path, content, std::nullopt);
        return;
    }
    if (S_ISLNK(info.st_mode))
        fileFailure(ELOOP, QStringLiteral("Cannot write through the link"), path);
    if (S_ISDIR(info.st_mode))
        fileFailure(EISDIR, QStringLiteral("Cannot write"), path);
    if (S_ISREG(info.st_mode)) {
        // As a shell's redirection would refuse it: the rename could replace a file the user may not write.
        if (::access(name.constData(), W_OK) != 0)
            fileFailure(errno, QStringLiteral("Cannot write"), path);
        writeThroughTemporary(path, content, info.st_mode & 07777);
        return;
    }
    // A device or a pipe, unless swapped for a regular file meanwhile.
    mode_t regularMode = 0;
    std::optional<WrittenFile> inPlace = openInPlace(path, regularMode);
    if (!inPlace) {
        writeThroughTemporary(path, content, regularMode);
        return;
    }
    inPlace->writeAll(content);
    inPlace->finish();
}

} // namespace kestrion::report
