// The verdict of an address box on a pasted megabyte: the change rule's outcome and the range check's
// value, as the boxes work them out on every change and on Ping (target: well under 200 ms).
#include "sweep/EntryValue.h"

#include <QString>
#include <benchmark/benchmark.h>

using namespace kestrion;

namespace {

constexpr qsizetype kMegabyte = 1 << 20;

QString megabyteText(int shape) {
    switch (shape) {
    case 0:
        return QString(kMegabyte, QLatin1Char('0')) + QStringLiteral("97");
    case 1:
        return QStringLiteral("0.") + QString(kMegabyte, QLatin1Char('3'));
    case 2:
        return QStringLiteral("1") + QString(kMegabyte, QLatin1Char('.'));
    default:
        return QString(kMegabyte, QLatin1Char('9'));
    }
}

void BM_EntryVerdictOfAMegabyte(benchmark::State& bench) {
    const QString text = megabyteText(static_cast<int>(bench.range(0)));
    for (auto _ : bench) {
        const sweep::ChangeRuleOutcome kept = sweep::applyChangeRule(text);
        benchmark::DoNotOptimize(kept);
        benchmark::DoNotOptimize(sweep::checkedEntryValue(text.left(kept.keep), 1));
    }
    bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations()) * text.size() * 2);
}

} // namespace

// 0: zeros before 97, 1: a long fraction, 2: a digit and dots, 3: a digit run beyond a double's range.
BENCHMARK(BM_EntryVerdictOfAMegabyte)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
