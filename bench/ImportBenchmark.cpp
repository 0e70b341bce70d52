// Import of a large MATPOWER case: reading and conversion into ЦДУ text.
// Goal: a 50 MB case in a few seconds and well under 1 GB of memory. The
// largest case ЦДУ numbers can hold has 100 000 buses; written as a solved
// case (with the result columns a solver appends) it is about 50 MB.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "interchange/CaseImport.h"
#include "model/TextFile.h"

namespace {

using namespace tarvel;

// A meshed case of the given size in MATPOWER's layout: a chain of buses with
// one extra branch in two, every tenth bus a generator, two voltage levels.
// The flows and multipliers a solved case carries after every branch row.
const std::string kBranchResults =
    "\t-123.456789012\t-12.345678901\t123.987654321\t11.234567890\t0.000000000\t0.000000000\t0.000000000"
    "\t0.000000000;\n";

std::string syntheticCase(int buses)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<double> load(0, 50);
    std::string t = "function mpc = synthetic\nmpc.version = '2';\nmpc.baseMVA = 100;\nmpc.bus = [\n";
    for (int i = 1; i <= buses; ++i) {
        const int type = i == 1 ? 3 : (i % 10 == 0 ? 2 : 1);
        t += "\t" + formatInt(i) + "\t" + formatInt(type) + "\t" + formatFixed(load(random), 0, 3) + "\t" +
             formatFixed(load(random) / 3, 0, 3) + "\t0\t0\t1\t1.0123\t-12.345\t" + (i % 7 ? "220" : "110") +
             "\t1\t1.1\t0.9\t32.123456789\t0.012345678\t0.000000000\t0.000000000;\n";
    }
    t += "];\nmpc.gen = [\n";
    for (int i = 1; i <= buses; i += 10)
        t += "\t" + formatInt(i == 1 ? 1 : i - 1) + "\t100\t0\t300\t-300\t1.02\t100\t1\t250\t10\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0;\n";
    t += "];\nmpc.branch = [\n";
    for (int i = 2; i <= buses; ++i) {
        t += "\t" + formatInt(i - 1) + "\t" + formatInt(i) + "\t0.0123\t0.0456\t0.0789\t250\t250\t250\t0\t0\t1\t-360\t360" + kBranchResults;
        if (i % 2 == 0 && i > 3)
            t += "\t" + formatInt(i - 3) + "\t" + formatInt(i) + "\t0.0123\t0.0456\t0.0789\t250\t250\t250\t0.98\t0\t1\t-360\t360" + kBranchResults;
    }
    return t + "];\n";
}

void BM_ImportMatpowerCase(benchmark::State& state)
{
    const std::string text = syntheticCase(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const CaseReadResult read = readCase(text, detectInputFormat(text));
        const CduConversion conversion = convertCase(read.data);
        if (!conversion.ok)
            state.SkipWithError(conversion.error.c_str());
        benchmark::DoNotOptimize(conversion.text.data());
    }
    state.counters["MB"] = static_cast<double>(text.size()) / 1e6;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ImportMatpowerCase)->Arg(300)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
