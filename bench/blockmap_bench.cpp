// The block map's data for a run with 50 saved sweeps of a full block (12,700 tblSuccess rows): the
// grouped query and the 256 cells, as the Database tab does on each choice of a run.
#include "bench/BenchDatabase.h"
#include "db/BlockUsage.h"
#include "tests/support/fakes/AppFolder.h"

#include <benchmark/benchmark.h>

using namespace kestrion;

namespace {

void BM_BlockMapData50FullSweeps(benchmark::State& bench) {
    test::AppFolder folder;
    bench::fillTwoFullRuns(folder.paths, 50);
    for (auto _ : bench) {
        const auto usage = db::readRunUsage(folder.paths, folder.busy, QStringLiteral("10.20.30.1-254"));
        benchmark::DoNotOptimize(db::blockPicture(QStringLiteral("10.20.30.1-254"), *usage));
    }
    bench.counters["tblSuccess rows of the run"] = 50 * 254;
}

} // namespace

BENCHMARK(BM_BlockMapData50FullSweeps)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_MAIN();
