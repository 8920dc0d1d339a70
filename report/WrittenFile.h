#pragma once

#include "platform/UniqueFd.h"

#include <QByteArray>
#include <QString>

namespace kestrion::report {

// A file-system failure takes the program's one fatal path: throws db::DbError with the system's error
// number and text, `what` and the path.
[[noreturn]] void fileFailure(int number, const QString& what, const QString& path);

// One descriptor that a report is written to. finish() closes it and throws when the close fails: on a
// full disk or a network file system a write may fail only there. Gone without finish() (an earlier
// failure is already on its way) it just closes.
class WrittenFile {
public:
    // `path`: what its failures name.
    WrittenFile(platform::UniqueFd fd, QString path) : fd_(std::move(fd)), path_(std::move(path)) {}

    int fd() const { return fd_.get(); }
    // Every byte, however many writes it takes.
    void writeAll(const QByteArray& content);
    // To the disk before a rename makes it the file.
    void sync();
    void finish();

private:
    platform::UniqueFd fd_;
    QString path_;
};

} // namespace kestrion::report
