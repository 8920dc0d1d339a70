#include "cli/RunDue.h"

#include "cli/CommandContext.h"
#include "cli/ConsoleSweep.h"
#include "cli/DataCommands.h"
#include "cli/HistoryCommands.h"
#include "db/SavedRuns.h"
#include "db/ScheduleStore.h"
#include "platform/DatabaseLock.h"
#include "platform/DateText.h"
#include "platform/OptionsStore.h"
#include "schedule/ScheduledRunDriver.h"
#include "sweep/SweepSession.h"

#include <QProcess>
#include <algorithm>
#include <chrono>
#include <sstream>
#include <thread>

namespace kestrion::cli {

CommandSpec runDueSpec() {
    return {
        QStringLiteral("run-due"),
        QStringLiteral("[--on-change COMMAND]"),
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
            "  systemctl --user enable --now kestrion-schedules.timer\n\n"
            "  --on-change COMMAND\n"
            "            after the schedules are carried out, run COMMAND (with /bin/sh -c) once for each\n"
            "            run whose new sweep changed from the one before it, with the changes on its\n"
            "            standard input as 'changes --format json' writes them. A command that fails is\n"
            "            named on standard error and gives status 4; the sweeps stay saved"),
        {{QStringLiteral("--on-change"), QStringLiteral("COMMAND")}},
        0,
        0};
}

namespace {

QString dueMinuteForm(const QDateTime& value) {
    return value.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

// A saved run's new sweep and what changed in it.
struct RunChanges {
    QString range;
    db::SweepChanges changes;
};

// The sweep of one due schedule, saved under its range. The schedule is used up either way, as in the
// window; only Ctrl-C (or a stop of the service) leaves it, unsaved, to expire. The changes its sweep
// brought are added to `changed`.
int carryOut(CommandContext& context, const db::StoredSchedule& due, std::vector<RunChanges>& changed) {
    const Console& console = context.console;
    const QString name = dueMinuteForm(due.scheddate) + QLatin1Char(' ') + due.schedip;
    const platform::Options stored = platform::readOptions(context.services.settings);

    sweep::SweepSession session(context.services.echo, &context.services.components,
                                sweep::SweepSession::Waiting::OnThisThread);
    // Ctrl-C ends a scheduled run as Exit ends the window's: nothing of it is saved.
    const ConsoleSweep observer(session, console, nullptr, sweep::StopRequest::Exit);
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
    if (outcome.changes && !outcome.changes->empty())
        changed.push_back({due.schedip, *outcome.changes});
    return ExitDone;
}

// Runs the --on-change command for one run's changes; false after naming its failure.
bool runOnChange(const CommandContext& context, const QString& command, const RunChanges& run) {
    std::ostringstream lines;
    RecordWriter records(lines, OutputFormat::Json, changeFields());
    writeChanges(records, run.range, run.changes);
    records.finish();

    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    const auto failed = [&](const QString& why) {
        context.console.message(QStringLiteral("run-due: the --on-change command for ") + run.range +
                                QStringLiteral(" ") + why + QStringLiteral("; the sweep is saved"));
        return false;
    };
    if (!process.waitForStarted())
        return failed(QStringLiteral("could not be started: ") + process.errorString());
    const std::string input = lines.str();
    process.write(input.data(), static_cast<qint64>(input.size()));
    process.closeWriteChannel();
    while (!process.waitForFinished(100)) {
        if (process.state() == QProcess::NotRunning)
            break;
        if (context.console.interrupted()) {
            process.kill();
            process.waitForFinished();
            return failed(QStringLiteral("was stopped by Ctrl-C"));
        }
    }
    if (process.exitStatus() == QProcess::CrashExit)
        return failed(QStringLiteral("ended by a signal"));
    if (process.exitCode() != 0)
        return failed(QStringLiteral("failed with exit status ") + QString::number(process.exitCode()));
    return true;
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

// The schedules due now, carried out under the database's lock; `changed` gets what their sweeps changed.
int carryOutDue(CommandContext& context, std::vector<RunChanges>& changed) {
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
        const int outcome = carryOut(context, stored.front(), changed);
        if (outcome == ExitInterrupted)
            return outcome;
        status = std::max(status, outcome);
        expirePastSchedules(context, started);
    }
    return status;
}

} // namespace

int runRunDue(CommandContext& context) {
    if (context.args.values.contains(QStringLiteral("--on-change")) &&
        context.args.values.value(QStringLiteral("--on-change")).trimmed().isEmpty()) {
        context.console.message(QStringLiteral("run-due: --on-change: give the command to run"));
        return ExitUsage;
    }
    std::vector<RunChanges> changed;
    int status = carryOutDue(context, changed);
    const QString command = context.args.values.value(QStringLiteral("--on-change"));
    if (command.isEmpty() || status == ExitInterrupted)
        return status;
    // Run once the lock is given back: the command may well ask kestrion-cli about the changes.
    for (const RunChanges& run : changed) {
        if (!runOnChange(context, command, run))
            status = std::max(status, static_cast<int>(ExitOnChangeFailed));
        if (context.console.interrupted())
            return ExitInterrupted;
    }
    return status;
}

} // namespace kestrion::cli
