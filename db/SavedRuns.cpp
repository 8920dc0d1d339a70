#include "db/SavedRuns.h"

#include "db/CompactAndBackup.h"
#include "db/RunDatabase.h"
#include "db/SweepStore.h"
#include "platform/DateText.h"

namespace kestrion::db {

namespace {
constexpr int kLastRunNo = 32767;
}

QString rangeTextForSweep(const QString& octet1, const QString& octet2, const QString& octet3,
                          int16_t firstHost, int16_t lastHost) {
    return QStringLiteral("%1.%2.%3.%4-%5").arg(octet1, octet2, octet3).arg(firstHost).arg(lastHost);
}

SaveOutcome storeSweep(Database& db, const QString& rangeText, const std::vector<ResultRow>& rows,
                       const QDateTime& now, const SweepFacts& facts) {
    Transaction transaction(db);

    // runip has the binary collation: "=" matches letter case exactly.
    auto findRun = db.prepare("SELECT RunNo FROM tblSavedRuns WHERE runip = ?1;");
    findRun.bind(1, rangeText);
    int64_t runNo = 0;
    if (findRun.step()) {
        runNo = findRun.intAt(0);
    } else {
        // The lowest free number, so numbers freed by deletions are used again before 32767 runs out.
        auto lowestFree =
            db.prepare("SELECT CASE WHEN NOT EXISTS (SELECT 1 FROM tblSavedRuns WHERE RunNo = 1) "
                       "THEN 1 ELSE (SELECT min(a.RunNo) + 1 FROM tblSavedRuns a "
                       "WHERE a.RunNo < ?1 AND NOT EXISTS "
                       "(SELECT 1 FROM tblSavedRuns b WHERE b.RunNo = a.RunNo + 1)) END;");
        lowestFree.bind(1, int64_t{kLastRunNo});
        if (!lowestFree.step() || lowestFree.isNullAt(0))
            return SaveOutcome::NoRunNumberLeft;
        runNo = lowestFree.intAt(0);
        auto create = db.prepare("INSERT INTO tblSavedRuns (RunNo, runip, runcreatedate, numberofruns) "
                                 "VALUES (?1, ?2, ?3, 0);");
        create.bind(1, runNo).bind(2, rangeText).bind(3, platform::toStoredDate(now));
        create.step();
    }

    auto count = db.prepare("UPDATE tblSavedRuns SET numberofruns = numberofruns + 1 WHERE RunNo = ?1;");
    count.bind(1, runNo);
    count.step();

    const QString runDate = platform::toStoredDate(platform::toWholeMinute(now));
    auto append =
        db.prepare("INSERT INTO tblSuccess (RunNo, RunDate, successIP, SuccessRTT) VALUES (?1, ?2, ?3, ?4);");
    for (const ResultRow& row : rows) {
        append.bind(1, runNo)
            .bind(2, runDate)
            .bind(3, row.address)
            .bind(4, QString::number(row.roundTripTime));
        append.step();
        append.reset();
    }
    logSweep(db, runNo, rangeText, runDate, rows, facts);
    transaction.commit();
    return SaveOutcome::Saved;
}

SavedRuns::SavedRuns(const platform::AppPaths& paths, db::DatabaseBusy& busy, platform::Clock& clock,
                     std::chrono::milliseconds busyTimeout)
    : paths_(paths), busy_(busy), clock_(clock), busyTimeout_(busyTimeout) {}

QStringList SavedRuns::listRanges() {
    RunDatabase run(paths_, busy_, busyTimeout_);
    QStringList ranges;
    auto all = run.db().prepare("SELECT runip FROM tblSavedRuns ORDER BY rowid;");
    while (all.step())
        ranges.append(all.textAt(0));
    return ranges;
}

std::optional<SweepLog> SavedRuns::sweepLog(const QString& rangeText) {
    RunDatabase run(paths_, busy_, busyTimeout_);
    return readSweepLog(run.db(), rangeText);
}

std::optional<SavedRunInfo> SavedRuns::find(const QString& rangeText) {
    RunDatabase run(paths_, busy_, busyTimeout_);
    auto one = run.db().prepare(
        "SELECT RunNo, runip, runcreatedate, numberofruns FROM tblSavedRuns WHERE runip = ?1;");
    one.bind(1, rangeText);
    if (!one.step())
        return std::nullopt;
    SavedRunInfo info;
    info.RunNo = static_cast<int>(one.intAt(0));
    info.runip = one.textAt(1);
    info.runcreatedate = platform::fromStoredDate(one.textAt(2));
    info.numberofruns = static_cast<int>(one.intAt(3));
    return info;
}

SaveOutcome SavedRuns::SaveRun(const QString& rangeText, const std::vector<ResultRow>& rows,
                               const SweepFacts& facts) {
    SaveOutcome outcome;
    {
        RunDatabase run(paths_, busy_, busyTimeout_);
        outcome = storeSweep(run.db(), rangeText, rows, clock_.now(), facts);
        run.close();
    }
    if (outcome == SaveOutcome::Saved)
        CompactAfterCommit(paths_, StoredChange::Sweep, busyTimeout_);
    return outcome;
}

std::optional<int16_t> SavedRuns::FindRunNo(const QString& rangeText) {
    RunDatabase run(paths_, busy_, busyTimeout_);
    auto one = run.db().prepare("SELECT RunNo FROM tblSavedRuns WHERE runip = ?1;");
    one.bind(1, rangeText);
    if (!one.step())
        return std::nullopt;
    return static_cast<int16_t>(one.intAt(0));
}

bool SavedRuns::DeleteSavedRun(const QString& rangeText) {
    {
        RunDatabase run(paths_, busy_, busyTimeout_);
        Transaction transaction(run.db());
        // The schema's cascades take the run's results and schedules with it.
        auto remove = run.db().prepare("DELETE FROM tblSavedRuns WHERE runip = ?1;");
        remove.bind(1, rangeText);
        remove.step();
        if (run.db().changes() == 0)
            return false;
        transaction.commit();
    }
    CompactAfterCommit(paths_, StoredChange::Deletion, busyTimeout_);
    return true;
}

} // namespace kestrion::db
