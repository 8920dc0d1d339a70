// Saving one whole block's results (254 rows) on the shared store: a PostgreSQL server of the
// bench's own (as the tests start it: a temporary folder, a Unix socket, durability off) whose
// database already holds 100,000 result rows. Target: under 20 ms a save.
//   pg_save_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include "db/pg/Schema.h"
#include "db/pg/SweepStore.h"
#include "tests/support/PostgresServer.h"

#include <QDateTime>
#include <benchmark/benchmark.h>

using namespace kestrion;

namespace {

std::vector<db::ResultRow> block() {
    std::vector<db::ResultRow> rows;
    for (int host = 1; host <= 254; ++host)
        rows.push_back({QStringLiteral("10.1.7.%1").arg(host), static_cast<uint32_t>(host % 40)});
    return rows;
}

void SaveOnServer(benchmark::State& state) {
    QString whyNot;
    const auto server = test::PostgresServer::start(whyNot);
    if (!server) {
        state.SkipWithError(whyNot.toStdString().c_str());
        return;
    }
    db::pg::Connection connection(server->createDatabase());
    db::pg::initSchema(connection);
    // 40 runs, 400 sweeps of 250 rows: 100,000 rows, as the file's save bench meets.
    connection.execScript("INSERT INTO tblSavedRuns (RunNo, runip, runcreatedate, numberofruns) "
                          "SELECT i, '10.1.' || i || '.1-254', '2026-01-01 08:00:00', 10 "
                          "FROM generate_series(1, 40) AS i;"
                          "INSERT INTO tblSuccess SELECT (i / 250) % 40 + 1, "
                          "'2026-01-' || lpad(((i / 10000) + 1)::text, 2, '0') || ' ' || "
                          "lpad(((i / 250) % 24)::text, 2, '0') || ':00:00', "
                          "'10.1.' || ((i / 250) % 40 + 1) || '.' || (i % 250 + 1), ((i * 7) % 900)::text "
                          "FROM generate_series(0, 99999) AS i;"
                          "ANALYZE;");
    const auto rows = block();
    const QDateTime now = QDateTime::currentDateTime();
    for (auto _ : state)
        db::pg::storeSweep(connection, QStringLiteral("10.1.7.1-254"), rows, now);
}

} // namespace

BENCHMARK(SaveOnServer)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
