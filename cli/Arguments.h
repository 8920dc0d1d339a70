#pragma once

#include "sweep/SweepRange.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <variant>

namespace kestrion::cli {

// What one command accepts: its options and how many plain arguments.
struct OptionSpec {
    QString name;      // "--timeout", "-o"
    QString valueName; // empty for a switch
};

struct CommandSpec {
    QString name;     // "sweep", "schedule add"
    QString synopsis; // the argument part of the usage line
    QString summary;  // one line for the command list
    QString details;  // the rest of its --help
    QList<OptionSpec> options;
    int minArguments = 0;
    int maxArguments = 0;
};

struct ParsedArguments {
    QStringList arguments;
    QMap<QString, QString> values; // options with a value, by name
    QStringList switches;          // switches given, in order
    bool help = false;

    bool has(const QString& name) const { return switches.contains(name) || values.contains(name); }
};

// One line that names the argument at fault; the caller adds the program and command names.
struct UsageError {
    QString message;
};

// Options may come before, between or after the plain arguments, as "--name value" or "--name=value";
// "--" ends the options. "--help" anywhere asks for the command's help and nothing else is checked.
std::variant<ParsedArguments, UsageError> parseArguments(const CommandSpec& syntax, const QStringList& args);

// The --help text of a command.
QString commandHelp(const CommandSpec& syntax);

// A decimal whole number within [lowest, highest], digits only.
std::optional<int> wholeNumber(const QString& text, int lowest, int highest);

// A sweep range as the window's address boxes take it: "A.B.C.D-E" or "A.B.C.D", with A and D..E in
// 1..254, B and C in 0..254, D not above E.
using sweep::SweepRange;
std::variant<SweepRange, UsageError> sweepRange(const QString& text);

// A saved run's range given to a command: one of the form "A.B.C.D-E" whose numbers lie outside the
// address boxes' bounds names no run there can be, so it is a wrong argument. Any other text is
// looked up as it is (a first host above the last is a range the window saves too).
std::optional<UsageError> savedRangeBoundsError(const QString& text);

// "YYYY-MM-DD HH:MM", local time, a date and time that exist.
std::optional<QDateTime> scheduleTime(const QString& text);

} // namespace kestrion::cli
