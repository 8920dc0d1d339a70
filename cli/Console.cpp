#include "cli/Console.h"

#include <unistd.h>

namespace kestrion::cli {

bool showsProgress(int outFd, int errFd) {
    return ::isatty(outFd) == 1 && ::isatty(errFd) == 1;
}

void Console::message(const QString& text) const {
    err << "kestrion-cli: " << oneLine(text).toLocal8Bit().constData() << '\n';
    err.flush();
}

QString oneLine(const QString& text) {
    QString line = text;
    line.replace(QLatin1String("\r\n"), QLatin1String(" "));
    line.replace(QLatin1Char('\r'), QLatin1Char(' '));
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return line.trimmed();
}

} // namespace kestrion::cli
