#include "bench/BenchDatabase.h"

#include "db/Database.h"

namespace kestrion::bench {

void fillTwoFullRuns(const platform::AppPaths& paths, int sweeps) {
    db::Database db(paths.database());
    db::Transaction tx(db);
    db.exec("INSERT INTO tblSavedRuns VALUES (1, '10.20.30.1-254', '2026-03-14 09:26:53', 50);"
            "INSERT INTO tblSavedRuns VALUES (2, '10.20.31.1-254', '2026-03-14 09:26:53', 50);");
    auto add = db.prepare("INSERT INTO tblSuccess VALUES (?1, ?2, ?3, '1');");
    for (int runNo : {1, 2})
        for (int sweep = 0; sweep < sweeps; ++sweep)
            for (int octet = 1; octet <= 254; ++octet) {
                add.bind(1, int64_t{runNo})
                    .bind(2, QStringLiteral("2026-03-14 %1:%2:00")
                                 .arg(sweep / 60, 2, 10, QLatin1Char('0'))
                                 .arg(sweep % 60, 2, 10, QLatin1Char('0')))
                    .bind(3, QStringLiteral("10.20.%1.%2").arg(29 + runNo).arg(octet));
                add.step();
                add.reset();
            }
    tx.commit();
}

} // namespace kestrion::bench
