#include "platform/InstanceLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace kestrion::platform {

namespace {
QString reason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}
} // namespace

InstanceLock::InstanceLock(const QString& lockFile)
    : InstanceLock(lockFile.isEmpty() ? defaultLockFiles() : QStringList{lockFile}) {}

InstanceLock::InstanceLock(const QStringList& candidates) {
    tryCandidates(candidates);
}

QStringList InstanceLock::defaultLockFiles() {
    QStringList files;
    const QString name = QStringLiteral("/kestrion.lock");
    for (auto location : {QStandardPaths::RuntimeLocation, QStandardPaths::CacheLocation,
                          QStandardPaths::AppConfigLocation}) {
        const QString dir = QStandardPaths::writableLocation(location);
        if (!dir.isEmpty())
            files << dir + name;
    }
    files << QDir::tempPath() + QStringLiteral("/kestrion-%1.lock").arg(::getuid());
    return files;
}

void InstanceLock::tryCandidates(const QStringList& candidates) {
    QStringList failures;
    for (const QString& path : candidates) {
        QDir().mkpath(QFileInfo(path).path());
        // No symbolic links: in a shared folder such as /tmp another user could aim one elsewhere.
        UniqueFd fd(
            ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (!fd) {
            failures << path + QStringLiteral(": ") + reason(errno);
            continue;
        }
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0 || st.st_uid != ::geteuid()) {
            // Made by another user: their lock says nothing about this user's instances.
            failures << path + QStringLiteral(": owned by another user");
            continue;
        }
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
            fd_ = std::move(fd);
            outcome_ = Outcome::Acquired;
            detail_ = path;
            return;
        }
        const int error = errno;
        if (error == EWOULDBLOCK) {
            outcome_ = Outcome::HeldByAnother;
            detail_ = path;
            return;
        }
        // ENOLCK and the like: this file system keeps no locks; another place may.
        failures << path + QStringLiteral(": ") + reason(error);
    }
    outcome_ = Outcome::NoLockFile;
    detail_ = failures.join(QStringLiteral("; "));
}

} // namespace kestrion::platform
