#include "cli/HistoryCommands.h"

#include "cli/CommandContext.h"
#include "db/AddressHistory.h"
#include "db/BlockUsage.h"
#include "db/SavedRuns.h"
#include "platform/Clock.h"
#include "platform/DateText.h"
#include "schedule/ChangeTexts.h"

#include <QRegularExpression>
#include <algorithm>
#include <array>

namespace kestrion::cli {

namespace {

// The log of the run a command names; nullopt after saying why there is none.
std::optional<db::SweepLog> runLog(CommandContext& context, const QString& command, const QString& range,
                                   int* status) {
    if (const auto error = savedRangeBoundsError(range)) {
        context.console.message(command + QStringLiteral(": ") + error->message);
        *status = ExitUsage;
        return std::nullopt;
    }
    std::optional<db::SweepLog> log =
        db::SavedRuns(context.services.paths, context.database, context.services.clock).sweepLog(range);
    if (!log) {
        context.console.message(noSavedRunText(command, range));
        *status = ExitFailure;
    }
    return log;
}

std::optional<OutputFormat> chosenFormat(CommandContext& context, const QString& command,
                                         OutputFormat fallback) {
    const auto format = outputFormat(context.args, fallback);
    if (const auto* error = std::get_if<UsageError>(&format)) {
        context.console.message(command + QStringLiteral(": ") + error->message);
        return std::nullopt;
    }
    return std::get<OutputFormat>(format);
}

Value text(const QString& value) {
    return value.isNull() ? Value(Null{}) : Value(value);
}

Value number(const std::optional<uint32_t>& value) {
    return value ? Value(static_cast<int64_t>(*value)) : Value(Null{});
}

// Dotted decimal, four numbers 0-255, as the sweep writes addresses.
bool isAddress(const QString& address) {
    static const QRegularExpression form(QStringLiteral("^\\d{1,3}(\\.\\d{1,3}){3}$"));
    if (!form.match(address).hasMatch())
        return false;
    const QStringList parts = address.split(QLatin1Char('.'));
    return std::all_of(parts.begin(), parts.end(), [](const QString& part) { return part.toInt() <= 255; });
}

// Every address the history lists without an ADDRESS: the block's in address order, then the others,
// each that answered at least once.
QStringList answeringAddresses(const db::SweepLog& log) {
    std::array<bool, 256> inBlock{};
    QStringList others;
    for (const db::LoggedSweep& sweep : log.sweeps) {
        for (size_t octet = 0; octet < 256; ++octet)
            inBlock[octet] = inBlock[octet] || sweep.answers[octet] != db::kSilent;
        for (const auto& other : sweep.others) {
            if (!others.contains(other.first))
                others << other.first;
        }
    }
    QStringList addresses;
    for (size_t octet = 0; octet < 256; ++octet) {
        if (inBlock[octet])
            addresses << log.block + QLatin1Char('.') + QString::number(octet);
    }
    return addresses + others;
}

// "YYYY-MM-DD" (its start) or "YYYY-MM-DD HH:MM" as a stored date text; null when it is neither.
QString sinceDate(const QString& given) {
    QDateTime when = QDateTime::fromString(given, QStringLiteral("yyyy-MM-dd HH:mm"));
    if (!when.isValid()) {
        const QDate day = QDate::fromString(given, QStringLiteral("yyyy-MM-dd"));
        if (day.isValid())
            when = day.startOfDay();
    }
    return when.isValid() ? platform::toStoredDate(when) : QString();
}

} // namespace

CommandSpec historySpec() {
    return {QStringLiteral("history"),
            QStringLiteral("RANGE [ADDRESS] [--format FORMAT]"),
            QStringLiteral("Show each address's history in the saved sweeps of a run."),
            QStringLiteral(
                "RANGE is a saved run's range as 'runs' lists it. Without ADDRESS: each address that\n"
                "answered in a logged sweep of the run, with first and last seen, the sweeps it answered\n"
                "in, silent since (the first sweep after its last answer), the sweeps since its last\n"
                "answer and its last and median round-trip time (fields: address, answered, logged,\n"
                "not_logged, first_seen, last_seen, silent_since, sweeps_since_answer, last_time_ms,\n"
                "median_time_ms). With ADDRESS: each logged sweep of the run as that address saw it\n"
                "(fields: address, date, answered, time_ms). Dates are local, YYYY-MM-DD HH:MM:SS.\n"
                "Sweeps saved before the log was kept and that found nobody are counted as not logged.\n\n") +
                formatHelp(OutputFormat::Table),
            {formatOption()},
            1,
            2};
}

int runHistory(CommandContext& context) {
    const QString command = QStringLiteral("history");
    const std::optional<OutputFormat> format = chosenFormat(context, command, OutputFormat::Table);
    if (!format)
        return ExitUsage;
    const QString address = context.args.arguments.value(1);
    if (context.args.arguments.size() > 1 && !isAddress(address)) {
        context.console.message(command + QStringLiteral(": '") + address +
                                QStringLiteral("' is not an address of the form A.B.C.D"));
        return ExitUsage;
    }
    int status = ExitDone;
    const std::optional<db::SweepLog> log = runLog(context, command, context.args.arguments.front(), &status);
    if (!log)
        return status;

    if (context.args.arguments.size() > 1) {
        const db::AddressHistory history = db::addressHistory(*log, address);
        if (*format == OutputFormat::Table) {
            QString summary = address + QStringLiteral(": answered in ") +
                              QString::number(history.answeredIn) + QStringLiteral(" of ") +
                              QString::number(history.logged) + QStringLiteral(" logged sweeps");
            if (history.notLogged > 0)
                summary += QStringLiteral(" (") + QString::number(history.notLogged) +
                           QStringLiteral(" earlier sweeps not logged)");
            context.console.out << summary.toUtf8().constData() << '\n';
            if (!history.firstSeen.isNull())
                context.console.out << "first seen " << history.firstSeen.toStdString() << ", last seen "
                                    << history.lastSeen.toStdString() << '\n';
            if (!history.silentSince.isNull())
                context.console.out << "silent since " << history.silentSince.toStdString() << " ("
                                    << history.sweepsSinceLastAnswer << " sweeps)\n";
        }
        RecordWriter records(context.console.out, *format,
                             {{QStringLiteral("address"), QStringLiteral("Address")},
                              {QStringLiteral("date"), QStringLiteral("Sweep")},
                              {QStringLiteral("answered"), QStringLiteral("Answered")},
                              {QStringLiteral("time_ms"), QStringLiteral("Time (ms)")}});
        for (const db::HistoryEntry& entry : history.sweeps)
            records.write({address, entry.date, entry.answered, number(entry.roundTripTime)});
        records.finish();
        return ExitDone;
    }

    RecordWriter records(context.console.out, *format,
                         {{QStringLiteral("address"), QStringLiteral("Address")},
                          {QStringLiteral("answered"), QStringLiteral("Answered")},
                          {QStringLiteral("logged"), QStringLiteral("Of")},
                          {QStringLiteral("not_logged"), QStringLiteral("Not logged")},
                          {QStringLiteral("first_seen"), QStringLiteral("First seen")},
                          {QStringLiteral("last_seen"), QStringLiteral("Last seen")},
                          {QStringLiteral("silent_since"), QStringLiteral("Silent since")},
                          {QStringLiteral("sweeps_since_answer"), QStringLiteral("Sweeps since")},
                          {QStringLiteral("last_time_ms"), QStringLiteral("Last (ms)")},
                          {QStringLiteral("median_time_ms"), QStringLiteral("Median (ms)")}});
    for (const QString& each : answeringAddresses(*log)) {
        const db::AddressHistory h = db::addressHistory(*log, each);
        records.write({each, static_cast<int64_t>(h.answeredIn), static_cast<int64_t>(h.logged),
                       static_cast<int64_t>(h.notLogged), text(h.firstSeen), text(h.lastSeen),
                       text(h.silentSince), static_cast<int64_t>(h.sweepsSinceLastAnswer), number(h.lastTime),
                       number(h.medianTime)});
    }
    records.finish();
    return ExitDone;
}

QList<Field> changeFields() {
    return {{QStringLiteral("range"), QStringLiteral("Range")},
            {QStringLiteral("change"), QStringLiteral("Change")},
            {QStringLiteral("address"), QStringLiteral("Address")},
            {QStringLiteral("time_ms"), QStringLiteral("Time (ms)")},
            {QStringLiteral("earlier"), QStringLiteral("Earlier sweep")},
            {QStringLiteral("later"), QStringLiteral("Later sweep")}};
}

void writeChanges(RecordWriter& records, const QString& range, const db::SweepChanges& changes) {
    for (const db::AddressChange& change : changes.changes)
        records.write({range, db::changeKindKey(change.kind), change.address, number(change.roundTripTime),
                       changes.earlierDate, changes.laterDate});
}

CommandSpec changesSpec() {
    return {QStringLiteral("changes"),
            QStringLiteral("RANGE [--since DATE] [--format FORMAT]"),
            QStringLiteral("Show what changed between the saved sweeps of a run."),
            QStringLiteral(
                "RANGE is a saved run's range as 'runs' lists it. Compares the latest logged sweep of the\n"
                "run with the one before it: new (answered, never before), back (answered again after at\n"
                "least one silent sweep), gone (answered in the earlier sweep, silent in the later). One\n"
                "change a line, block addresses in address order (fields: range, change, address,\n"
                "time_ms, earlier, later; time_ms is the later sweep's time, for gone the earlier's).\n\n"
                "  --since DATE    compare with the latest sweep at or before DATE (local time,\n"
                "                  \"YYYY-MM-DD HH:MM\" or YYYY-MM-DD for the start of that day)\n") +
                formatHelp(OutputFormat::Table),
            {{QStringLiteral("--since"), QStringLiteral("DATE")}, formatOption()},
            1,
            1};
}

int runChanges(CommandContext& context) {
    const QString command = QStringLiteral("changes");
    const std::optional<OutputFormat> format = chosenFormat(context, command, OutputFormat::Table);
    if (!format)
        return ExitUsage;
    QString since;
    if (context.args.values.contains(QStringLiteral("--since"))) {
        const QString given = context.args.values.value(QStringLiteral("--since"));
        since = sinceDate(given);
        if (since.isNull()) {
            context.console.message(command + QStringLiteral(": --since: '") + given +
                                    QStringLiteral("' is not a date of the form YYYY-MM-DD or "
                                                   "\"YYYY-MM-DD HH:MM\""));
            return ExitUsage;
        }
    }
    const QString range = context.args.arguments.front();
    int status = ExitDone;
    const std::optional<db::SweepLog> log = runLog(context, command, range, &status);
    if (!log)
        return status;
    const std::optional<db::SweepChanges> changes = db::latestChanges(*log, since);
    if (!changes) {
        context.console.message(since.isNull() ? command + QStringLiteral(": '") + range +
                                                     QStringLiteral("' has fewer than two logged sweeps")
                                               : command + QStringLiteral(": no logged sweep of '") + range +
                                                     QStringLiteral("' was made at or before ") + since +
                                                     QStringLiteral(" and before its latest one"));
        return ExitFailure;
    }
    if (*format == OutputFormat::Table) {
        const QString heading = changes->empty()
                                    ? QStringLiteral("No changes from ") + changes->earlierDate +
                                          QStringLiteral(" to ") + changes->laterDate
                                    : QStringLiteral("From ") + changes->earlierDate +
                                          QStringLiteral(" to ") + changes->laterDate + QStringLiteral(": ") +
                                          schedule::changeCounts(*changes);
        context.console.out << heading.toUtf8().constData() << '\n';
    }
    RecordWriter records(context.console.out, *format, changeFields());
    writeChanges(records, range, *changes);
    records.finish();
    return ExitDone;
}

int runSilentFor(CommandContext& context, const QString& range, const QString& daysText) {
    const QString command = QStringLiteral("report");
    const std::optional<int> days = wholeNumber(daysText, 1, 36500);
    if (!days) {
        context.console.message(command + QStringLiteral(": --silent-for: '") + daysText +
                                QStringLiteral("' is not a whole number of days from 1 to 36500"));
        return ExitUsage;
    }
    const std::optional<OutputFormat> format = chosenFormat(context, command, OutputFormat::Table);
    if (!format)
        return ExitUsage;
    int status = ExitDone;
    const std::optional<db::SweepLog> log = runLog(context, command, range, &status);
    if (!log)
        return status;

    const QDateTime now = context.services.clock.now();
    const QString cutoff = platform::toStoredDate(now.addDays(-*days));
    RecordWriter records(context.console.out, *format,
                         {{QStringLiteral("address"), QStringLiteral("Address")},
                          {QStringLiteral("last_seen"), QStringLiteral("Last seen")},
                          {QStringLiteral("silent_since"), QStringLiteral("Silent since")},
                          {QStringLiteral("sweeps_since_answer"), QStringLiteral("Sweeps since")},
                          {QStringLiteral("days_silent"), QStringLiteral("Days")}});
    const auto [first, last] = db::hostsOfRange(range);
    for (int host = first; host <= last && !log->sweeps.empty(); ++host) {
        const QString address = log->block + QLatin1Char('.') + QString::number(host);
        const db::AddressHistory h = db::addressHistory(*log, address);
        if (h.sweepsSinceLastAnswer == 0)
            continue;
        // Silent at every logged sweep from this one on; one that never answered since the log began.
        const QString silentSince = h.lastSeen.isNull() ? log->sweeps.front().date : h.silentSince;
        if (silentSince > cutoff)
            continue;
        const qint64 silentDays = platform::fromStoredDate(silentSince).secsTo(now) / 86400;
        records.write({address, text(h.lastSeen), silentSince, static_cast<int64_t>(h.sweepsSinceLastAnswer),
                       static_cast<int64_t>(silentDays)});
    }
    records.finish();
    return ExitDone;
}

} // namespace kestrion::cli
