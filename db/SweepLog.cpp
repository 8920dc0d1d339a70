#include "db/SweepLog.h"

#include "db/SavedRuns.h"

#include <QHash>
#include <QStringList>
#include <algorithm>
#include <map>
#include <sqlite3.h>

namespace kestrion::db {

namespace {

// The log's own tables. Everything here is beside the specified tables: their rows and views never
// refer to it, and a program that does not know it still opens the file. Deleting a saved run takes
// its log with it (the same cascade as its results).
constexpr const char* kCreateLog =
    "CREATE TABLE IF NOT EXISTS tblSweepLog ("
    " SweepNo INTEGER PRIMARY KEY,"
    " RunNo INTEGER NOT NULL REFERENCES tblSavedRuns (RunNo) ON DELETE CASCADE,"
    " SweepDate TEXT NOT NULL,"
    " FirstIP TEXT NOT NULL,"
    " LastIP TEXT NOT NULL,"
    " Answered INTEGER NOT NULL,"
    " DurationMs INTEGER,"
    " SweptBy TEXT NOT NULL,"
    " Answers BLOB NOT NULL,"
    " Others TEXT);"
    "CREATE INDEX IF NOT EXISTS idxSweepLogRun ON tblSweepLog (RunNo, SweepDate);"
    // numberofruns as the log last saw it, per run: a difference means sweeps it has not logged.
    "CREATE TABLE IF NOT EXISTS tblSweepLogCount ("
    " RunNo INTEGER PRIMARY KEY REFERENCES tblSavedRuns (RunNo) ON DELETE CASCADE,"
    " CountedRuns INTEGER NOT NULL);"
    // Every distinct successIP text of a run's result rows with the rowids of its first and its latest
    // row: the Free IP Report's distinct answers in the order of their first row, without grouping a
    // year of rows. Kept up to date from the rows themselves (updateAddresses).
    "CREATE TABLE IF NOT EXISTS tblSweepLogAddress ("
    " RunNo INTEGER NOT NULL REFERENCES tblSavedRuns (RunNo) ON DELETE CASCADE,"
    " successIP TEXT NOT NULL,"
    " FirstRow INTEGER NOT NULL,"
    " LastRow INTEGER NOT NULL,"
    " UNIQUE (RunNo, successIP));";

bool hasAddressTable(Database& db) {
    auto table = db.prepare("SELECT count(*) FROM sqlite_master WHERE type = 'table' "
                            "AND name = 'tblSweepLogAddress';");
    return table.step() && table.intAt(0) == 1;
}

// Adds the run's result rows after the latest one the address table has seen. New rows always get a
// rowid above every other row of the table, so this reads only the rows of the sweeps saved since,
// through the index on RunNo (whose entries are in rowid order).
void updateAddresses(Database& db, int64_t runNo) {
    auto seen = db.prepare("SELECT coalesce(max(LastRow), 0) FROM tblSweepLogAddress WHERE RunNo = ?1;");
    seen.bind(1, runNo);
    const int64_t after = seen.step() ? seen.intAt(0) : 0;
    auto add =
        db.prepare("INSERT INTO tblSweepLogAddress (RunNo, successIP, FirstRow, LastRow) "
                   "SELECT RunNo, successIP, min(rowid), max(rowid) FROM tblSuccess "
                   "WHERE RunNo = ?1 AND rowid > ?2 GROUP BY successIP "
                   "ON CONFLICT (RunNo, successIP) DO UPDATE SET LastRow = max(LastRow, excluded.LastRow);");
    add.bind(1, runNo).bind(2, after);
    add.step();
}

constexpr int kAnswerBytes = 256 * 2;

QByteArray encodeAnswers(const std::array<uint16_t, 256>& answers) {
    QByteArray bytes(kAnswerBytes, Qt::Uninitialized);
    char* out = bytes.data();
    for (const uint16_t answer : answers) {
        *out++ = static_cast<char>(answer & 0xFF);
        *out++ = static_cast<char>(answer >> 8);
    }
    return bytes;
}

void decodeAnswers(const unsigned char* bytes, int size, std::array<uint16_t, 256>& answers) {
    answers.fill(kSilent);
    if (!bytes || size != kAnswerBytes)
        return;
    for (size_t i = 0; i < answers.size(); ++i)
        answers[i] = static_cast<uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
}

QString encodeOthers(const std::vector<std::pair<QString, uint16_t>>& others) {
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(others.size()));
    for (const auto& [address, time] : others)
        lines.append(address + QLatin1Char(' ') + QString::number(time));
    return lines.join(QLatin1Char('\n'));
}

std::vector<std::pair<QString, uint16_t>> decodeOthers(const QString& text) {
    std::vector<std::pair<QString, uint16_t>> others;
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype blank = line.lastIndexOf(QLatin1Char(' '));
        if (blank <= 0)
            continue;
        others.emplace_back(line.left(blank), static_cast<uint16_t>(line.mid(blank + 1).toUInt()));
    }
    return others;
}

uint16_t storedTime(uint32_t milliseconds) {
    return static_cast<uint16_t>(std::min<uint32_t>(milliseconds, kLongestTime));
}

uint16_t storedTimeText(const QString& text) {
    bool ok = false;
    const uint32_t value = text.trimmed().toUInt(&ok);
    return ok ? storedTime(value) : kTimeUnknown;
}

// Adds one answer to a sweep being logged. An address that answered twice in one sweep (two saves
// within a minute share their RunDate) keeps its first time.
void addAnswer(LoggedSweep& sweep, const QString& block, const QString& address, uint16_t time) {
    if (const std::optional<int> octet = octetInBlock(block, address)) {
        uint16_t& slot = sweep.answers[static_cast<size_t>(*octet)];
        if (slot == kSilent) {
            slot = time;
            ++sweep.answered;
        }
        return;
    }
    const bool known = std::any_of(sweep.others.begin(), sweep.others.end(),
                                   [&address](const auto& other) { return other.first == address; });
    if (!known) {
        sweep.others.emplace_back(address, time);
        ++sweep.answered;
    }
}

std::pair<QString, QString> rangeEnds(const QString& rangeText) {
    const QString block = blockOfRange(rangeText);
    const QStringList hosts = rangeText.section(QLatin1Char('.'), 3).split(QLatin1Char('-'));
    return {block + QLatin1Char('.') + hosts.value(0), block + QLatin1Char('.') + hosts.value(1)};
}

void insertSweep(Database& db, int64_t runNo, const QString& rangeText, const LoggedSweep& sweep) {
    const auto [first, last] = rangeEnds(rangeText);
    auto insert =
        db.prepare("INSERT INTO tblSweepLog (RunNo, SweepDate, FirstIP, LastIP, Answered, "
                   "DurationMs, SweptBy, Answers, Others) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9);");
    insert.bind(1, runNo).bind(2, sweep.date).bind(3, first).bind(4, last).bind(5, int64_t{sweep.answered});
    if (sweep.durationMs)
        insert.bind(6, *sweep.durationMs);
    else
        insert.bindNull(6);
    insert.bind(7, sweptByKey(sweep.by)).bindBlob(8, encodeAnswers(sweep.answers));
    if (sweep.others.empty())
        insert.bindNull(9);
    else
        insert.bind(9, encodeOthers(sweep.others));
    insert.step();
}

void setCounted(Database& db, int64_t runNo) {
    auto counted = db.prepare("INSERT OR REPLACE INTO tblSweepLogCount (RunNo, CountedRuns) "
                              "SELECT RunNo, numberofruns FROM tblSavedRuns WHERE RunNo = ?1;");
    counted.bind(1, runNo);
    counted.step();
}

// Logs, from its result rows, every RunDate of the run later than its latest logged sweep.
void catchUpRun(Database& db, int64_t runNo, const QString& rangeText) {
    auto latest = db.prepare("SELECT max(SweepDate) FROM tblSweepLog WHERE RunNo = ?1;");
    latest.bind(1, runNo);
    const QString after = latest.step() && !latest.isNullAt(0) ? latest.textAt(0) : QString();

    const QString block = blockOfRange(rangeText);
    std::map<QString, LoggedSweep> byDate;
    auto rows = db.prepare("SELECT RunDate, successIP, SuccessRTT FROM tblSuccess WHERE RunNo = ?1;");
    rows.bind(1, runNo);
    while (rows.step()) {
        const QString date = rows.textAt(0);
        if (!after.isNull() && date <= after)
            continue;
        auto [entry, added] = byDate.try_emplace(date);
        if (added) {
            entry->second.date = date;
            entry->second.answers.fill(kSilent);
        }
        addAnswer(entry->second, block, rows.textAt(1), storedTimeText(rows.textAt(2)));
    }
    for (const auto& [date, sweep] : byDate)
        insertSweep(db, runNo, rangeText, sweep);
    setCounted(db, runNo);
    updateAddresses(db, runNo);
}

} // namespace

uint16_t LoggedSweep::answerOf(const QString& block, const QString& address) const {
    if (const std::optional<int> octet = octetInBlock(block, address))
        return answers[static_cast<size_t>(*octet)];
    for (const auto& [other, time] : others)
        if (other == address)
            return time;
    return kSilent;
}

QString blockOfRange(const QString& rangeText) {
    return rangeText.section(QLatin1Char('.'), 0, 2);
}

std::optional<int> octetInBlock(const QString& block, const QString& address) {
    if (address.size() <= block.size() || !address.startsWith(block) ||
        address[block.size()] != QLatin1Char('.'))
        return std::nullopt;
    const QStringView rest = QStringView(address).mid(block.size() + 1);
    if (rest.isEmpty() || rest.size() > 3)
        return std::nullopt;
    bool ok = false;
    const int octet = rest.toInt(&ok);
    if (!ok || octet < 0 || octet > 255 || !rest.front().isDigit())
        return std::nullopt;
    return octet;
}

QString sweptByKey(SweptBy by) {
    switch (by) {
    case SweptBy::Window:
        return QStringLiteral("window");
    case SweptBy::Schedule:
        return QStringLiteral("schedule");
    case SweptBy::CommandLine:
        return QStringLiteral("cli");
    case SweptBy::Earlier:
        break;
    }
    return QStringLiteral("earlier");
}

SweptBy sweptByFromKey(const QString& key) {
    if (key == QLatin1String("window"))
        return SweptBy::Window;
    if (key == QLatin1String("schedule"))
        return SweptBy::Schedule;
    if (key == QLatin1String("cli"))
        return SweptBy::CommandLine;
    return SweptBy::Earlier;
}

bool hasSweepLog(Database& db) {
    auto table = db.prepare("SELECT count(*) FROM sqlite_master WHERE type = 'table' "
                            "AND name IN ('tblSweepLog', 'tblSweepLogCount');");
    return table.step() && table.intAt(0) == 2;
}

void bringSweepLogUpToDate(Database& db) {
    if (sqlite3_db_readonly(db.raw(), "main") == 1)
        return;
    const auto pending = [&db] {
        std::vector<std::pair<int64_t, QString>> runs;
        auto behind = db.prepare("SELECT r.RunNo, r.runip FROM tblSavedRuns r "
                                 "LEFT JOIN tblSweepLogCount c ON c.RunNo = r.RunNo "
                                 "WHERE c.CountedRuns IS NOT r.numberofruns;");
        while (behind.step())
            runs.emplace_back(behind.intAt(0), behind.textAt(1));
        return runs;
    };
    // The common case, a log that is up to date, costs two small queries and no write. A file without
    // saved runs (the delivered one) is left as it is until its first save makes the log.
    const bool addressesKept = hasAddressTable(db);
    if (hasSweepLog(db)) {
        if (addressesKept && pending().empty())
            return;
    } else {
        auto anyRun = db.prepare("SELECT EXISTS (SELECT 1 FROM tblSavedRuns);");
        if (!anyRun.step() || anyRun.intAt(0) == 0)
            return;
    }
    Transaction transaction(db);
    db.exec(kCreateLog);
    // A log made before the address table: every run's rows once.
    if (!addressesKept) {
        auto runs = db.prepare("SELECT RunNo FROM tblSavedRuns;");
        while (runs.step())
            updateAddresses(db, runs.intAt(0));
    }
    for (const auto& [runNo, rangeText] : pending())
        catchUpRun(db, runNo, rangeText);
    transaction.commit();
}

void logSweep(Database& db, int64_t runNo, const QString& rangeText, const QString& runDate,
              const std::vector<ResultRow>& rows, const SweepFacts& facts) {
    db.exec(kCreateLog);
    LoggedSweep sweep;
    sweep.date = runDate;
    sweep.by = facts.by;
    sweep.durationMs = facts.durationMs;
    sweep.answers.fill(kSilent);
    const QString block = blockOfRange(rangeText);
    for (const ResultRow& row : rows)
        addAnswer(sweep, block, row.address, storedTime(row.roundTripTime));
    insertSweep(db, runNo, rangeText, sweep);
    setCounted(db, runNo);
    updateAddresses(db, runNo);
}

bool addressesUpToDate(Database& db, int64_t runNo) {
    if (!hasAddressTable(db))
        return false;
    updateAddresses(db, runNo);
    // Rows deleted from the end of the run, by a program other than this one, leave the table behind.
    auto current = db.prepare("SELECT (SELECT max(LastRow) FROM tblSweepLogAddress WHERE RunNo = ?1) IS "
                              "(SELECT max(rowid) FROM tblSuccess WHERE RunNo = ?1);");
    current.bind(1, runNo);
    return current.step() && current.intAt(0) == 1;
}

std::optional<SweepLog> readSweepLog(Database& db, const QString& rangeText) {
    auto run = db.prepare("SELECT RunNo, numberofruns FROM tblSavedRuns WHERE runip = ?1;");
    run.bind(1, rangeText);
    if (!run.step())
        return std::nullopt;
    SweepLog log;
    log.runNo = run.intAt(0);
    log.numberofruns = static_cast<int>(run.intAt(1));
    log.rangeText = rangeText;
    log.block = blockOfRange(rangeText);
    if (!hasSweepLog(db))
        return log;
    auto sweeps =
        db.prepare("SELECT SweepNo, SweepDate, FirstIP, LastIP, Answered, DurationMs, SweptBy, "
                   "Answers, Others FROM tblSweepLog WHERE RunNo = ?1 ORDER BY SweepDate, SweepNo;");
    sweeps.bind(1, log.runNo);
    // A year of hourly sweeps shares few distinct texts besides the date: keep one copy of each.
    QHash<QString, QString> shared;
    const auto sharedText = [&shared](const QString& text) {
        auto known = shared.constFind(text);
        if (known == shared.constEnd())
            known = shared.insert(text, text);
        return *known;
    };
    while (sweeps.step()) {
        LoggedSweep& sweep = log.sweeps.emplace_back();
        sweep.sweepNo = sweeps.intAt(0);
        sweep.date = sweeps.textAt(1);
        sweep.firstAddress = sharedText(sweeps.textAt(2));
        sweep.lastAddress = sharedText(sweeps.textAt(3));
        sweep.answered = static_cast<int>(sweeps.intAt(4));
        if (!sweeps.isNullAt(5))
            sweep.durationMs = sweeps.intAt(5);
        sweep.by = sweptByFromKey(sweeps.textAt(6));
        const QByteArrayView answers = sweeps.blobAt(7);
        decodeAnswers(reinterpret_cast<const unsigned char*>(answers.data()),
                      static_cast<int>(answers.size()), sweep.answers);
        if (!sweeps.isNullAt(8))
            sweep.others = decodeOthers(sweeps.textAt(8));
    }
    return log;
}

std::optional<AnswersOf> readAnswersOf(Database& db, const QString& rangeText, const QString& address) {
    auto run = db.prepare("SELECT RunNo, numberofruns FROM tblSavedRuns WHERE runip = ?1;");
    run.bind(1, rangeText);
    if (!run.step())
        return std::nullopt;
    AnswersOf found;
    found.numberofruns = static_cast<int>(run.intAt(1));
    if (!hasSweepLog(db))
        return found;
    const std::optional<int> octet = octetInBlock(blockOfRange(rangeText), address);
    // An address of the block is two bytes of each sweep's answers (a blob of another size holds no
    // answer, as decodeAnswers reads it); any other is looked up in the sweep's answers from outside.
    auto sweeps = octet ? db.prepare("SELECT SweepDate, length(Answers), substr(Answers, ?2, 2) "
                                     "FROM tblSweepLog WHERE RunNo = ?1 ORDER BY SweepDate, SweepNo;")
                        : db.prepare("SELECT SweepDate, Others FROM tblSweepLog "
                                     "WHERE RunNo = ?1 ORDER BY SweepDate, SweepNo;");
    sweeps.bind(1, run.intAt(0));
    if (octet)
        sweeps.bind(2, int64_t{2 * *octet + 1});
    while (sweeps.step()) {
        uint16_t answer = kSilent;
        if (octet) {
            const QByteArrayView bytes = sweeps.blobAt(2);
            if (sweeps.intAt(1) == kAnswerBytes && bytes.size() == 2)
                answer = static_cast<uint16_t>(static_cast<unsigned char>(bytes[0]) |
                                               (static_cast<unsigned char>(bytes[1]) << 8));
        } else if (!sweeps.isNullAt(1)) {
            for (const auto& [other, time] : decodeOthers(sweeps.textAt(1)))
                if (other == address) {
                    answer = time;
                    break;
                }
        }
        found.sweeps.emplace_back(sweeps.textAt(0), answer);
    }
    return found;
}

} // namespace kestrion::db
