#pragma once

#include <QString>
#include <cstdint>
#include <variant>

namespace kestrion::sweep {

// The bounds of the five address boxes, in their order: the block's three octets, then the first and
// the last value of the fourth. The boxes, the command line and the scheduled run all check by these.
enum class RangeBox { Octet1, Octet2, Octet3, FirstHost, LastHost };
inline constexpr int kRangeBoxes = 5;
inline constexpr int kRangeLowest[kRangeBoxes] = {1, 0, 0, 1, 1};
inline constexpr int kRangeHighest = 254;
constexpr int lowestValue(RangeBox box) {
    return kRangeLowest[static_cast<int>(box)];
}

// The range of one sweep: the block's octets as held in the entry boxes, and the fourth octet's span.
struct SweepRange {
    QString octet1, octet2, octet3;
    int16_t firstHost = 0;
    int16_t lastHost = 0;

    QString address(int16_t fourth) const;
    bool operator==(const SweepRange&) const = default;
};

struct RangeError {
    enum class Kind { Form, Bounds, Order }; // not of the form, a number out of bounds, D above E
    Kind kind = Kind::Form;
    QString message;
};

// "A.B.C.D-E" or "A.B.C.D" in decimal digits, each number within its box's bounds, D not above E.
std::variant<SweepRange, RangeError> parseRange(const QString& text);

// What a scheduled run sweeps for a saved range: the range's block, 1 to 254, as the window fills its
// boxes for it.
std::variant<SweepRange, RangeError> scheduledRange(const QString& savedRange);

} // namespace kestrion::sweep
