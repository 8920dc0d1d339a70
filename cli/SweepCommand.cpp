#include "cli/SweepCommand.h"

#include "cli/CommandContext.h"
#include "cli/ConsoleSweep.h"
#include "db/SavedRuns.h"
#include "platform/InstanceLock.h"
#include "platform/Settings.h"
#include "sweep/SweepEngine.h"

#include <limits>

namespace kestrion::cli {

CommandSpec sweepSpec() {
    return {QStringLiteral("sweep"),
            QStringLiteral("RANGE [--timeout MS] [--size BYTES] [--save] [--names|--no-names]"),
            QStringLiteral("Ping every address of a range, one after the other."),
            QStringLiteral(
                "The window's sweep: one echo request to each address of RANGE (e.g. 192.168.1.1-254) in\n"
                "ascending order. Each answering address is one line: address, tab, host name, tab,\n"
                "round-trip time in ms. A router's \"unreachable\" or a reply from another address gives no\n"
                "line; without a terminal to ask, the sweep goes on. Ctrl-C stops it before the next\n"
                "address and saves nothing (status 130).\n\n"
                "  --timeout MS    wait for each reply (1-32767 ms; default: the stored Timeout)\n"
                "  --size BYTES    data bytes per request (0-32767; default: the stored PacketSize)\n"
                "  --save          save the sweep as the window's Save button does\n"
                "  --names         look up host names (the default)\n"
                "  --no-names      leave host names out (\"Not available\")"),
            {{QStringLiteral("--timeout"), QStringLiteral("MS")},
             {QStringLiteral("--size"), QStringLiteral("BYTES")},
             {QStringLiteral("--save"), QString()},
             {QStringLiteral("--names"), QString()},
             {QStringLiteral("--no-names"), QString()}},
            1,
            1};
}

namespace {

int usageError(const Console& console, const QString& text) {
    console.message(QStringLiteral("sweep: ") + text);
    return ExitUsage;
}

} // namespace

int runSweep(CommandContext& context) {
    const Console& console = context.console;
    const ParsedArguments& args = context.args;
    const auto taken = sweepRange(args.arguments.front());
    if (const auto* error = std::get_if<UsageError>(&taken))
        return usageError(console, error->message);
    const auto& range = std::get<SweepRange>(taken);

    const platform::StoredOptions stored = platform::readStoredOptions(context.services.settings);
    sweep::SweepSettings settings{stored.Timeout, stored.PacketSize};
    constexpr int kMost = std::numeric_limits<int16_t>::max();
    if (args.values.contains(QStringLiteral("--timeout"))) {
        const QString text = args.values.value(QStringLiteral("--timeout"));
        const std::optional<int> value = wholeNumber(text, 1, kMost);
        if (!value)
            return usageError(console,
                              QStringLiteral("--timeout: '") + text +
                                  QStringLiteral("' is not a whole number of milliseconds from 1 to 32767"));
        settings.timeoutMs = static_cast<int16_t>(*value);
    }
    if (args.values.contains(QStringLiteral("--size"))) {
        const QString text = args.values.value(QStringLiteral("--size"));
        const std::optional<int> value = wholeNumber(text, 0, kMost);
        if (!value)
            return usageError(console,
                              QStringLiteral("--size: '") + text +
                                  QStringLiteral("' is not a whole number of bytes from 0 to 32767"));
        settings.packetSize = static_cast<int16_t>(*value);
    }
    if (args.has(QStringLiteral("--names")) && args.has(QStringLiteral("--no-names")))
        return usageError(console, QStringLiteral("--names and --no-names exclude each other"));
    const bool save = args.has(QStringLiteral("--save"));

    // Taken before the sweep, so that a sweep is never made only to find that it cannot be saved.
    std::unique_ptr<platform::InstanceLock> lock;
    if (save) {
        lock = takeInstanceLock(context.services);
        if (!lock) {
            console.message(lockHeldText());
            return ExitFailure;
        }
    }

    sweep::SweepEngine engine(context.services.echo, args.has(QStringLiteral("--no-names"))
                                                         ? nullptr
                                                         : &context.services.components);
    ConsoleSweep observer(console, true);
    const sweep::SweepResult result = engine.run(
        {range.octet1, range.octet2, range.octet3, range.firstHost, range.lastHost}, settings, observer);
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
    if (!save)
        return ExitDone;
    const QString rangeText =
        db::rangeTextForSweep(range.octet1, range.octet2, range.octet3, range.firstHost, range.lastHost);
    db::SavedRuns runs(context.services.paths, context.state, context.boxes, context.services.clock);
    if (runs.SaveRun(rangeText, observer.rows()) == db::SaveOutcome::NoRunNumberLeft) {
        console.message(
            QStringLiteral("sweep: the database already holds 32767 saved runs, the most it can hold; "
                           "delete a saved run, then save again"));
        return ExitFailure;
    }
    return ExitDone;
}

} // namespace kestrion::cli
