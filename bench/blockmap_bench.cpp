// The block map's data for a run with 50 saved sweeps of a full block (12,700 tblSuccess rows): the
// grouped query and the 256 cells, as the Database tab does on each choice of a run.
#include "db/BlockUsage.h"
#include "db/Database.h"
#include "tests/support/fakes/AppFolder.h"

#include <benchmark/benchmark.h>

using namespace kestrion;

namespace {

void fillRuns(const platform::AppPaths& paths, int sweeps) {
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

void BM_BlockMapData50FullSweeps(benchmark::State& bench) {
    test::AppFolder folder;
    // A second run of the same size, so the run's rows have to be picked out of 25,400.
    fillRuns(folder.paths, 50);
    for (auto _ : bench) {
        const auto usage = db::readRunUsage(folder.paths, folder.busy, QStringLiteral("10.20.30.1-254"));
        benchmark::DoNotOptimize(db::blockPicture(QStringLiteral("10.20.30.1-254"), *usage));
    }
    bench.counters["tblSuccess rows of the run"] = 50 * 254;
}

} // namespace

BENCHMARK(BM_BlockMapData50FullSweeps)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_MAIN();
