#include "schedule/Calendar.h"
#include "schedule/ScheduleTimer.h"

#include "tests/support/LocalZone.h"
#include "tests/support/ScheduleTestSupport.h"

#include <gtest/gtest.h>

using namespace kestrion::schedule;
using kestrion::schedtest::at;

namespace {

struct MonthCase {
    const char* name;
    int year, month;
    int firstIndex; // button that shows "1"
    int lastIndex;  // button that shows the last day
    const char* lastCaption;
};

TEST(Calendar, DayButtonsOfAMonth) {
    const MonthCase cases[] = {
        {"February 2024 has 29 days from Thursday", 2024, 2, 4, 32, "29"},
        {"February 2026 has 28 days from Sunday", 2026, 2, 0, 27, "28"},
        {"March 2026 starts on Sunday", 2026, 3, 0, 30, "31"},
        {"August 2026: 31 days from Saturday end at 36", 2026, 8, 6, 36, "31"},
        {"December 2029 starts on Saturday too", 2029, 12, 6, 36, "31"},
        {"April 2026: 30 days from Wednesday", 2026, 4, 3, 32, "30"},
    };
    for (const MonthCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto captions = dayCaptions(QDate(c.year, c.month, 1));
        EXPECT_EQ(captions[c.firstIndex], QStringLiteral("1"));
        EXPECT_EQ(captions[c.lastIndex], QLatin1String(c.lastCaption));
        for (int i = 0; i < 42; ++i) {
            const bool inMonth = i >= c.firstIndex && i <= c.lastIndex;
            EXPECT_EQ(captions[i], inMonth ? QString::number(i - c.firstIndex + 1) : QString())
                << "button " << i;
        }
    }
}

TEST(Calendar, TypedMonthAndYearTexts) {
    struct Case {
        const char* name;
        const char* month;
        const char* year;
        QDate expected; // invalid: not readable
    } cases[] = {
        {"as listed", "March", "2026", QDate(2026, 3, 1)},
        {"any letter case", "sEPTEMBER", "2031", QDate(2031, 9, 1)},
        {"three-letter month", "dec", "2027", QDate(2027, 12, 1)},
        {"year beyond the list", "January", "2040", QDate(2040, 1, 1)},
        {"two letters are no month", "Ma", "2026", QDate()},
        {"not a month", "Marchy", "2026", QDate()},
        {"two-digit year", "May", "26", QDate()},
        {"five-digit year", "May", "20260", QDate()},
        {"year with letters", "May", "2O26", QDate()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto first = firstOfMonth(QLatin1String(c.month), QLatin1String(c.year));
        EXPECT_EQ(first.value_or(QDate()), c.expected);
    }
}

TEST(Calendar, TimeTexts) {
    struct Case {
        const char* name;
        const char* text;
        QTime expected; // invalid: refused
    } cases[] = {
        {"24-hour", "23:30", QTime(23, 30)},
        {"one-digit hour", "9:05", QTime(9, 5)},
        {"with seconds", "07:15:40", QTime(7, 15, 40)},
        {"11:30 PM is 23:30", "11:30 PM", QTime(23, 30)},
        {"lower case, no blank", "11:30pm", QTime(23, 30)},
        {"12 AM is midnight", "12:00 AM", QTime(0, 0)},
        {"12 PM is noon", "12:10 PM", QTime(12, 10)},
        {"hour with AM only", "7 AM", QTime(7, 0)},
        {"24:00 is no time", "24:00", QTime()},
        {"minute 60", "10:60", QTime()},
        {"13 PM", "13:00 PM", QTime()},
        {"bare number", "1130", QTime()},
        {"empty", "", QTime()},
        {"words", "soon", QTime()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(parseTimeText(QLatin1String(c.text)).value_or(QTime()), c.expected);
    }
}

// In Berlin the clock goes from 02:00 to 03:00 on 29 March 2026 and from 03:00 back to 02:00 on
// 25 October: a minute of the gap does not exist, one of the doubled hour does.
TEST(Calendar, MinutesTheClockSkipsDoNotExist) {
    const kestrion::test::LocalZone berlin("Europe/Berlin");
    struct Case {
        const char* name;
        QDate date;
        QTime time;
        bool exists;
    } cases[] = {
        {"the last minute before the gap", QDate(2026, 3, 29), QTime(1, 59), true},
        {"the gap's first minute", QDate(2026, 3, 29), QTime(2, 0), false},
        {"inside the gap", QDate(2026, 3, 29), QTime(2, 30), false},
        {"the first minute after it", QDate(2026, 3, 29), QTime(3, 0), true},
        {"the same time a day later", QDate(2026, 3, 30), QTime(2, 30), true},
        {"the doubled hour in autumn", QDate(2026, 10, 25), QTime(2, 30), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto minute = localMinute(c.date, c.time);
        ASSERT_EQ(minute.has_value(), c.exists);
        if (minute) {
            EXPECT_EQ(*minute, QDateTime(c.date, c.time));
        }
    }
    EXPECT_EQ(localMinute(QDate(2026, 3, 30), QTime(2, 30, 45))->time(), QTime(2, 30)) << "seconds go";
}

TEST(Calendar, TimeBoxStartsAnHourAhead) {
    EXPECT_EQ(initialTimeText(at(2026, 5, 4, 10, 20, 31)), QStringLiteral("11:20"));
    EXPECT_EQ(initialTimeText(at(2026, 5, 4, 23, 30)), QStringLiteral("00:30"));
    EXPECT_EQ(initialTimeText(at(2026, 5, 4, 8, 5)), QStringLiteral("09:05"));
}

TEST(DueTest, OnlyTicksInsideTheScheduleMinute) {
    const std::optional<QDateTime> next = at(2026, 3, 17, 14, 5);
    struct Case {
        const char* name;
        QDateTime now;
        bool due;
    } cases[] = {
        {"14:04:59 is early", at(2026, 3, 17, 14, 4, 59), false},
        {"14:05:00 is due", at(2026, 3, 17, 14, 5, 0), true},
        {"14:05:59 is due", at(2026, 3, 17, 14, 5, 59), true},
        {"14:06:00 is late", at(2026, 3, 17, 14, 6, 0), false},
        {"same minute, another day", at(2026, 3, 18, 14, 5, 10), false},
        {"same minute, another month", at(2026, 4, 17, 14, 5, 10), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(isDue(next, c.now), c.due);
    }
    EXPECT_FALSE(isDue(std::nullopt, at(2026, 3, 17, 14, 5, 0)));
    EXPECT_EQ(minuteText(at(2026, 3, 7, 4, 5, 9)), QStringLiteral("07/03/2026 04:05"));
}

} // namespace
