#pragma once

#include <QFile>
#include <QString>

#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrion::test {

// Makes the settings file `ini`, its folder `folder` and that folder's parent `parent` as an ordinary
// user finds them when only reading is allowed, then runs `attempt` in a child process as that user
// (nobody when the test runs as root, since root writes regardless of the mode bits). Gives the child's
// exit code: what `attempt` returned, 9 when the user could not be taken on, -1 when it did not exit.
// The folder is writable again afterwards, so the temporary folder can go.
inline int attemptInReadOnlySettings(const QString& parent, const QString& folder, const QString& ini,
                                     const std::function<int()>& attempt) {
    if (::chmod(QFile::encodeName(parent).constData(), 0755) != 0 ||
        ::chmod(QFile::encodeName(folder).constData(), 0555) != 0 ||
        ::chmod(QFile::encodeName(ini).constData(), 0444) != 0)
        return -1;
    const bool root = ::geteuid() == 0;
    const pid_t child = ::fork();
    if (child == 0) {
        if (root && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(9);
        ::_exit(attempt());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace kestrion::test
