// A small form (one sheet, 50 cells, 10 names) in each format: open, resolve
// every name, read its cells, as the extraction does for one workbook.
// Goals on this machine, single thread, release build: .xls 100 us, .xlsx
// and .ods 250 us. bench/data/ is written by tests/workbook/fixtures/generate.py.
#include "workbook/Workbook.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

void HarvestSmallForm(benchmark::State& state, const char* file, double goalMicros)
{
    const std::string path = std::string(SOURCE_DIR) + "/bench/data/" + file;
    size_t cells = 0;
    for (auto _ : state) {
        auto book = wb::Workbook::Open(path);
        size_t bytes = 0;
        cells = 0;
        for (const wb::DefinedName& name : book->Names()) {
            wb::Range r = book->Resolve(name.name);
            for (int row = r.firstRow; row <= r.lastRow; ++row)
                for (int col = r.firstCol; col <= r.lastCol; ++col) {
                    bytes += book->Cell(r.sheet, row, col).Text().size();
                    ++cells;
                }
        }
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["cells"] = double(cells);
    state.counters["goal_us"] = goalMicros;
}

}  // namespace

BENCHMARK_CAPTURE(HarvestSmallForm, xls, "form.xls", 100)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(HarvestSmallForm, xlsx, "form.xlsx", 250)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(HarvestSmallForm, ods, "form.ods", 250)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
