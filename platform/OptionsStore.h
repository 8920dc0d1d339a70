#pragma once

#include "platform/Settings.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <limits>
#include <optional>

namespace kestrion::platform {

// The options in memory, as the Options tab sets them and the sweep and the address entry read them.
// A field's initializer is its default.
struct Options {
    int16_t Timeout = 3000;  // ms to wait for each echo reply
    int16_t PacketSize = 64; // data bytes of each echo request
    bool StartWithLocalAddress = true;
    bool ParallelSweep = false; // send the sweep's requests paced and many at once

    bool operator==(const Options&) const = default;
};

// An option stored as a decimal text: a text that is no whole number from `lowest` to `highest`
// reads as the field's default.
struct WholeNumber {
    int16_t Options::*field;
    const char* key;
    int16_t lowest;
    int16_t highest = std::numeric_limits<int16_t>::max();
};

// An option stored as "True" or "False" (read in any case); any other text reads as the default.
struct Flag {
    bool Options::*field;
    const char* key;
    // False for an option added after the first three: it is written only once it is on (or already
    // stored), so that a store where it was never turned on holds exactly the three original keys.
    bool writtenAlways = true;
};

// Every option of section "Settings": its field, key and bounds. An option is one field above and one
// row here; reading, writing, the Options tab's comparison and the command line's bounds follow.
// Written in this order.
inline constexpr WholeNumber kWholeNumbers[] = {
    // Under 1 ms the sweep would wait for nothing and find every address silent.
    {&Options::Timeout, "Timeout", 1},
    // A negative size would give the echo request's data a negative length.
    {&Options::PacketSize, "PacketSize", 0},
};
inline constexpr Flag kFlags[] = {
    {&Options::StartWithLocalAddress, "StartWithLocalAddress"},
    {&Options::ParallelSweep, "ParallelSweep", false},
};

namespace detail {
// Converts to any field's type: Options{AnyField{}, ...} compiles for up to as many as it has fields.
struct AnyField {
    template <typename T> operator T() const; // declared only: used where nothing is evaluated
};
template <typename... Given> consteval std::size_t fieldCount() {
    if constexpr (requires { Options{Given{}..., AnyField{}}; })
        return fieldCount<Given..., AnyField>();
    else
        return sizeof...(Given);
}

consteval bool defaultsWithinBounds() {
    for (const WholeNumber& option : kWholeNumbers)
        if (Options{}.*option.field < option.lowest || Options{}.*option.field > option.highest)
            return false;
    return true;
}
} // namespace detail

// A field without a row would be neither read nor written.
static_assert(detail::fieldCount() == std::size(kWholeNumbers) + std::size(kFlags),
              "every field of Options has its row");
static_assert(detail::defaultsWithinBounds(), "every default lies within its option's bounds");

// The row of an option's field, found while compiling.
consteval const WholeNumber& option(int16_t Options::*field) {
    for (const WholeNumber& row : kWholeNumbers)
        if (row.field == field)
            return row;
    throw "the field has no row in kWholeNumbers";
}
consteval const Flag& option(bool Options::*field) {
    for (const Flag& row : kFlags)
        if (row.field == field)
            return row;
    throw "the field has no row in kFlags";
}

// Every option from the store; one that is missing or does not read within its bounds gives its default.
Options readOptions(const SettingsStore& settings);
// Every option from memory, in one write of the store's file (see SettingsStore::write); an option that
// not writtenAlways only where it is on or already stored.
StoreStatus writeOptions(SettingsStore& settings, const Options& options);
// What the store holds for one option; empty when missing or not reading within its bounds.
std::optional<int16_t> storedValue(const SettingsStore& settings, const WholeNumber& option);
std::optional<bool> storedValue(const SettingsStore& settings, const Flag& option);

} // namespace kestrion::platform
