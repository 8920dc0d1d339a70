#include "ReportTestSupport.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrion::test {

void ReportFolder::addRun(int runNo, const QString& runip, const QString& created, int numberOfRuns) {
    exec(QStringLiteral("INSERT INTO tblSavedRuns (RunNo, runip, runcreatedate, numberofruns) "
                        "VALUES (%1, '%2', '%3', %4);")
             .arg(runNo)
             .arg(runip, created)
             .arg(numberOfRuns));
}

void ReportFolder::addSweep(int runNo, const QStringList& addresses) {
    QString sql = QStringLiteral("BEGIN;");
    for (const QString& address : addresses)
        sql += QStringLiteral("INSERT INTO tblSuccess VALUES (%1, '2026-03-14 09:26:00', '%2', '1');")
                   .arg(runNo)
                   .arg(address);
    exec(sql + QStringLiteral("COMMIT;"));
}

ReadOnlyFolder::ReadOnlyFolder(const QString& folder) : folder_(folder) {
    const QByteArray path = QFile::encodeName(folder);
    if (geteuid() != 0) {
        chmodded_ = ::chmod(path.constData(), 0555) == 0;
        if (!chmodded_)
            failure = QStringLiteral("chmod: ") + QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    static bool ownNamespace = false;
    if (!ownNamespace) {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            failure =
                QStringLiteral("no private mount namespace: ") + QString::fromLocal8Bit(std::strerror(errno));
            return;
        }
        ownNamespace = true;
    }
    if (::mount(path.constData(), path.constData(), nullptr, MS_BIND, nullptr) != 0) {
        failure = QStringLiteral("bind mount: ") + QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    mounted_ = true;
    if (::mount(nullptr, path.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
        failure = QStringLiteral("read-only remount: ") + QString::fromLocal8Bit(std::strerror(errno));
}

ReadOnlyFolder::~ReadOnlyFolder() {
    const QByteArray path = QFile::encodeName(folder_);
    if (mounted_)
        ::umount2(path.constData(), MNT_DETACH);
    if (chmodded_)
        ::chmod(path.constData(), 0700);
}

QStringList addressesOf(const QString& prefix, int first, int last) {
    QStringList addresses;
    for (int octet = first; octet <= last; ++octet)
        addresses.append(prefix + QLatin1Char('.') + QString::number(octet));
    return addresses;
}

} // namespace kestrion::test
