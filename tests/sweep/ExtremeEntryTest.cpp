#include "sweep/EntryValue.h"
#include "tests/sweep/EntryTexts.h"

#include <chrono>
#include <gtest/gtest.h>

namespace kestrion::sweep {
namespace {

using test::entry::expectedValue;
using test::entry::printable;

// What a box holds after an assignment or a paste of `text`: the whole text, as the change rule
// leaves it.
QString boxTextAfter(const QString& text) {
    return text.left(applyChangeRule(text).keep);
}

// The change rule as the rule re-run on its own removals comes out: every final dot goes, and the
// focus moves on for a text of three characters or when a dot went from two or more.
void expectChangeRule(const QString& text) {
    const ChangeRuleOutcome outcome = applyChangeRule(text);
    qsizetype kept = text.size();
    while (kept > 0 && text[kept - 1] == QLatin1Char('.'))
        --kept;
    EXPECT_EQ(outcome.keep, kept);
    EXPECT_EQ(outcome.moveFocus, text.size() == 3 || (text.size() >= 2 && text.endsWith(QLatin1Char('.'))));
}

TEST(ExtremeEntry, ChangeRuleTable) {
    struct Row {
        const char* name;
        QString text;
        qsizetype keep;
        bool moves;
    };
    const Row rows[] = {
        {"empty", "", 0, false},
        {"lone dot", ".", 0, false},
        {"two dots", "..", 0, true},
        {"digit and two dots", "5..", 1, true},
        {"three characters", "abc", 3, true},
        {"twenty dots after a digit", "5" + QString(20, QLatin1Char('.')), 1, true},
        {"24 digits and a dot", QString(24, QLatin1Char('1')) + ".", 24, true},
        {"25 digits and a dot", QString(25, QLatin1Char('1')) + ".", 25, true},
        {"1 and 10,000 dots", "1" + QString(10000, QLatin1Char('.')), 1, true},
        {"40,000 characters and a dot", QString(40000, QLatin1Char('7')) + ".", 40000, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const ChangeRuleOutcome outcome = applyChangeRule(r.text);
        EXPECT_EQ(outcome.keep, r.keep);
        EXPECT_EQ(outcome.moveFocus, r.moves);
    }
}

TEST(ExtremeEntry, ValuesTable) {
    struct Row {
        const char* name;
        QString text;
        double lowerBound;
        std::optional<double> value;
        const char* canonical;
    };
    const Row rows[] = {
        {"5,018 digits", QString(5018, QLatin1Char('9')), 0, std::nullopt, nullptr},
        {"24 nines", QString(24, QLatin1Char('9')), 0, std::nullopt, nullptr},
        {"22 zeros before 97", QString(22, QLatin1Char('0')) + "97", 0, 97, "97"},
        {"23 zeros before 97", QString(23, QLatin1Char('0')) + "97", 0, 97, "97"},
        {"24 zeros and 1", QString(24, QLatin1Char('0')) + "1", 1, 1, "1"},
        {"25 blanks and 5", QString(25, QLatin1Char(' ')) + "5", 1, 5, "5"},
        {"5,000 zeros before 254", QString(5000, QLatin1Char('0')) + "254", 1, 254, "254"},
        {"tiny fraction", "0.00001", 0, 0.00001, "0.00001"},
        {"tiny fraction under 1", "0.00001", 1, std::nullopt, nullptr},
        {"a fraction of 24 characters", "." + QString(22, QLatin1Char('0')) + "1", 0, 1e-23,
         "0.00000000000000000000001"},
        {"254 and a fraction beyond a double's digits", "254." + QString(3000, QLatin1Char('0')) + "1", 1,
         254, "254"},
        {"a half-way value that a digit far behind tips up",
         "1.00000000000000011102230246251565404236316680908203125" + QString(900, QLatin1Char('0')) + "1", 1,
         std::nextafter(1.0, 2.0), "1.0000000000000002"},
        {"the same half-way value rounds to even", "1.00000000000000011102230246251565404236316680908203125",
         1, 1, "1"},
        {"exponent is not read", "2e400", 1, 2, "2"},
        {"minus zero", "-0", 0, 0, "0"},
        {"just above 254", "254.0000001", 0, std::nullopt, nullptr},
        {"254 with a zero fraction", "254.000", 1, 254, "254"},
        {"huge negative", "-" + QString(400, QLatin1Char('9')), 0, std::nullopt, nullptr},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const std::optional<double> value = checkedEntryValue(r.text, r.lowerBound);
        ASSERT_EQ(value.has_value(), r.value.has_value());
        if (value) {
            EXPECT_DOUBLE_EQ(*value, *r.value);
            EXPECT_EQ(canonicalText(*value), QString::fromLatin1(r.canonical));
        }
    }
    EXPECT_TRUE(std::isinf(numericValue(QString(5018, QLatin1Char('9'))))) << "not 0, which would pass";
    EXPECT_EQ(canonicalText(0.00001), "0.00001");
    EXPECT_EQ(canonicalText(1e20), "100000000000000000000");
}

// Texts of a megabyte, as a paste may bring: each verdict is that of the value, and all of them
// together take a small fraction of a second, since the reading is one pass over the text.
TEST(ExtremeEntry, MegabyteTexts) {
    constexpr qsizetype kMegabyte = 1 << 20;
    struct Row {
        const char* name;
        QString text;
        double lowerBound;
        std::optional<double> value;
    };
    const Row rows[] = {
        {"zeros before 97", QString(kMegabyte, QLatin1Char('0')) + "97", 1, 97},
        {"blanks before 5", QString(kMegabyte, QLatin1Char(' ')) + "5", 1, 5},
        {"a digit run", QString(kMegabyte, QLatin1Char('9')), 0, std::nullopt},
        {"a fraction's zeros and 1, under 1", "0." + QString(kMegabyte, QLatin1Char('0')) + "1", 1,
         std::nullopt},
        {"a fraction's zeros and 1", "0." + QString(kMegabyte, QLatin1Char('0')) + "1", 0, 0},
        {"12 and a megabyte of letters", "12" + QString(kMegabyte, QLatin1Char('x')), 1, 12},
    };
    const auto started = std::chrono::steady_clock::now();
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(checkedEntryValue(r.text, r.lowerBound), r.value);
    }
    const QString dots = "1" + QString(kMegabyte, QLatin1Char('.'));
    EXPECT_EQ(applyChangeRule(dots).keep, 1);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(200));
}

// 20,000 adversarial texts, each judged for both lower bounds: what the box keeps, whether it is
// accepted, and that an accepted value reads back from its canonical text and rounds within bounds.
TEST(ExtremeEntry, SeededRandomTexts) {
    constexpr uint32_t kSeed = 20240613;
    test::entry::TextGenerator generate(kSeed);
    const auto started = std::chrono::steady_clock::now();
    int accepted = 0;
    for (int i = 0; i < 20000; ++i) {
        const QString text = generate.next();
        SCOPED_TRACE("seed " + std::to_string(kSeed) + " case " + std::to_string(i) + ": " + printable(text));
        expectChangeRule(text);
        const QString held = boxTextAfter(text);
        for (const double lowerBound : {0.0, 1.0}) {
            const std::optional<double> expected = expectedValue(text, lowerBound);
            const std::optional<double> value = checkedEntryValue(held, lowerBound);
            ASSERT_EQ(value.has_value(), expected.has_value()) << "lower bound " << lowerBound;
            if (!value)
                continue;
            ++accepted;
            EXPECT_EQ(*value, *expected);
            const QString canonical = canonicalText(*value);
            EXPECT_FALSE(canonical.contains(QLatin1Char('e'))) << canonical.toStdString();
            EXPECT_EQ(numericValue(canonical), *value) << canonical.toStdString();
            EXPECT_EQ(checkedEntryValue(canonical, lowerBound), value) << "a rewritten box passes again";
            const int64_t whole = roundHalfEven(*value);
            EXPECT_GE(whole, static_cast<int64_t>(lowerBound));
            EXPECT_LE(whole, 254);
        }
    }
    EXPECT_GT(accepted, 2000) << "the generators should also make plenty of good values";
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

} // namespace
} // namespace kestrion::sweep
