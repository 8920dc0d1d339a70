#include "cli/SweepCommand.h"

#include "cli/CommandContext.h"
#include "cli/ConsoleSweep.h"
#include "db/SavedRuns.h"
#include "platform/DatabaseLock.h"
#include "platform/OptionsStore.h"
#include "schedule/ScheduledRunDriver.h"
#include "sweep/SweepSession.h"

#include <optional>
#include <variant>
#include <vector>

namespace kestrion::cli {

CommandSpec sweepSpec() {
    constexpr platform::WholeNumber timeout = platform::option(&platform::Options::Timeout);
    constexpr platform::WholeNumber size = platform::option(&platform::Options::PacketSize);
    return {
        QStringLiteral("sweep"),
        QStringLiteral("RANGE [--timeout MS] [--size BYTES] [--parallel [--interval MS]] [--save] "
                       "[--names|--no-names] [--format FORMAT]"),
        QStringLiteral("Ping every address of a range, one after the other (or many at once)."),
        (QStringLiteral(
             "The window's sweep: one echo request to each address of RANGE (e.g. 192.168.1.1-254) in\n"
             "ascending order. Each answering address is one line: address, tab, host name, tab,\n"
             "round-trip time in ms. A router's \"unreachable\" or a reply from another address gives no\n"
             "line; without a terminal to ask, the sweep goes on. Ctrl-C stops it before the next\n"
             "address and saves nothing (status 130).\n\n"
             "  --timeout MS    wait for each reply (%1-%2 ms; default: the stored Timeout)\n"
             "  --size BYTES    data bytes per request (%3-%4; default: the stored PacketSize)\n"
             "  --parallel      send the requests paced, many at once, instead of one after the other:\n"
             "                  a block takes about the time-out plus one interval per address.\n"
             "                  Off by default. Answers are judged as in the sequential sweep; the\n"
             "                  lines come in address order once all are in. A router sends at most\n"
             "                  about one \"unreachable\" a second to one sender (Linux's rate limit),\n"
             "                  so a parallel sweep may take such addresses for silent ones\n"
             "  --interval MS   parallel: time between two requests (%5-%6 ms; default 1)\n"
             "  --save          save the sweep as the window's Save button does\n"
             "  --names         look up host names (the default)\n"
             "  --no-names      leave host names out (\"Not available\")\n") +
         formatHelp(OutputFormat::Tsv))
            .arg(timeout.lowest)
            .arg(timeout.highest)
            .arg(size.lowest)
            .arg(size.highest)
            .arg(sweep::kIntervalLowestMs)
            .arg(sweep::kIntervalHighestMs),
        {{QStringLiteral("--timeout"), QStringLiteral("MS")},
         {QStringLiteral("--size"), QStringLiteral("BYTES")},
         {QStringLiteral("--parallel"), QString()},
         {QStringLiteral("--interval"), QStringLiteral("MS")},
         {QStringLiteral("--save"), QString()},
         {QStringLiteral("--names"), QString()},
         {QStringLiteral("--no-names"), QString()},
         formatOption()},
        1,
        1};
}

namespace {

int usageError(const Console& console, const QString& text) {
    console.message(QStringLiteral("sweep: ") + text);
    return ExitUsage;
}

// A whole number within the bounds of the stored option for `option`, when given; `what` names its unit
// in the error.
std::variant<std::optional<int16_t>, UsageError> optionValue(const ParsedArguments& args,
                                                             const QString& option,
                                                             const platform::WholeNumber& bounds,
                                                             const QString& what) {
    if (!args.values.contains(option))
        return std::optional<int16_t>();
    const QString text = args.values.value(option);
    const std::optional<int> value = wholeNumber(text, bounds.lowest, bounds.highest);
    if (!value)
        return UsageError{option + QStringLiteral(": '") + text +
                          QStringLiteral("' is not a whole number of ") + what + QStringLiteral(" from ") +
                          QString::number(bounds.lowest) + QStringLiteral(" to ") +
                          QString::number(bounds.highest)};
    return std::optional<int16_t>(static_cast<int16_t>(*value));
}

// The stored options, with --timeout and --size in their place where given.
std::variant<sweep::SweepSettings, UsageError> sweepSettings(const CommandContext& context) {
    const platform::Options stored = platform::readOptions(context.services.settings);
    sweep::SweepSettings settings{stored.Timeout, stored.PacketSize};
    const auto timeout =
        optionValue(context.args, QStringLiteral("--timeout"), platform::option(&platform::Options::Timeout),
                    QStringLiteral("milliseconds"));
    if (const auto* error = std::get_if<UsageError>(&timeout))
        return *error;
    const auto size = optionValue(context.args, QStringLiteral("--size"),
                                  platform::option(&platform::Options::PacketSize), QStringLiteral("bytes"));
    if (const auto* error = std::get_if<UsageError>(&size))
        return *error;
    settings.timeoutMs = std::get<std::optional<int16_t>>(timeout).value_or(settings.timeoutMs);
    settings.packetSize = std::get<std::optional<int16_t>>(size).value_or(settings.packetSize);
    return settings;
}

// The exit status of a sweep that did not come to its end, or ExitDone for one that did.
int sweepOutcome(const Console& console, const sweep::SweepResult& result, const ConsoleSweep& observer) {
    switch (result.outcome) {
    case sweep::SweepOutcome::Refused:
        console.message(result.refusal);
        return ExitFailure;
    case sweep::SweepOutcome::Cancelled:
    case sweep::SweepOutcome::Ended:
        // Nothing of a stopped sweep is saved: it would count as a whole sweep of the range.
        if (observer.interrupted())
            return ExitInterrupted;
        console.message(QStringLiteral("sweep: cancelled; nothing saved"));
        return ExitFailure;
    case sweep::SweepOutcome::Done:
        break;
    }
    return ExitDone;
}

// --parallel and --interval; a sequential sweep unless --parallel is given.
std::variant<sweep::Pacing, UsageError> sweepPacing(const ParsedArguments& args) {
    sweep::Pacing pacing;
    pacing.parallel = args.has(QStringLiteral("--parallel"));
    if (!args.values.contains(QStringLiteral("--interval")))
        return pacing;
    if (!pacing.parallel)
        return UsageError{QStringLiteral("--interval paces a parallel sweep; give --parallel too")};
    const QString text = args.values.value(QStringLiteral("--interval"));
    const std::optional<int> value = wholeNumber(text, sweep::kIntervalLowestMs, sweep::kIntervalHighestMs);
    if (!value)
        return UsageError{QStringLiteral("--interval: '") + text +
                          QStringLiteral("' is not a whole number of milliseconds from ") +
                          QString::number(sweep::kIntervalLowestMs) + QStringLiteral(" to ") +
                          QString::number(sweep::kIntervalHighestMs)};
    pacing.intervalMs = *value;
    return pacing;
}

int saveSweep(CommandContext& context, const SweepRange& range, const std::vector<db::ResultRow>& rows,
              int64_t durationMs) {
    const QString rangeText =
        db::rangeTextForSweep(range.octet1, range.octet2, range.octet3, range.firstHost, range.lastHost);
    db::SavedRuns runs(context.services.paths, context.database, context.services.clock);
    if (runs.SaveRun(rangeText, rows, {db::SweptBy::CommandLine, durationMs}) ==
        db::SaveOutcome::NoRunNumberLeft) {
        context.console.message(
            QStringLiteral("sweep: the database already holds 32767 saved runs, the most it can hold; "
                           "delete a saved run, then save again"));
        return ExitFailure;
    }
    return ExitDone;
}

} // namespace

int runSweep(CommandContext& context) {
    const Console& console = context.console;
    const ParsedArguments& args = context.args;
    const auto taken = sweepRange(args.arguments.front());
    if (const auto* error = std::get_if<UsageError>(&taken))
        return usageError(console, error->message);
    const auto& range = std::get<SweepRange>(taken);
    const auto chosen = sweepSettings(context);
    if (const auto* error = std::get_if<UsageError>(&chosen))
        return usageError(console, error->message);
    const auto pacing = sweepPacing(args);
    if (const auto* error = std::get_if<UsageError>(&pacing))
        return usageError(console, error->message);
    if (args.has(QStringLiteral("--names")) && args.has(QStringLiteral("--no-names")))
        return usageError(console, QStringLiteral("--names and --no-names exclude each other"));
    const auto format = outputFormat(args, OutputFormat::Tsv);
    if (const auto* error = std::get_if<UsageError>(&format))
        return usageError(console, error->message);
    const bool save = args.has(QStringLiteral("--save"));

    // Taken before the sweep, so that a sweep is never made only to find that it cannot be saved.
    std::unique_ptr<platform::DatabaseLock> lock;
    if (save) {
        lock = lockDatabase(context);
        if (!lock)
            return ExitFailure;
    }

    sweep::SweepSession session(context.services.echo,
                                args.has(QStringLiteral("--no-names")) ? nullptr
                                                                       : &context.services.components,
                                sweep::SweepSession::Waiting::OnThisThread);
    RecordWriter rows(console.out, std::get<OutputFormat>(format), sweepFields());
    const ConsoleSweep observer(session, console, &rows);
    session.setRange(range);
    session.setSettings(std::get<sweep::SweepSettings>(chosen));
    session.setPacing(std::get<sweep::Pacing>(pacing));
    const sweep::SweepResult result = session.run();
    rows.finish();
    if (const int failure = sweepOutcome(console, result, observer); failure != ExitDone)
        return failure;
    return save ? saveSweep(context, range, schedule::resultRows(session.hosts()), session.lastDurationMs())
                : ExitDone;
}

} // namespace kestrion::cli
