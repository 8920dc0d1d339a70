#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTime>
#include <array>
#include <optional>

namespace kestrion::schedule {

// The dialog's calendar and time rules, free of widgets.

// "January" ... "December": the month list, whatever the system's language.
const QStringList& monthNames();
// The year list: "1990" ... "2020". Fixed; later years are typed.
QStringList yearList();

// A month name as listed (any letter case, or its first three letters) -> 1..12.
std::optional<int> monthFromText(const QString& text);
// Exactly four digits -> the year.
std::optional<int> yearFromText(const QString& text);
// The first day of the month named by the two boxes' texts, when both can be read.
std::optional<QDate> firstOfMonth(const QString& monthText, const QString& yearText);

// Index of the button that receives day 1: Sunday 0 ... Saturday 6.
int startIndex(const QDate& firstOfMonth);
// Captions of Command1(0..41) for the month that starts on `firstOfMonth`.
std::array<QString, 42> dayCaptions(const QDate& firstOfMonth);

// A time of day typed as "HH:MM" (24-hour, seconds allowed) or "h:mm AM/PM" (also "h AM/PM").
std::optional<QTime> parseTimeText(const QString& text);
// The local date-time of a typed minute; nothing when the clock skips it (the hour of a change to
// summer time): Qt would move it on by the gap, to a minute the user did not type.
std::optional<QDateTime> localMinute(const QDate& date, const QTime& time);
// The time box's first text: an hour from now, "HH:MM".
QString initialTimeText(const QDateTime& now);

} // namespace kestrion::schedule
