#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace kestrion::platform {

// The general date text form: the system's short date, a blank and the system's long time
// (without a time-zone name); the time is left out at exactly midnight. Every schedule line,
// the status panel, "Date Created:" and the report use this one conversion, so texts built by
// different operations for the same value are equal. The locale is the system's; tests name one.
QString generalDateText(const QDateTime& value, const QLocale& locale = QLocale::system());

// Dates in the database: local time as sortable text "yyyy-MM-dd HH:mm:ss".
QString toStoredDate(const QDateTime& value);
QDateTime fromStoredDate(const QString& text);

// A date-time with its seconds (and milliseconds) dropped: the start of its minute.
QDateTime toWholeMinute(const QDateTime& value);

} // namespace kestrion::platform
