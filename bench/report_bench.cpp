// The Free IP Report of a run with 50 saved sweeps of a full block (12,700 tblSuccess rows):
// building the work tables and writing the file, as "Print Report..." does after FindRunNo.
#include "bench/BenchDatabase.h"
#include "db/ReportTables.h"
#include "report/ReportWriter.h"
#include "tests/support/fakes/AppFolder.h"
#include "tests/support/fakes/FakeMessageBoxes.h"
#include "tests/support/fakes/FakeServices.h"

#include <benchmark/benchmark.h>

using namespace kestrion;

namespace {

void BM_FreeIPReport50FullSweeps(benchmark::State& bench) {
    test::AppFolder folder;
    bench::fillTwoFullRuns(folder.paths, 50);
    test::FakeMessageBoxes boxes;
    test::FakeShell shell;
    for (auto _ : bench) {
        db::BuildReportTables(folder.paths, folder.busy, 1);
        benchmark::DoNotOptimize(report::WriteFreeIPReport(folder.paths, folder.busy, boxes, shell));
    }
    bench.counters["tblSuccess rows of the run"] = 50 * 254;
}

} // namespace

BENCHMARK(BM_FreeIPReport50FullSweeps)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_MAIN();
