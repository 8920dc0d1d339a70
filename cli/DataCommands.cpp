#include "cli/DataCommands.h"

#include "cli/CommandContext.h"
#include "cli/HistoryCommands.h"
#include "cli/Records.h"
#include "db/BlockUsage.h"
#include "db/Database.h"
#include "db/ReportTables.h"
#include "db/SavedRuns.h"
#include "db/ScheduleStore.h"
#include "platform/DatabaseLock.h"
#include "platform/DateText.h"
#include "report/ReportFile.h"
#include "report/ReportWriter.h"
#include "schedule/ScheduleMessages.h"

namespace kestrion::cli {

namespace {

QString minuteForm(const QDateTime& value) {
    return value.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

db::SavedRuns savedRuns(CommandContext& context) {
    return db::SavedRuns(context.services.paths, context.database, context.services.clock);
}

} // namespace

QString noSavedRunText(const QString& command, const QString& range) {
    return command + QStringLiteral(": no saved run has the range '") + range +
           QStringLiteral("' ('kestrion-cli runs' lists them)");
}

CommandSpec runsSpec() {
    return {QStringLiteral("runs"),
            QStringLiteral("[--format FORMAT]"),
            QStringLiteral("List the saved runs."),
            QStringLiteral(
                "One saved run a line: its range, a tab, when it was created (YYYY-MM-DD HH:MM:SS),\n"
                "a tab and the number of sweeps saved under it (fields: range, created, sweeps).\n\n") +
                formatHelp(OutputFormat::Tsv),
            {formatOption()},
            0,
            0};
}

int runRuns(CommandContext& context) {
    const auto format = outputFormat(context.args, OutputFormat::Tsv);
    if (const auto* error = std::get_if<UsageError>(&format)) {
        context.console.message(QStringLiteral("runs: ") + error->message);
        return ExitUsage;
    }
    db::SavedRuns runs = savedRuns(context);
    RecordWriter records(context.console.out, std::get<OutputFormat>(format),
                         {{QStringLiteral("range"), QStringLiteral("Range")},
                          {QStringLiteral("created"), QStringLiteral("Created")},
                          {QStringLiteral("sweeps"), QStringLiteral("Sweeps")}});
    for (const QString& range : runs.listRanges()) {
        if (const auto run = runs.find(range))
            records.write({run->runip, platform::toStoredDate(run->runcreatedate),
                           static_cast<int64_t>(run->numberofruns)});
    }
    records.finish();
    return ExitDone;
}

CommandSpec reportSpec() {
    return {
        QStringLiteral("report"),
        QStringLiteral("RANGE [-o FILE] | RANGE --silent-for DAYS [--format FORMAT]"),
        QStringLiteral("Write the Free IP Report of a saved run."),
        QStringLiteral("The report is the file the window's \"Print Report...\" writes, byte for byte, to\n"
                       "standard output or to FILE. RANGE is the saved run's range as 'runs' lists it.\n\n"
                       "  -o FILE   write the report to FILE ('-': standard output). A file is replaced\n"
                       "            whole (it keeps its mode); a device or a pipe is written to; a\n"
                       "            symbolic link or a folder is refused\n"
                       "  --silent-for DAYS\n"
                       "            instead of the report, list the addresses of the range silent in every\n"
                       "            logged sweep of the last DAYS days, with the evidence (fields: address,\n"
                       "            last_seen, silent_since, sweeps_since_answer, days_silent); last_seen\n"
                       "            is empty for one that never answered since the log began\n") +
            formatHelp(OutputFormat::Table) + QStringLiteral(" (with --silent-for)"),
        {{QStringLiteral("-o"), QStringLiteral("FILE")},
         {QStringLiteral("--silent-for"), QStringLiteral("DAYS")},
         formatOption()},
        1,
        1};
}

namespace {

// A file the report may not go to, named before anything is built or written; empty when it may.
QString refusedReportFile(const QString& file) {
    switch (report::namedFileKind(file)) {
    case report::NamedFileKind::Link:
        return QStringLiteral("report: '") + file +
               QStringLiteral("' is a symbolic link; give the file it names (nothing was written)");
    case report::NamedFileKind::Folder:
        return QStringLiteral("report: '") + file + QStringLiteral("' is a folder (nothing was written)");
    default:
        return {};
    }
}

} // namespace

int runReport(CommandContext& context) {
    const QString range = context.args.arguments.front();
    if (const auto error = savedRangeBoundsError(range)) {
        context.console.message(QStringLiteral("report: ") + error->message);
        return ExitUsage;
    }
    const bool silentFor = context.args.values.contains(QStringLiteral("--silent-for"));
    if (silentFor && context.args.values.contains(QStringLiteral("-o"))) {
        context.console.message(QStringLiteral("report: --silent-for writes its list to standard output; "
                                               "-o goes with the report"));
        return ExitUsage;
    }
    if (silentFor)
        return runSilentFor(context, range, context.args.values.value(QStringLiteral("--silent-for")));
    if (context.args.values.contains(QStringLiteral("--format"))) {
        context.console.message(QStringLiteral("report: --format goes with --silent-for; the report is "
                                               "written as the window writes it"));
        return ExitUsage;
    }
    const QString file = context.args.values.value(QStringLiteral("-o"), QStringLiteral("-"));
    const bool toStandardOutput = file == QStringLiteral("-");
    if (const QString refusal = toStandardOutput ? QString() : refusedReportFile(file); !refusal.isEmpty()) {
        context.console.message(refusal);
        return ExitFailure;
    }
    // Building the report rewrites the database's work tables, which the window's report reads too.
    const auto lock = lockDatabase(context);
    if (!lock)
        return ExitFailure;
    const std::optional<int16_t> runNo = savedRuns(context).FindRunNo(range);
    if (!runNo) {
        context.console.message(noSavedRunText(QStringLiteral("report"), range));
        return ExitFailure;
    }
    // A run without answers has no report; the work tables, which the window's report reads too,
    // are left as they are rather than emptied for nothing.
    const std::optional<db::RunUsage> usage =
        db::readRunUsage(context.services.paths, context.database, range);
    if (!usage || usage->addresses.empty()) {
        context.console.message(QStringLiteral("Data Not Found: ") + report::noDataFoundText());
        return ExitFailure;
    }
    db::BuildReportTables(context.services.paths, context.database, *runNo);
    const std::optional<QByteArray> content =
        report::ReadFreeIPReport(context.services.paths, context.database);
    if (!content) {
        context.console.message(QStringLiteral("Data Not Found: ") + report::noDataFoundText());
        return ExitFailure;
    }
    if (!toStandardOutput) {
        report::WriteNamedFile(file, *content);
        return ExitDone;
    }
    context.console.out.write(content->constData(), content->size());
    context.console.out.flush();
    if (!context.console.out) {
        context.console.message(QStringLiteral("report: standard output could not be written"));
        return ExitFailure;
    }
    return ExitDone;
}

CommandSpec schedulesSpec() {
    return {QStringLiteral("schedules"),
            QStringLiteral("[--format FORMAT]"),
            QStringLiteral("List the stored schedules."),
            QStringLiteral(
                "One schedule a line, earliest first: its date and time (YYYY-MM-DD HH:MM), a tab and\n"
                "the range of the saved run it sweeps (fields: when, range).\n\n") +
                formatHelp(OutputFormat::Tsv),
            {formatOption()},
            0,
            0};
}

int runSchedules(CommandContext& context) {
    const auto format = outputFormat(context.args, OutputFormat::Tsv);
    if (const auto* error = std::get_if<UsageError>(&format)) {
        context.console.message(QStringLiteral("schedules: ") + error->message);
        return ExitUsage;
    }
    db::ScheduleStore store(context.services.paths, context.database);
    RecordWriter records(context.console.out, std::get<OutputFormat>(format),
                         {{QStringLiteral("when"), QStringLiteral("When")},
                          {QStringLiteral("range"), QStringLiteral("Range")}});
    for (const db::StoredSchedule& schedule : store.list())
        records.write({minuteForm(schedule.scheddate), schedule.schedip});
    records.finish();
    return ExitDone;
}

CommandSpec scheduleAddSpec() {
    return {QStringLiteral("schedule add"),
            QStringLiteral("RANGE \"YYYY-MM-DD HH:MM\""),
            QStringLiteral("Schedule a sweep of a saved run."),
            QStringLiteral(
                "RANGE is a saved run's range as 'runs' lists it. At the given minute 'run-due' (or the\n"
                "window, while it is open) sweeps 1 to 254 of its block and saves the sweep under it.\n"
                "A minute already past, or one that already has a schedule, is refused."),
            {},
            2,
            2};
}

void expirePastSchedules(CommandContext& context, const std::optional<QDateTime>& before) {
    db::ScheduleStore store(context.services.paths, context.database);
    // Named before it goes, as the window's refresh does.
    for (const db::ReviewedSchedule& row :
         store.review(before.value_or(context.services.clock.now()), std::nullopt)) {
        if (!row.expired)
            continue;
        context.console.message(QStringLiteral("Schedule Expired: ") +
                                schedule::expiredScheduleText(row.schedule));
        store.removeExpired(row);
    }
}

namespace {

// What a schedule command holds while it changes the store: the minute it names and the window's lock.
struct ScheduleChange {
    std::optional<ExitCode> refused; // set when the command cannot go on
    QDateTime when;
    std::unique_ptr<platform::DatabaseLock> lock;
};

// A minute argument that is not one is a usage error, whether or not the lock could be had.
ScheduleChange beginScheduleChange(CommandContext& context, const QString& command, const QString& minute) {
    ScheduleChange change;
    const std::optional<QDateTime> when = scheduleTime(minute);
    if (!when) {
        context.console.message(command + QStringLiteral(": '") + minute +
                                QStringLiteral("' is not a date and time of the form \"YYYY-MM-DD HH:MM\""));
        change.refused = ExitUsage;
        return change;
    }
    change.when = *when;
    change.lock = lockDatabase(context);
    if (!change.lock)
        change.refused = ExitFailure;
    return change;
}

} // namespace

int runScheduleAdd(CommandContext& context) {
    const QString range = context.args.arguments[0];
    if (const auto error = savedRangeBoundsError(range)) {
        context.console.message(QStringLiteral("schedule add: ") + error->message);
        return ExitUsage;
    }
    const ScheduleChange change =
        beginScheduleChange(context, QStringLiteral("schedule add"), context.args.arguments[1]);
    if (change.refused)
        return *change.refused;
    if (!savedRuns(context).find(range)) {
        context.console.message(noSavedRunText(QStringLiteral("schedule add"), range));
        return ExitFailure;
    }
    if (db::isBeforeMinuteOf(change.when, context.services.clock.now())) {
        context.console.message(QStringLiteral("Schedule Expired: ") + schedule::pastNewScheduleText());
        return ExitFailure;
    }
    db::ScheduleStore store(context.services.paths, context.database);
    try {
        if (store.add(change.when, range) == db::AddOutcome::Duplicate) {
            context.console.message(QStringLiteral("Duplicate Schedule: ") +
                                    schedule::duplicateScheduleText());
            return ExitFailure;
        }
    } catch (const db::DbError& error) {
        context.console.message(QStringLiteral("Error: ") +
                                schedule::addScheduleErrorText(error.number(), error.text()));
        return ExitFailure;
    }
    expirePastSchedules(context);
    return ExitDone;
}

CommandSpec scheduleDeleteSpec() {
    return {QStringLiteral("schedule delete"),
            QStringLiteral("\"YYYY-MM-DD HH:MM\""),
            QStringLiteral("Delete the schedule of a minute."),
            QStringLiteral("Deletes the stored schedule of that minute, as 'schedules' lists it."),
            {},
            1,
            1};
}

int runScheduleDelete(CommandContext& context) {
    const ScheduleChange change =
        beginScheduleChange(context, QStringLiteral("schedule delete"), context.args.arguments[0]);
    if (change.refused)
        return *change.refused;
    db::ScheduleStore store(context.services.paths, context.database);
    bool deleted = false;
    for (const db::StoredSchedule& schedule : store.list()) {
        // Schedules are found by their line, as the window's list finds them.
        if (platform::toWholeMinute(schedule.scheddate) == change.when)
            deleted = store.deleteByLine(db::scheduleLine(schedule.scheddate, schedule.schedip)) || deleted;
    }
    if (!deleted) {
        context.console.message(QStringLiteral("schedule delete: no schedule is stored for ") +
                                minuteForm(change.when));
        return ExitFailure;
    }
    expirePastSchedules(context);
    return ExitDone;
}

} // namespace kestrion::cli
