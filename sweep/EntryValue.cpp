#include "sweep/EntryValue.h"

#include <QLocale>
#include <cmath>

namespace kestrion::sweep {

double numericValue(const QString& text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto isDigit = [&](qsizetype k) {
        return k < n && text[k] >= QLatin1Char('0') && text[k] <= QLatin1Char('9');
    };
    while (i < n && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
        ++i;
    const qsizetype start = i;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        ++i;
    while (isDigit(i))
        ++i;
    if (i < n && text[i] == QLatin1Char('.')) {
        ++i;
        while (isDigit(i))
            ++i;
    }
    bool ok = false;
    const double value = QStringView(text).mid(start, i - start).toDouble(&ok);
    // Qt answers an overflow with an infinity and ok false; taken as 0 it would pass as an octet.
    return ok || std::isinf(value) ? value : 0.0;
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
    if (text.size() > kLongestEntryText)
        return std::nullopt;
    const double value = numericValue(text);
    if (value < lowerBound || value > 254)
        return std::nullopt;
    // The check writes the canonical text back; one the box cannot hold would be cut to another value.
    if (canonicalText(value).size() > kLongestEntryText)
        return std::nullopt;
    return value;
}

ChangeRuleOutcome applyChangeRule(const QString& text) {
    ChangeRuleOutcome out{text.size(), false};
    if (text.size() >= kEntryMaxLength)
        return out;
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
