// The Free IP Report of a run with 50 saved sweeps of a full block (12,700 tblSuccess rows):
// building the work tables and writing the file, as "Print Report..." does after FindRunNo.
#include "db/Database.h"
#include "report/ReportTables.h"
#include "report/ReportWriter.h"
#include "tests/support/fakes/AppFolder.h"
#include "tests/support/fakes/FakeMessageBoxes.h"
#include "tests/support/fakes/FakeServices.h"

#include <benchmark/benchmark.h>

using namespace kestrion;

namespace {

void fillRun(const platform::AppPaths& paths, int sweeps) {
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

void BM_FreeIPReport50FullSweeps(benchmark::State& bench) {
    test::AppFolder folder;
    // A second run of the same size, so the run's rows have to be picked out of 25,400.
    fillRun(folder.paths, 50);
    test::FakeMessageBoxes boxes;
    test::FakeShell shell;
    for (auto _ : bench) {
        report::BuildReportTables(folder.paths, folder.busy, 1);
        benchmark::DoNotOptimize(report::WriteFreeIPReport(folder.paths, folder.busy, boxes, shell));
    }
    bench.counters["tblSuccess rows of the run"] = 50 * 254;
}

} // namespace

BENCHMARK(BM_FreeIPReport50FullSweeps)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_MAIN();
