// The small-form case through the .xls reader: open, resolve every defined
// name and a few addresses, read every cell they cover. Goal: at most 100 µs
// per workbook on the build machine (release build).
#include "workbook/Compound.h"
#include "workbook/Workbook.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

void ReadForm(benchmark::State& state, const char* file)
{
    const std::string path = std::string(SOURCE_DIR) + "/tests/workbook/fixtures/xls/" + file;
    size_t cells = 0;
    for (auto _ : state) {
        auto book = wb::Workbook::Open(path);
        std::vector<std::string> refs;
        for (const auto& n : book->Names())
            if (n.range)
                refs.push_back(n.name);
        for (const char* a : {"B2", "B3", "B4", "B5", "C2:C5", "D5:D11", "E2:E3", "G2:G8", "Data!A1:A2"})
            refs.push_back(a);
        cells = 0;
        for (const auto& ref : refs) {
            const wb::Range r = book->Resolve(ref);
            for (int row = r.firstRow; row <= r.lastRow; ++row)
                for (int col = r.firstCol; col <= r.lastCol; ++col) {
                    benchmark::DoNotOptimize(book->Cell(r.sheet, row, col).Text());
                    ++cells;
                }
        }
    }
    state.counters["cells"] = double(cells);
}

// The container alone: read the file, check its tables, find and read the
// workbook stream.
void OpenStream(benchmark::State& state, const char* file)
{
    const std::string path = std::string(SOURCE_DIR) + "/tests/workbook/fixtures/xls/" + file;
    std::vector<uint8_t> buf;
    for (auto _ : state) {
        wb::detail::CompoundStream stream(path, {"Workbook", "Book"});
        buf.resize(stream.Size());
        benchmark::DoNotOptimize(stream.Read(0, buf.size(), buf.data()));
    }
}

BENCHMARK_CAPTURE(OpenStream, biff8_libreoffice, "form_lo8.xls")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(OpenStream, strings_gn8, "strings_gn8.xls")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ReadForm, biff8_libreoffice, "form_lo8.xls")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ReadForm, biff8_gnumeric, "form_gn8.xls")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ReadForm, biff5_gnumeric, "form_gn5.xls")->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
