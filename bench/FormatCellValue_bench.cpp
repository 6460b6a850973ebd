// Formatting cost per field, for the mix of words a timesheet form uses.
#include "harvester/modFormatCellValue.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

struct Field {
    std::string v, fmt;
};

const std::vector<Field> kTimesheet = {
    {"Ann Baker", "text"},
    {"1042", "0"},
    {"Accounts", "text"},
    {"2009-03-02", "+dmy"},
    {"Month-end close", "text"},
    {"7.25", "0.0"},
    {"36.75", "0.00"},
    {"2009-03-09", "ymd"},
    {"1234567.891", "#,##0.00"},
    {"2009-03-02 14:05:09", "dd mmm yyyy hh:nn"},
    {"", "0.0"},
};

void BM_FormatCellValue(benchmark::State& state)
{
    int16_t k = 0;
    for (auto _ : state) {
        for (const auto& f : kTimesheet)
            benchmark::DoNotOptimize(FormatCellValue(f.v, f.fmt, k));
        k = int16_t((k + 1) % 7);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(kTimesheet.size()));
}
BENCHMARK(BM_FormatCellValue);

}  // namespace

BENCHMARK_MAIN();
