#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace kestrion::sweep {

// The number a text starts with: leading blanks skipped, an optional sign, digits with an optional
// decimal fraction, stopping at the first character that does not fit. No leading number gives 0; a
// number too large for a double gives an infinity of its sign, never a small value.
double numericValue(const QString& text);

// The shortest decimal form of a value: no leading zeros, no decimal point for a whole number, and
// never an exponent (0.00001 stays 0.00001).
QString canonicalText(double value);

// Rounds to the nearest integer, halves to the even neighbour (2.5 gives 2, 3.5 gives 4).
int64_t roundHalfEven(double value);

// The value of a box's text when it lies between lowerBound and 254; nothing when it does not. Texts of
// any length are judged by their value alone, in one pass over the text.
std::optional<double> checkedEntryValue(const QString& text, double lowerBound);

// What the change rule of an address box leaves of its text: the rule removes a final "." and runs
// again on the shorter text, and moves the focus on for three characters or a removed dot. Worked out
// in one pass, so no depth grows with the text.
struct ChangeRuleOutcome {
    qsizetype keep = 0; // characters of the text that stay
    bool moveFocus = false;
};
ChangeRuleOutcome applyChangeRule(const QString& text);

} // namespace kestrion::sweep
