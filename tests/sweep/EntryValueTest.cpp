#include "sweep/EntryValue.h"
#include "sweep/SweepRules.h"

#include <gtest/gtest.h>

namespace kestrion::sweep {
namespace {

TEST(EntryValue, NumericValueAndCanonicalText) {
    struct Row {
        const char* name;
        const char* text;
        double value;
        const char* canonical;
    };
    const Row rows[] = {
        {"plain", "192", 192, "192"},
        {"leading zeros", "007", 7, "7"},
        {"trailing letters", "12abc", 12, "12"},
        {"no number", "abc", 0, "0"},
        {"empty", "", 0, "0"},
        {"negative", "-3", -3, "-3"},
        {"negative zero", "-0", 0, "0"},
        {"leading blanks", "  42", 42, "42"},
        {"blank inside the digits", "4 2", 4, "4"},
        {"plus sign", "+8", 8, "8"},
        {"fraction", "12.50", 12.5, "12.5"},
        {"fraction without whole part", ".5", 0.5, "0.5"},
        {"two dots", "1.2.3", 1.2, "1.2"},
        {"sign alone", "-", 0, "0"},
        {"huge", "99999999999999999999", 1e20, "100000000000000000000"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const double v = numericValue(QString::fromLatin1(r.text));
        EXPECT_DOUBLE_EQ(v, r.value);
        EXPECT_EQ(canonicalText(v), QString::fromLatin1(r.canonical));
    }
}

TEST(EntryValue, RoundsHalvesToEven) {
    const std::pair<double, int64_t> rows[] = {{0.5, 0},    {1.5, 2},    {2.5, 2},   {3.5, 4}, {253.5, 254},
                                               {2.4999, 2}, {2.5001, 3}, {-2.5, -2}, {7, 7}};
    for (auto [value, expected] : rows)
        EXPECT_EQ(roundHalfEven(value), expected) << value;
}

TEST(SweepRules, AddressToLong) {
    struct Row {
        const char* text;
        int32_t value;
    };
    const Row rows[] = {
        {"192.168.1.5", 83994816},
        {"10.0.0.200", -939524086},
        {"127.0.0.1", 0x0100007F},
        {"1.2.3", 0},
        {"1.2.3.4.5", 0},
        {"", 0},
        {"0.0.0.0", 0},
        {"255.255.255.255", -1},
        {"300.0.0.1", 0x0100002C},
    };
    for (const Row& r : rows)
        EXPECT_EQ(AddressToLong(QString::fromLatin1(r.text)), r.value) << r.text;
}

TEST(SweepRules, ProgressPercentFromTenToTwenty) {
    int16_t percent = 0;
    std::vector<int> shown;
    for (int16_t n = 10; n <= 20; ++n) {
        percent = progressPercent(10, 20, n, percent);
        shown.push_back(percent);
    }
    EXPECT_EQ(shown, (std::vector<int>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 90}));
    EXPECT_EQ(progressPercent(5, 5, 5, 37), 37) << "a one-address range keeps the previous value";
    // 1..254: the second address is 100 - 252*100/253 = 0.395..., rounded to 0.
    EXPECT_EQ(progressPercent(1, 254, 2, 0), 0);
    EXPECT_EQ(progressPercent(1, 5, 2, 0), 25);
    EXPECT_EQ(progressPercent(1, 9, 2, 0), 12) << "12.5 rounds to the even 12";
}

TEST(SweepRules, HostNameFromBuffer) {
    struct Row {
        const char* name;
        std::string buffer;
        const char* expected;
    };
    auto padded = [](std::string s) {
        s.resize(200, ' ');
        return s;
    };
    const Row rows[] = {
        {"name", padded(std::string("host1.lab", 9) + '\0'), "host1.lab"},
        {"empty answer", padded(std::string(1, '\0')), ""},
        {"error text", padded(std::string("Error code 11004 occurred.") + '\0'), "Not available"},
        {"lower-case error is a name", padded(std::string("error.lab") + '\0'), "error.lab"},
        {"full buffer", std::string(200, 'a'), nullptr},
        {"nothing written", padded(""), ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const QString name = hostNameFromBuffer(r.buffer.data(), r.buffer.size());
        if (r.expected)
            EXPECT_EQ(name, QString::fromLatin1(r.expected));
        else
            EXPECT_EQ(name, QString(200, QLatin1Char('a')));
    }
}

} // namespace
} // namespace kestrion::sweep
