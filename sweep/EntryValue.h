#pragma once

#include <QString>
#include <cstdint>

namespace kestrion::sweep {

// The number a text starts with: leading blanks skipped, an optional sign, digits with an optional
// decimal fraction, stopping at the first character that does not fit. No leading number gives 0.
double numericValue(const QString& text);

// The shortest decimal form of a value: no leading zeros, no decimal point for a whole number.
QString canonicalText(double value);

// Rounds to the nearest integer, halves to the even neighbour (2.5 gives 2, 3.5 gives 4).
int64_t roundHalfEven(double value);

} // namespace kestrion::sweep
