#include "platform/DateText.h"

#include <gtest/gtest.h>

using kestrion::platform::generalDateText;

// The general date text form: the locale's short date, a blank and its long time without the
// time-zone name, the time left out at exactly midnight.
TEST(GeneralDateText, ShortDateAndLongTimeWithoutTheZone) {
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QLocale de(QLocale::German, QLocale::Germany);
    struct Row {
        const char* name;
        QLocale locale;
        QTime time;
        const char* expected;
    } rows[] = {
        {"afternoon, 12-hour locale", us, QTime(14, 5, 30), "3/17/26 2:05:30 PM"},
        {"one second past midnight", us, QTime(0, 0, 1), "3/17/26 12:00:01 AM"},
        {"exactly midnight: the date alone", us, QTime(0, 0), "3/17/26"},
        {"24-hour locale", de, QTime(14, 5, 0), "17.03.26 14:05:00"},
        {"24-hour locale at midnight", de, QTime(0, 0), "17.03.26"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const QDateTime value(QDate(2026, 3, 17), row.time);
        const QString text = generalDateText(value, row.locale);
        EXPECT_EQ(text, QString::fromLatin1(row.expected));
        const QString zone = value.timeZoneAbbreviation();
        if (!zone.isEmpty()) {
            EXPECT_FALSE(text.contains(zone)) << text.toStdString();
        }
    }
}
