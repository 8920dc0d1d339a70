#include "sweep/EntryValue.h"

#include "sweep/SweepRange.h"

#include <QLocale>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace kestrion::sweep {

double numericValue(const QString& text) {
    const qsizetype n = text.size();
    qsizetype i = 0;
    auto digitAt = [&](qsizetype k) -> int {
        if (k >= n)
            return -1;
        const char16_t c = text[k].unicode();
        return c >= u'0' && c <= u'9' ? c - u'0' : -1;
    };
    while (i < n && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        negative = text[i++] == QLatin1Char('-');

    // The value is kept as its significant digits times a power of ten. 800 digits decide the rounding
    // of every double; any further non-zero digit only tips a half-way case, so it stands as one more 1.
    constexpr qsizetype kKeptDigits = 800;
    std::array<char, kKeptDigits + 32> digits{};
    qsizetype kept = 0;
    int64_t exponent = 0;
    bool dropped = false;
    auto take = [&](int d, bool fraction) {
        if (kept == 0 && d == 0) {
            exponent -= fraction ? 1 : 0;
        } else if (kept < kKeptDigits) {
            digits[kept++] = static_cast<char>('0' + d);
            exponent -= fraction ? 1 : 0;
        } else {
            dropped = dropped || d != 0;
            exponent += fraction ? 0 : 1;
        }
    };
    for (; digitAt(i) >= 0; ++i)
        take(digitAt(i), false);
    if (i < n && text[i] == QLatin1Char('.'))
        for (++i; digitAt(i) >= 0; ++i)
            take(digitAt(i), true);

    const double sign = negative ? -1.0 : 1.0;
    if (kept == 0)
        return sign * 0.0;
    if (dropped) {
        digits[kept++] = '1';
        --exponent;
    }
    // The power of ten of the leading digit settles what lies beyond a double's range without reading.
    const int64_t magnitude = kept + exponent;
    if (magnitude > 310)
        return sign * std::numeric_limits<double>::infinity();
    if (magnitude < -330)
        return sign * 0.0;
    char* end = digits.data() + kept;
    *end++ = 'e';
    end = std::to_chars(end, digits.data() + digits.size(), exponent).ptr;
    double value = 0;
    const std::from_chars_result read =
        std::from_chars(digits.data(), end, value, std::chars_format::scientific);
    if (read.ec == std::errc::result_out_of_range)
        value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return sign * value;
}

QString canonicalText(double value) {
    if (value == 0)
        return QStringLiteral("0"); // also for -0
    return QString::number(value, 'f', QLocale::FloatingPointShortest);
}

int64_t roundHalfEven(double value) {
    return static_cast<int64_t>(std::nearbyint(value)); // the default rounding mode is to even
}

std::optional<double> checkedEntryValue(const QString& text, double lowerBound) {
    const double value = numericValue(text);
    if (value < lowerBound || value > kRangeHighest)
        return std::nullopt;
    return value;
}

ChangeRuleOutcome applyChangeRule(const QString& text) {
    ChangeRuleOutcome out{text.size(), false};
    // Each pass is one run of the rule on the text the previous run left.
    while (out.keep > 0) {
        const bool endsWithDot = text[out.keep - 1] == QLatin1Char('.');
        if (out.keep == 1) {
            if (endsWithDot)
                out.keep = 0;
            break;
        }
        if (out.keep == 3 || endsWithDot)
            out.moveFocus = true;
        if (!endsWithDot)
            break;
        --out.keep;
    }
    return out;
}

} // namespace kestrion::sweep
