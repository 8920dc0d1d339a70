#pragma once

#include <QByteArray>
#include <QString>

namespace kestrion::report {

// Writes one of the program's own files in its data folder (IPReport.txt): under a temporary name in
// the same folder, then renamed over the name. Whatever stood there (an older report, a link someone
// planted in a shared folder) is replaced and never written through. Failures throw db::DbError with
// the system's error number and text.
void ReplaceOwnFile(const QString& path, const QByteArray& content);

// What stands at a path the user named, links not followed.
enum class NamedFileKind {
    Missing,
    Regular,
    Link,
    Folder,
    Other, // a device, a pipe, a socket
};
NamedFileKind namedFileKind(const QString& path);

// Writes a file the user named on the command line. A regular file, or none yet, is written through a
// temporary file in its folder and an atomic rename (an existing file keeps its mode); a device or a
// pipe is written in place and stays what it is. A link is not followed and a folder not touched: both
// throw db::DbError, as every other failure does.
void WriteNamedFile(const QString& path, const QByteArray& content);

} // namespace kestrion::report
