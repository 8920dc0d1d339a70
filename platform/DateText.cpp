#include "platform/DateText.h"

#include <QLocale>

namespace kestrion::platform {

QString generalDateText(const QDateTime& value) {
    const QLocale locale = QLocale::system();
    const QString date = locale.toString(value.date(), QLocale::ShortFormat);
    if (value.time() == QTime(0, 0))
        return date;
    // The long time format carries a time-zone name ("t") on many locales; it is left out.
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    timeFormat.remove(QLatin1Char('t'));
    timeFormat = timeFormat.trimmed();
    return date + QLatin1Char(' ') + locale.toString(value.time(), timeFormat);
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
