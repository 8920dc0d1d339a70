#include "report/ReportFile.h"

#include "db/Database.h"
#include "platform/UniqueFd.h"

#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrion::report {

namespace {

// A file-system failure takes the program's one fatal path, with the system's error number and text.
[[noreturn]] void fileFailure(int number, const QString& what, const QString& path) {
    throw db::DbError(number, what + QLatin1Char(' ') + path + QStringLiteral(": ") +
                                  QString::fromLocal8Bit(std::strerror(number)));
}

QByteArray nativePath(const QString& path) {
    return QFile::encodeName(path);
}

void writeAll(int fd, const QByteArray& content, const QString& path) {
    qsizetype done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.constData() + done, static_cast<size_t>(content.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fileFailure(errno, QStringLiteral("Cannot write"), path);
        done += n;
    }
}

// A file made under a name of its own beside its final name; removed again unless renamed into place.
class TemporaryFile {
public:
    // `mode`: the final file's mode, or none for a new file (0666 less the umask).
    TemporaryFile(const QString& finalPath, std::optional<mode_t> mode) : finalPath_(finalPath) {
        const qsizetype slash = finalPath.lastIndexOf(QLatin1Char('/'));
        const QString folder = slash < 0 ? QStringLiteral(".") : finalPath.left(slash);
        const QString name = slash < 0 ? finalPath : finalPath.mid(slash + 1);
        // O_EXCL never opens what is already there, a planted link included.
        for (int attempt = 0; attempt < 100 && !fd_; ++attempt) {
            path_ = folder + QStringLiteral("/.") + name + QLatin1Char('.') +
                    QString::number(QRandomGenerator::system()->generate64(), 36);
            fd_.reset(::open(nativePath(path_).constData(),
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode ? 0600 : 0666));
            if (!fd_ && errno != EEXIST)
                break;
        }
        if (!fd_)
            fileFailure(errno, QStringLiteral("Cannot create"), finalPath_);
        if (mode && ::fchmod(fd_.get(), *mode) != 0) {
            // No destructor runs for a constructor that throws.
            const int error = errno;
            ::unlink(nativePath(path_).constData());
            fileFailure(error, QStringLiteral("Cannot create"), finalPath_);
        }
        made_ = true;
    }
    ~TemporaryFile() {
        if (made_)
            ::unlink(nativePath(path_).constData());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int fd() const { return fd_.get(); }

    // Flushed, closed (a full disk may only show there) and renamed over the final name.
    void commit() {
        if (::fsync(fd_.get()) != 0)
            fileFailure(errno, QStringLiteral("Cannot write"), finalPath_);
        if (const int error = fd_.close(); error != 0)
            fileFailure(error, QStringLiteral("Cannot write"), finalPath_);
        if (::rename(nativePath(path_).constData(), nativePath(finalPath_).constData()) != 0)
            fileFailure(errno, QStringLiteral("Cannot create"), finalPath_);
        made_ = false;
    }

private:
    QString finalPath_;
    QString path_;
    platform::UniqueFd fd_;
    bool made_ = false;
};

void writeThroughTemporary(const QString& path, const QByteArray& content, std::optional<mode_t> mode) {
    TemporaryFile file(path, mode);
    writeAll(file.fd(), content, path);
    file.commit();
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
    // A device or a pipe: opening a pipe waits for its reader, as a shell's redirection does.
    platform::UniqueFd fd(::open(name.constData(), O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
    if (!fd)
        fileFailure(errno, QStringLiteral("Cannot write"), path);
    struct stat opened {};
    if (::fstat(fd.get(), &opened) != 0)
        fileFailure(errno, QStringLiteral("Cannot write"), path);
    // Swapped for a regular file meanwhile: never overwrite one in place.
    if (S_ISREG(opened.st_mode)) {
        fd.reset();
        writeThroughTemporary(path, content, opened.st_mode & 07777);
        return;
    }
    writeAll(fd.get(), content, path);
    if (const int error = fd.close(); error != 0)
        fileFailure(error, QStringLiteral("Cannot write"), path);
}

} // namespace kestrion::report
