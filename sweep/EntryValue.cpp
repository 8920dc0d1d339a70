#include "sweep/EntryValue.h"

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
    const double value = text.mid(start, i - start).toDouble(&ok);
    return ok ? value : 0.0;
}

QString canonicalText(double value) {
    if (value == 0)
        return QStringLiteral("0"); // also for -0
    return QString::number(value, 'g', 15);
}

int64_t roundHalfEven(double value) {
    return static_cast<int64_t>(std::nearbyint(value)); // the default rounding mode is to even
}

} // namespace kestrion::sweep
