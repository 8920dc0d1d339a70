#include "cli/RunDue.h"

#include "cli/CommandContext.h"
#include "cli/ConsoleSweep.h"
#include "cli/DataCommands.h"
#include "db/SavedRuns.h"
#include "db/ScheduleStore.h"
#include "platform/DatabaseLock.h"
#include "platform/DateText.h"
#include "platform/Settings.h"
#include "sweep/SweepEngine.h"

#include <algorithm>
#include <chrono>
#include <thread>

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
            "While another kestrion-cli command writes the database, this waits for it to end (up to\n"
            "an hour), then carries out the schedules that fell due since it started.\n"
            "The systemd user timer kestrion-schedules.timer runs this once a minute:\n"
            "  systemctl --user enable --now kestrion-schedules.timer"),
        {},
        0,
        0};
}

namespace {

QString dueMinuteForm(const QDateTime& value) {
    return value.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

// The sweep of one due schedule, saved under its range. The schedule is used up either way, as in the
// window; only Ctrl-C (or a stop of the service) leaves it, unsaved, to expire.
int carryOut(CommandContext& context, const db::StoredSchedule& due) {
    const Console& console = context.console;
    const QString name = dueMinuteForm(due.scheddate) + QLatin1Char(' ') + due.schedip;
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

// Waits while another command holds the database's lock: a schedule falling due meanwhile is carried
// out once it ends, as the window does after the user's own sweep. The window's lock is not waited
// for: the window carries out the schedules itself.
void waitForCommands(const CommandContext& context, platform::DatabaseLock& lock) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + context.services.lockWait;
    while (lock.outcome() == platform::DatabaseLock::Outcome::HeldByAnother &&
           lock.holder() != platform::LockHolder::Window && !context.console.interrupted()) {
        const Clock::duration left = deadline - Clock::now();
        if (left <= Clock::duration::zero())
            return;
        std::this_thread::sleep_for(std::min<Clock::duration>(left, std::chrono::milliseconds(100)));
        lock.retry();
    }
}

} // namespace

int runRunDue(CommandContext& context) {
    const Console& console = context.console;
    const QDateTime started = platform::toWholeMinute(context.services.clock.now());
    platform::DatabaseLock lock(context.services.paths.database(), platform::LockHolder::Command);
    waitForCommands(context, lock);
    if (lock.outcome() == platform::DatabaseLock::Outcome::NoLockFile) {
        console.message(QStringLiteral("run-due: ") + noLockText(lock.detail()) +
                        QStringLiteral("; the schedules stay stored"));
        return ExitFailure;
    }
    if (lock.outcome() == platform::DatabaseLock::Outcome::HeldByAnother) {
        if (lock.holder() == platform::LockHolder::Window)
            return ExitDone;
        if (console.interrupted())
            return ExitInterrupted;
        console.message(QStringLiteral("run-due: another kestrion-cli held the database's lock for longer "
                                       "than run-due waits; the schedules stay stored"));
        return ExitFailure;
    }

    db::ScheduleStore store(context.services.paths, context.database);
    int status = ExitDone;
    // As at the window's start: schedules that passed unseen expire first; those that fell due while
    // this waited are carried out.
    expirePastSchedules(context, started);
    std::optional<QDateTime> last;
    for (;;) {
        const std::vector<db::StoredSchedule> stored = store.list();
        if (stored.empty() || db::isBeforeMinuteOf(context.services.clock.now(), stored.front().scheddate))
            break;
        // Each run deletes its schedule; one that is still there could not be deleted.
        if (last == stored.front().scheddate)
            return ExitFailure;
        last = stored.front().scheddate;
        const int outcome = carryOut(context, stored.front());
        if (outcome == ExitInterrupted)
            return outcome;
        status = std::max(status, outcome);
        expirePastSchedules(context, started);
    }
    return status;
}

} // namespace kestrion::cli
