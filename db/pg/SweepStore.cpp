#include "db/pg/SweepStore.h"

#include "platform/DateText.h"

#include <QStringList>
#include <algorithm>
#include <array>

namespace kestrion::db::pg {

namespace {

constexpr int kLastRunNo = 32767;

// Run creation's transaction-level advisory lock (a fixed key of Kestrion's own). The lowest free
// run number cannot come from a sequence, so two agents creating runs at once would both compute
// the same one; under this lock they take turns, and only for creating a run: saving into an
// existing run waits for nothing but the row lock of its count. COMMIT, ROLLBACK or a vanished
// client releases it.
constexpr const char* kTakeRunCreationLock = "SELECT pg_advisory_xact_lock(7216349002)";

// The sweep log's encoding, the one of the SQLite file's log: 256 little-endian 16-bit times by
// the fourth octet (0xFFFF silent), and answers from outside the block as "address time" lines.
struct LogEntry {
    std::array<uint16_t, 256> answers{};
    QStringList others;
    QStringList otherAddresses;
    int answered = 0;
};

LogEntry logEntry(const QString& block, const std::vector<ResultRow>& rows) {
    LogEntry entry;
    entry.answers.fill(kSilent);
    for (const ResultRow& row : rows) {
        const auto time = static_cast<uint16_t>(std::min<uint32_t>(row.roundTripTime, kLongestTime));
        // An address that answered twice in one sweep keeps its first time.
        if (const std::optional<int> octet = octetInBlock(block, row.address)) {
            uint16_t& slot = entry.answers.at(static_cast<size_t>(*octet));
            if (slot == kSilent) {
                slot = time;
                ++entry.answered;
            }
        } else if (!entry.otherAddresses.contains(row.address)) {
            entry.otherAddresses.append(row.address);
            entry.others.append(row.address + QLatin1Char(' ') + QString::number(time));
            ++entry.answered;
        }
    }
    return entry;
}

QByteArray encodedAnswers(const std::array<uint16_t, 256>& answers) {
    QByteArray bytes;
    bytes.reserve(2 * static_cast<qsizetype>(answers.size()));
    for (const uint16_t answer : answers) {
        bytes.append(static_cast<char>(answer & 0xFF));
        bytes.append(static_cast<char>(answer >> 8));
    }
    return bytes;
}

// A text[] parameter in the array's input syntax: every element quoted, its quotes and backslashes
// escaped, so any text arrives as it is.
Param textArray(const QStringList& values) {
    QString literal = QStringLiteral("{");
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (i > 0)
            literal += QLatin1Char(',');
        QString element = values.at(i);
        element.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
            .replace(QLatin1Char('"'), QStringLiteral("\\\""));
        literal += QLatin1Char('"') + element + QLatin1Char('"');
    }
    return Param::text(literal + QLatin1Char('}'));
}

std::optional<int64_t> findRun(Connection& connection, const QString& rangeText) {
    const Result run =
        connection.exec("SELECT RunNo FROM tblSavedRuns WHERE runip = $1", {Param::text(rangeText)});
    if (run.rows() == 0)
        return std::nullopt;
    return run.intAt(0, 0);
}

// The range's run, made with the lowest free number when there is none; nullopt when all are taken.
std::optional<int64_t> findOrCreateRun(Connection& connection, const QString& rangeText,
                                       const QDateTime& now) {
    if (const auto existing = findRun(connection, rangeText))
        return existing;
    connection.exec(kTakeRunCreationLock);
    // Read again under the lock: an agent that held it may just have made this very run.
    if (const auto madeMeanwhile = findRun(connection, rangeText))
        return madeMeanwhile;
    const Result lowestFree =
        connection.exec("SELECT CASE WHEN NOT EXISTS (SELECT 1 FROM tblSavedRuns WHERE RunNo = 1) "
                        "THEN 1 ELSE (SELECT min(a.RunNo) + 1 FROM tblSavedRuns a "
                        "WHERE a.RunNo < $1 AND NOT EXISTS "
                        "(SELECT 1 FROM tblSavedRuns b WHERE b.RunNo = a.RunNo + 1)) END",
                        {Param::integer(kLastRunNo)});
    if (lowestFree.isNullAt(0, 0))
        return std::nullopt;
    const int64_t runNo = lowestFree.intAt(0, 0);
    connection.exec(
        "INSERT INTO tblSavedRuns (RunNo, runip, runcreatedate, numberofruns) VALUES ($1, $2, $3, 0)",
        {Param::integer(runNo), Param::text(rangeText), Param::text(platform::toStoredDate(now))});
    return runNo;
}

void logSweep(Connection& connection, int64_t runNo, const QString& rangeText, const QString& runDate,
              const std::vector<ResultRow>& rows, const SweepFacts& facts) {
    const QString block = blockOfRange(rangeText);
    const QStringList hosts = rangeText.section(QLatin1Char('.'), 3).split(QLatin1Char('-'));
    const LogEntry entry = logEntry(block, rows);
    connection.exec(
        "INSERT INTO tblSweepLog (RunNo, SweepDate, FirstIP, LastIP, Answered, DurationMs, "
        "SweptBy, Answers, Others) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9)",
        {Param::integer(runNo), Param::text(runDate), Param::text(block + QLatin1Char('.') + hosts.value(0)),
         Param::text(block + QLatin1Char('.') + hosts.value(1)), Param::integer(entry.answered),
         facts.durationMs ? Param::integer(*facts.durationMs) : Param::null(),
         Param::text(sweptByKey(facts.by)), Param::bytes(encodedAnswers(entry.answers)),
         entry.others.isEmpty() ? Param::null() : Param::text(entry.others.join(QLatin1Char('\n')))});
    connection.exec("INSERT INTO tblSweepLogCount (RunNo, CountedRuns) "
                    "SELECT RunNo, numberofruns FROM tblSavedRuns WHERE RunNo = $1 "
                    "ON CONFLICT (RunNo) DO UPDATE SET CountedRuns = EXCLUDED.CountedRuns",
                    {Param::integer(runNo)});
}

} // namespace

SaveOutcome storeSweep(Connection& connection, const QString& rangeText, const std::vector<ResultRow>& rows,
                       const QDateTime& now, const SweepFacts& facts) {
    Transaction transaction(connection);
    const std::optional<int64_t> runNo = findOrCreateRun(connection, rangeText, now);
    if (!runNo)
        return SaveOutcome::NoRunNumberLeft;
    // The row lock of this UPDATE orders agents saving into one run: each adds its own sweep.
    connection.exec("UPDATE tblSavedRuns SET numberofruns = numberofruns + 1 WHERE RunNo = $1",
                    {Param::integer(*runNo)});

    const QString runDate = platform::toStoredDate(platform::toWholeMinute(now));
    // All rows in one statement: one round trip whatever the number of answers.
    QStringList addresses;
    QStringList times;
    addresses.reserve(static_cast<qsizetype>(rows.size()));
    times.reserve(static_cast<qsizetype>(rows.size()));
    for (const ResultRow& row : rows) {
        addresses.append(row.address);
        times.append(QString::number(row.roundTripTime));
    }
    connection.exec("INSERT INTO tblSuccess (RunNo, RunDate, successIP, SuccessRTT) "
                    "SELECT $1, $2, address, rtt FROM unnest($3::text[], $4::text[]) AS row (address, rtt)",
                    {Param::integer(*runNo), Param::text(runDate), textArray(addresses), textArray(times)});
    logSweep(connection, *runNo, rangeText, runDate, rows, facts);
    transaction.commit();
    return SaveOutcome::Saved;
}

} // namespace kestrion::db::pg
