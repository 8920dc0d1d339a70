#include "db/ReportTables.h"

#include "db/RunDatabase.h"
#include "db/SweepLog.h"
#include "platform/NetworkPrefix.h"

#include <QSet>

namespace kestrion::db {

void BuildReportTables(const platform::AppPaths& paths, DatabaseBusy& busy, int16_t runNo) {
    RunDatabase run(paths, busy);
    Database& db = run.db();
    Transaction tx(db);

    db.exec("DELETE FROM tblDistinctSuccesses;");
    // Grouping in order of first appearance makes "the first distinct success", which names the
    // block, the earliest saved one rather than whatever order the query plan yields. Grouping a
    // year of hourly sweeps takes a second; the address table beside the sweep log holds the same
    // texts in the same order, so the rows are grouped only where it is missing or out of step.
    if (addressesUpToDate(db, runNo)) {
        db.prepare("INSERT INTO tblDistinctSuccesses ( RunNo, SuccessIP ) SELECT RunNo, successIP "
                   "FROM tblSweepLogAddress WHERE RunNo = ?1 ORDER BY FirstRow;")
            .bind(1, int64_t{runNo})
            .step();
    } else {
        db.prepare(
              "INSERT INTO tblDistinctSuccesses ( RunNo, SuccessIP ) "
              "SELECT tblSuccess.RunNo, tblSuccess.SuccessIP FROM tblSuccess WHERE tblSuccess.RunNo = ?1 "
              "GROUP BY tblSuccess.SuccessIP ORDER BY min(tblSuccess.rowid);")
            .bind(1, int64_t{runNo})
            .step();
    }
    db.exec("DELETE FROM tblFreeIPReport;");

    QSet<QString> answered;
    QString prefix;
    {
        auto distinct = db.prepare("SELECT SuccessIP FROM tblDistinctSuccesses ORDER BY rowid;");
        while (distinct.step()) {
            const QString address = distinct.textAt(0);
            if (answered.isEmpty())
                prefix = platform::NetworkPrefix(address);
            answered.insert(address);
        }
    }

    if (!answered.isEmpty()) {
        auto add =
            db.prepare("INSERT INTO tblFreeIPReport ( successIP, RunNo, Status ) VALUES (?1, ?2, ?3);");
        const QString used = QStringLiteral("Used");
        const QString free = QStringLiteral("Free");
        for (int octet = 1; octet <= 254; ++octet) {
            const QString address = prefix + QLatin1Char('.') + QString::number(octet);
            add.bind(1, address).bind(2, int64_t{runNo}).bind(3, answered.contains(address) ? used : free);
            add.step();
            add.reset();
        }
    }

    db.exec("DELETE FROM tblCurrentRun;");
    db.exec("INSERT INTO tblCurrentRun ( RunNo, RunIP, RunCreateDate, NumberOfRuns ) "
            "SELECT DISTINCT tblSavedRuns.RunNo, tblSavedRuns.runip, tblSavedRuns.runcreatedate, "
            "tblSavedRuns.numberofruns "
            "FROM tblSavedRuns INNER JOIN tblFreeIPReport ON tblSavedRuns.RunNo = tblFreeIPReport.RunNo;");
    tx.commit();
    run.close();
}

namespace {

QStringList readColumn(Database& db, const char* sql) {
    QStringList values;
    auto query = db.prepare(sql);
    while (query.step())
        values.append(query.textAt(0));
    return values;
}

} // namespace

std::optional<ReportRows> ReadReportRows(const platform::AppPaths& paths, DatabaseBusy& busy) {
    RunDatabase run(paths, busy);
    std::optional<ReportRows> rows;
    {
        auto current =
            run.db().prepare("SELECT RunIP, RunCreateDate, NumberOfRuns FROM tblCurrentRun ORDER BY rowid;");
        if (current.step())
            rows = ReportRows{current.textAt(0), current.textAt(1), current.textAt(2), {}, {}};
    }
    if (rows) {
        rows->freeAddresses = readColumn(run.db(), "SELECT successIP FROM qryRptIPsFree;");
        rows->usedAddresses = readColumn(run.db(), "SELECT successIP FROM qryRptIPsUsed;");
    }
    run.close();
    return rows;
}

} // namespace kestrion::db
