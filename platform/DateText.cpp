#include "platform/DateText.h"

namespace kestrion::platform {

QString generalDateText(const QDateTime& value, const QLocale& locale) {
    QString date = locale.toString(value.date(), QLocale::ShortFormat);
    if (value.time() == QTime(0, 0))
        return date;
    // The long time format carries a time-zone name ("t") on many locales; it is left out, but a
    // letter t inside a quoted literal of the format is text and stays.
    const QString longTime = locale.timeFormat(QLocale::LongFormat);
    QString timeFormat;
    bool quoted = false;
    for (const QChar c : longTime) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (c != QLatin1Char('t') || quoted)
            timeFormat.append(c);
    }
    return date + QLatin1Char(' ') + locale.toString(value.time(), timeFormat.simplified());
}

QString toStoredDate(const QDateTime& value) {
    return value.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QDateTime fromStoredDate(const QString& text) {
    return QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QDateTime toWholeMinute(const QDateTime& value) {
    const QTime t = value.time();
    return QDateTime(value.date(), QTime(t.hour(), t.minute()));
}

} // namespace kestrion::platform
