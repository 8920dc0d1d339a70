// SaveRun with one whole block's results (254 rows) on a database that already holds 100,000 result
// rows: the stored part alone (target under 50 ms) and the full save with its compaction and
// backups (target under 1 s). Wall-clock times: fsync waits for the disk, not the processor.
//   save_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true   (TMPDIR: the disk)
#include "db/CompactAndBackup.h"
#include "db/SavedRuns.h"
#include "db/SweepStore.h"
#include "tests/support/fakes/AppFolder.h"

#include <QFile>
#include <benchmark/benchmark.h>

using namespace kestrion;

namespace {

// 400 saved sweeps of 250 rows spread over 40 ranges: 100,000 rows, then compacted as after a save.
struct Folder : test::AppFolder {
    platform::SystemClock clock;

    Folder() {
        exec("BEGIN;"
             "WITH RECURSIVE r(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM r WHERE i < 40) "
             "INSERT INTO tblSavedRuns SELECT i, '10.1.' || i || '.1-254', '2026-01-01 08:00:00', 10 FROM r;"
             "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 99999) "
             "INSERT INTO tblSuccess SELECT (i / 250) % 40 + 1, "
             "printf('2026-01-%02d %02d:00:00', (i / 10000) + 1, (i / 250) % 24), "
             "'10.1.' || ((i / 250) % 40 + 1) || '.' || (i % 250 + 1), (i * 7) % 900 FROM n;"
             "COMMIT;");
        db::CompactAndBackup(paths);
    }

    std::vector<db::ResultRow> block() const {
        std::vector<db::ResultRow> rows;
        for (int host = 1; host <= 254; ++host)
            rows.push_back({QStringLiteral("10.1.7.%1").arg(host), static_cast<uint32_t>(host % 40)});
        return rows;
    }
};

void SaveAlone(benchmark::State& state) {
    Folder f; // fresh for each run, so every save meets about 100,000 rows
    const auto rows = f.block();
    for (auto _ : state) {
        db::Database database(f.paths.database());
        db::storeSweep(database, QStringLiteral("10.1.7.1-254"), rows, f.clock.now());
        database.close();
    }
}

void SaveWithCompaction(benchmark::State& state) {
    Folder f; // fresh for each run, so every save meets about 100,000 rows
    const auto rows = f.block();
    db::SavedRuns runs(f.paths, f.busy, f.clock);
    for (auto _ : state)
        runs.SaveRun(QStringLiteral("10.1.7.1-254"), rows);
    state.counters["db_MiB"] = static_cast<double>(QFile(f.paths.database()).size()) / (1 << 20);
}

void CompactionAlone(benchmark::State& state) {
    Folder f; // fresh for each run, so every save meets about 100,000 rows
    for (auto _ : state)
        db::CompactAndBackup(f.paths);
}

} // namespace

BENCHMARK(SaveAlone)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(40);
BENCHMARK(SaveWithCompaction)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(CompactionAlone)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

BENCHMARK_MAIN();
