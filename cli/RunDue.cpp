#include "cli/RunDue.h"

#include "cli/CommandContext.h"
#include "cli/ConsoleSweep.h"
#include "cli/DataCommands.h"
#include "db/SavedRuns.h"
#include "db/ScheduleStore.h"
#include "platform/DatabaseLock.h"
#include "platform/DateText.h"
#include "platform/OptionsStore.h"
#include "schedule/ScheduledRunDriver.h"
#include "sweep/SweepSession.h"

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
            "swept (1 to 254 of its block, the stored Timeout and PacketSize, no questions; paced and many\n"
            "at once where the stored ParallelSweep is True), saved under its range and deleted; schedules\n"
            "whose minute has passed are deleted and named on standard\n"
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
    const platform::Options stored = platform::readOptions(context.services.settings);

    sweep::SweepSession session(context.services.echo, &context.services.components,
                                sweep::SweepSession::Waiting::OnThisThread);
    // Ctrl-C ends a scheduled run as Exit ends the window's: nothing of it is saved.
    const ConsoleSweep observer(session, console, false, sweep::StopRequest::Exit);
    db::SavedRuns runs(context.services.paths, context.database, context.services.clock);
    db::ScheduleStore store(context.services.paths, context.database);
    schedule::ScheduledRunDriver driver(session, runs, store);
    const schedule::ScheduledRunOutcome outcome =
        driver.carryOut({due.scheddate, due.schedip}, {stored.Timeout, stored.PacketSize},
                        sweep::Pacing{stored.ParallelSweep});

    using Kind = schedule::ScheduledRunOutcome::Kind;
    switch (outcome.kind) {
    case Kind::Abandoned:
        return ExitInterrupted;
    case Kind::NotSwept:
        console.message(QStringLiteral("Scheduled run failed: ") + name + QStringLiteral(": ") +
                        outcome.failure);
        return ExitFailure;
    case Kind::Completed:
        break;
    }
    if (outcome.save == db::SaveOutcome::NoRunNumberLeft) {
        console.message(QStringLiteral("Scheduled run failed: ") + name +
                        QStringLiteral(": the database already holds 32767 saved runs, the most it can "
                                       "hold; the sweep was not saved"));
        return ExitFailure;
    }
    console.out << "Scheduled run complete: " << name.toStdString() << ", " << outcome.answered
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
