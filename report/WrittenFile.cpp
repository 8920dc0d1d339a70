#include "report/WrittenFile.h"

#include "db/Database.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace kestrion::report {

void fileFailure(int number, const QString& what, const QString& path) {
    throw db::DbError(number, what + QLatin1Char(' ') + path + QStringLiteral(": ") +
                                  QString::fromLocal8Bit(std::strerror(number)));
}

void WrittenFile::writeAll(const QByteArray& content) {
    qsizetype done = 0;
    while (done < content.size()) {
        const ssize_t n =
            ::write(fd_.get(), content.constData() + done, static_cast<size_t>(content.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fileFailure(errno, QStringLiteral("Cannot write"), path_);
        done += n;
    }
}

void WrittenFile::sync() {
    if (::fsync(fd_.get()) != 0)
        fileFailure(errno, QStringLiteral("Cannot write"), path_);
}

void WrittenFile::finish() {
    if (const int error = fd_.close(); error != 0)
        fileFailure(error, QStringLiteral("Cannot write"), path_);
}

} // namespace kestrion::report
