#pragma once

#include <QDateTime>
#include <QString>
#include <ostream>

namespace kestrion::schedtest {

inline QDateTime at(int y, int mo, int d, int h, int mi, int s = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

} // namespace kestrion::schedtest

// Readable failures.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
