#include "sweep/SweepRange.h"

#include <QRegularExpression>
#include <QStringList>
#include <array>
#include <optional>

namespace kestrion::sweep {

namespace {

QString quoted(const QString& text) {
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

std::optional<int> boxValue(const QString& digits, int lowest) {
    // Nine digits at most: no overflow, and any longer number is out of bounds all the same.
    if (digits.size() > 9)
        return std::nullopt;
    const int value = digits.toInt();
    if (value < lowest || value > kRangeHighest)
        return std::nullopt;
    return value;
}

} // namespace

QString SweepRange::address(int16_t fourth) const {
    return octet1 + QLatin1Char('.') + octet2 + QLatin1Char('.') + octet3 + QLatin1Char('.') +
           QString::number(fourth);
}

std::variant<SweepRange, RangeError> parseRange(const QString& text) {
    static const QRegularExpression form(
        QStringLiteral("^([0-9]+)\\.([0-9]+)\\.([0-9]+)\\.([0-9]+)(?:-([0-9]+))?$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return RangeError{RangeError::Kind::Form,
                          quoted(text) + QStringLiteral(" is not a range such as 192.168.1.1-254")};
    std::array<int, kRangeBoxes> values{};
    for (int box = 0; box < kRangeBoxes; ++box) {
        const QString captured =
            box == 4 && match.captured(5).isEmpty() ? match.captured(4) : match.captured(box + 1);
        const std::optional<int> value = boxValue(captured, kRangeLowest[box]);
        if (!value)
            return RangeError{RangeError::Kind::Bounds, quoted(text) + QStringLiteral(": ") + captured +
                                                            QStringLiteral(" must be a number between ") +
                                                            QString::number(kRangeLowest[box]) +
                                                            QStringLiteral(" and ") +
                                                            QString::number(kRangeHighest)};
        values[static_cast<size_t>(box)] = *value;
    }
    if (values[3] > values[4])
        return RangeError{RangeError::Kind::Order,
                          quoted(text) + QStringLiteral(": the first host is above the last")};
    return SweepRange{QString::number(values[0]), QString::number(values[1]), QString::number(values[2]),
                      static_cast<int16_t>(values[3]), static_cast<int16_t>(values[4])};
}

std::variant<SweepRange, RangeError> scheduledRange(const QString& savedRange) {
    const QStringList fields = savedRange.split(QLatin1Char('.'));
    return parseRange(fields.mid(0, 3).join(QLatin1Char('.')) + QStringLiteral(".1-") +
                      QString::number(kRangeHighest));
}

} // namespace kestrion::sweep
