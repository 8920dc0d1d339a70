#include "platform/DatabaseLock.h"

#include <QByteArray>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrion::platform {

namespace {

QString reason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray noteFor(LockHolder as) {
    return QByteArray::number(static_cast<qint64>(::getpid())) +
           (as == LockHolder::Window ? QByteArrayLiteral(" window\n") : QByteArrayLiteral(" command\n"));
}

LockHolder holderIn(int fd) {
    // The holder writes its note just after it took the lock; a reader that comes in between finds
    // the file still empty, so it looks again for a moment.
    for (int attempt = 0; attempt < 20; ++attempt) {
        char text[64] = {};
        const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
        const QList<QByteArray> words =
            QByteArray(text, got > 0 ? static_cast<int>(got) : 0).simplified().split(' ');
        if (words.size() == 2 && words[1] == "window")
            return LockHolder::Window;
        if (words.size() == 2 && words[1] == "command")
            return LockHolder::Command;
        const timespec pause{0, 5'000'000};
        ::nanosleep(&pause, nullptr);
    }
    return LockHolder::Unknown;
}

} // namespace

QString DatabaseLock::lockFileFor(const QString& databaseFile) {
    return databaseFile + QStringLiteral(".lock");
}

DatabaseLock::DatabaseLock(const QString& databaseFile, LockHolder as)
    : path_(lockFileFor(databaseFile)), as_(as) {
    take();
}

void DatabaseLock::retry() {
    if (outcome_ == Outcome::HeldByAnother)
        take();
}

void DatabaseLock::take() {
    if (!fd_) {
        const QByteArray name = QFile::encodeName(path_);
        // No links: the database's folder may be one that others can write, and the lock must be the
        // one file beside the database that every writer finds. Read-only where another user made the
        // file: an flock needs no write access, only the note is then left unwritten.
        const int flags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
        UniqueFd fd(::open(name.constData(), flags | O_RDWR | O_CREAT, 0600));
        const int error = errno;
        writable_ = static_cast<bool>(fd);
        if (!fd && error == EACCES)
            fd = UniqueFd(::open(name.constData(), flags | O_RDONLY));
        if (!fd) {
            outcome_ = Outcome::NoLockFile;
            detail_ = path_ + QStringLiteral(": ") + reason(error);
            return;
        }
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
            outcome_ = Outcome::NoLockFile;
            detail_ = path_ + QStringLiteral(": not a regular file");
            return;
        }
        fd_ = std::move(fd);
    }
    detail_ = path_;
    if (::flock(fd_.get(), LOCK_EX | LOCK_NB) == 0) {
        outcome_ = Outcome::Acquired;
        holder_ = as_;
        if (writable_) {
            const QByteArray note = noteFor(as_);
            // The note only informs; a full disk that keeps it out does not make the lock any weaker.
            if (::ftruncate(fd_.get(), 0) == 0)
                (void)!::pwrite(fd_.get(), note.constData(), static_cast<size_t>(note.size()), 0);
        }
        return;
    }
    const int error = errno;
    if (error == EWOULDBLOCK) {
        outcome_ = Outcome::HeldByAnother;
        holder_ = holderIn(fd_.get());
        return;
    }
    // ENOLCK and the like: this file system keeps no locks, so nothing keeps a second writer out.
    outcome_ = Outcome::NoLockFile;
    detail_ = path_ + QStringLiteral(": ") + reason(error);
    fd_.reset();
}

} // namespace kestrion::platform
