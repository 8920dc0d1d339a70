#include "cli/RunDue.h"

#include "cli/CommandContext.h"
#include "cli/ConsoleSweep.h"
#include "cli/DataCommands.h"
#include "db/SavedRuns.h"
#include "db/ScheduleStore.h"
#include "platform/DatabaseLock.h"
#include "platform/Settings.h"
#include "schedule/ScheduleTimer.h"
#include "sweep/SweepEngine.h"

namespace kestrion::cli {

CommandSpec runDueSpec() {
    return {
        QStringLiteral("run-due"),
        QString(),
        QStringLiteral("Carry out the schedules due this minute."),
        QStringLiteral(
            "What the window's schedule timer does while it is open: a schedule whose minute is now is\n"
            "swept (1 to 254 of its block, the stored Timeout and PacketSize, no questions), saved under\n"
            "its range and deleted; schedules whose minute has passed are deleted and named on standard\n"
            "error. While the window runs it carries schedules out itself, and this does nothing.\n"

            "The systemd user timer kestrion-schedules.timer runs this once a minute:\n"
            "  systemctl --user enable --now kestrion-schedules.timer"),
        {},
        0,
        0};
}

namespace {

QString minuteForm(const QDateTime& value) {
    return value.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

// The sweep of one due schedule, saved under its range. The schedule is used up either way, as in the
// window; only Ctrl-C (or a stop of the service) leaves it, unsaved, to expire.
int carryOut(CommandContext& context, const db::StoredSchedule& due) {
    const Console& console = context.console;
    const QString name = minuteForm(due.scheddate) + QLatin1Char(' ') + due.schedip;
    db::ScheduleStore store(context.services.paths, context.database);
    auto useUp = [&] { store.deleteByLine(db::scheduleLine(due.scheddate, due.schedip)); };

    // The window fills the boxes with the range's block and 1 to 254. Saved ranges are always written
    // by the Save button in this form; anything else cannot be swept.
    const QStringList fields = due.schedip.split(QLatin1Char('.'));
    const auto taken = sweepRange(fields.mid(0, 3).join(QLatin1Char('.')) + QStringLiteral(".1-254"));
    if (const auto* error = std::get_if<UsageError>(&taken)) {
        useUp();
        console.message(QStringLiteral("Scheduled run failed: ") + name + QStringLiteral(": ") +
                        error->message);
        return ExitFailure;
    }
    const auto& range = std::get<SweepRange>(taken);
    const platform::StoredOptions stored = platform::readStoredOptions(context.services.settings);

    sweep::SweepEngine engine(context.services.echo, &context.services.components);
    // Whoever started it, a scheduled run asks nobody, as in the window.
    ConsoleSweep observer(console, false, ConsoleSweep::Questions::NeverAsk);
    const sweep::SweepResult result =
        engine.run({range.octet1, range.octet2, range.octet3, range.firstHost, range.lastHost},
                   {stored.Timeout, stored.PacketSize}, observer);
    if (result.outcome == sweep::SweepOutcome::Refused) {
        // Saving would count a sweep that never happened.
        useUp();
        console.message(QStringLiteral("Scheduled run failed: ") + name + QStringLiteral(": ") +
                        result.refusal);
        return ExitFailure;
    }
    if (result.outcome != sweep::SweepOutcome::Done)
        return ExitInterrupted;

    db::SavedRuns runs(context.services.paths, context.database, context.boxes, context.services.clock);
    runs.SaveRun(due.schedip, observer.rows());
    useUp();
    console.out << "Scheduled run complete: " << name.toStdString() << ", " << observer.rows().size()
                << " addresses answered\n";
    console.out.flush();
    return ExitDone;
}

} // namespace

int runRunDue(CommandContext& context) {
    const platform::DatabaseLock lock(context.services.paths.database(), platform::LockHolder::Command);
    if (lock.outcome() == platform::DatabaseLock::Outcome::NoLockFile) {
        context.console.message(QStringLiteral("run-due: ") + noLockText(lock.detail()) +
                                QStringLiteral("; the schedules stay stored"));
        return ExitFailure;
    }
    // The window carries schedules out while it runs; another run-due at work has taken this minute.
    if (!lock.acquired())
        return ExitDone;

    db::ScheduleStore store(context.services.paths, context.database);
    int status = ExitDone;
    // As at the window's start: schedules that passed unseen expire first.
    expirePastSchedules(context);
    std::optional<QDateTime> last;
    for (;;) {
        const std::vector<db::StoredSchedule> stored = store.list();
        if (stored.empty() || !schedule::isDue(stored.front().scheddate, context.services.clock.now()))
            break;
        // Each run deletes its schedule; one that is still there could not be deleted.
        if (last == stored.front().scheddate)
            return ExitFailure;
        last = stored.front().scheddate;
        const int outcome = carryOut(context, stored.front());
        if (outcome == ExitInterrupted)
            return outcome;
        status = std::max(status, outcome);
        expirePastSchedules(context);
    }
    return status;
}

} // namespace kestrion::cli
