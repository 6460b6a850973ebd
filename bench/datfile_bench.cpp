// Load and Save of a full-size table (32,767 rows by 10 columns) in each format.
#include "common/clsDatFile.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kRows = 32767;
constexpr int kCols = 10;

const fs::path& Folder()
{
    static const fs::path dir = [] {
        std::string tmpl = (fs::temp_directory_path() / "datfile-bench-XXXXXX").string();
        if (!::mkdtemp(tmpl.data()))
            throw std::runtime_error("cannot make a temporary folder");
        return fs::path(tmpl);
    }();
    return dir;
}

clsDatFile FullTable(int fmt)
{
    clsDatFile f;
    f.setFileName((Folder() / ("table" + std::to_string(fmt))).string());
    f.setFmt(static_cast<int16_t>(fmt));
    f.setRows(kRows);
    f.setCols(kCols);
    f.Clear();
    std::vector<std::string> headers;
    for (int c = 0; c < kCols; ++c)
        headers.push_back("Column " + std::to_string(c));
    f.setHeaders(headers);
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kCols; ++c)
            f.setData(r, c,
                      c % 3 == 0 ? "Row " + std::to_string(r) + ", \"quoted\" text"
                                 : std::to_string(r * kCols + c) + ".25");
    return f;
}

void Save(benchmark::State& state)
{
    const clsDatFile f = FullTable(static_cast<int>(state.range(0)));
    for (auto _ : state)
        f.Save();
    state.SetLabel(f.FileType() + (state.range(0) == 2 ? " with header" : ""));
}

void Load(benchmark::State& state)
{
    const int fmt = static_cast<int>(state.range(0));
    FullTable(fmt).Save();
    clsDatFile f;
    f.setFileName((Folder() / ("table" + std::to_string(fmt))).string());
    f.setFmt(static_cast<int16_t>(fmt));
    for (auto _ : state) {
        f.Load();
        benchmark::DoNotOptimize(f.Rows());
    }
    if (f.Rows() != kRows || f.Cols() != kCols)
        state.SkipWithError("table read back with the wrong size");
    state.SetLabel(f.FileType() + (fmt == 2 ? " with header" : ""));
}

}  // namespace

BENCHMARK(Save)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(Load)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::remove_all(Folder());
}
