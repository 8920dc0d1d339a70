#include "report/ReportTables.h"

#include "db/RunDatabase.h"
#include "platform/NetworkPrefix.h"

#include <QSet>

namespace kestrion::report {

void BuildReportTables(const platform::AppPaths& paths, db::DatabaseBusy& busy, int16_t runNo) {
    db::RunDatabase run(paths, busy);
    db::Database& db = run.db();
    db::Transaction tx(db);

    db.exec("DELETE FROM tblDistinctSuccesses;");
    // Grouping in order of first appearance makes "the first distinct success", which names the
    // block, the earliest saved one rather than whatever order the query plan yields.
    db.prepare("INSERT INTO tblDistinctSuccesses ( RunNo, SuccessIP ) "
               "SELECT tblSuccess.RunNo, tblSuccess.SuccessIP FROM tblSuccess WHERE tblSuccess.RunNo = ?1 "
               "GROUP BY tblSuccess.SuccessIP ORDER BY min(tblSuccess.rowid);")
        .bind(1, int64_t{runNo})
        .step();
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

} // namespace kestrion::report
