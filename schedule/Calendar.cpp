#include "schedule/Calendar.h"

#include <QRegularExpression>

namespace kestrion::schedule {

const QStringList& monthNames() {
    static const QStringList names = {
        QStringLiteral("January"), QStringLiteral("February"), QStringLiteral("March"),
        QStringLiteral("April"),   QStringLiteral("May"),      QStringLiteral("June"),
        QStringLiteral("July"),    QStringLiteral("August"),   QStringLiteral("September"),
        QStringLiteral("October"), QStringLiteral("November"), QStringLiteral("December")};
    return names;
}

QStringList yearList() {
    QStringList years;
    for (int y = 1990; y <= 2020; ++y)
        years.append(QString::number(y));
    return years;
}

std::optional<int> monthFromText(const QString& text) {
    const QString t = text.trimmed();
    if (t.size() < 3)
        return std::nullopt;
    for (int m = 0; m < 12; ++m) {
        const QString& name = monthNames().at(m);
        if (t.compare(name, Qt::CaseInsensitive) == 0 ||
            (t.size() == 3 && name.startsWith(t, Qt::CaseInsensitive)))
            return m + 1;
    }
    return std::nullopt;
}

std::optional<int> yearFromText(const QString& text) {
    static const QRegularExpression fourDigits(QStringLiteral("^\\d{4}$"));
    const QString t = text.trimmed();
    if (!fourDigits.match(t).hasMatch())
        return std::nullopt;
    const int year = t.toInt();
    if (year < 1000)
        return std::nullopt;
    return year;
}

std::optional<QDate> firstOfMonth(const QString& monthText, const QString& yearText) {
    const auto month = monthFromText(monthText);
    const auto year = yearFromText(yearText);
    if (!month || !year)
        return std::nullopt;
    return QDate(*year, *month, 1);
}

int startIndex(const QDate& first) {
    return first.dayOfWeek() % 7; // Qt counts Monday 1 ... Sunday 7
}

std::array<QString, 42> dayCaptions(const QDate& first) {
    std::array<QString, 42> captions;
    const int start = startIndex(first);
    const int days = static_cast<int>(first.daysTo(first.addMonths(1)));
    for (int d = 1; d <= days; ++d)
        captions[start + d - 1] = QString::number(d);
    return captions;
}

std::optional<QDateTime> localMinute(const QDate& date, const QTime& time) {
    const QTime minute(time.hour(), time.minute());
    const QDateTime value(date, minute);
    if (!value.isValid() || value.date() != date || value.time() != minute)
        return std::nullopt;
    return value;
}

std::optional<QTime> parseTimeText(const QString& text) {
    static const QRegularExpression form(
        QStringLiteral("^(\\d{1,2})(?::(\\d{2}))?(?::(\\d{2}))?\\s*([AaPp][Mm])?$"));
    const auto m = form.match(text.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    int hour = m.captured(1).toInt();
    const int minute = m.captured(2).isEmpty() ? 0 : m.captured(2).toInt();
    const int second = m.captured(3).isEmpty() ? 0 : m.captured(3).toInt();
    const QString half = m.captured(4).toUpper();
    if (half.isEmpty()) {
        if (m.captured(2).isEmpty()) // a bare number is not a time
            return std::nullopt;
    } else {
        if (hour < 1 || hour > 12)
            return std::nullopt;
        hour = hour % 12 + (half == QLatin1String("PM") ? 12 : 0);
    }
    const QTime time(hour, minute, second);
    if (!time.isValid())
        return std::nullopt;
    return time;
}

QString initialTimeText(const QDateTime& now) {
    return now.addSecs(3600).toString(QStringLiteral("HH:mm"));
}

} // namespace kestrion::schedule
