// Opening a full-size data file (32,767 rows by 8 columns) in the editor's
// window and showing the list; the goal is well under one second.
#include "common/clsDatFile.h"
#include "editor/EditorDialogs.h"
#include "editor/frmMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include "common/gui/clsListViewRpt.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace tabwright;

namespace fs = std::filesystem;

namespace {

constexpr int Rows = 32767;
constexpr int Cols = 8;

class SilentDialogs : public EditorDialogs {
public:
    void Message(QWidget*, const QString&, const QString& text, Icon) override {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    bool OkCancel(QWidget*, const QString&, const QString&) override { return true; }
    bool RetryCancel(QWidget*, const QString&, const QString&) override { return false; }
    QString OpenFileName(QWidget*, const QString&, const QString&) override { return {}; }
    QString SaveFileName(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
};

const fs::path& Folder() {
    static const fs::path dir = [] {
        std::string tmpl = (fs::temp_directory_path() / "editor-bench-XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) throw std::runtime_error("cannot make a temporary folder");
        const fs::path d(tmpl);
        std::ofstream spec(d / "spec.dat", std::ios::binary);
        spec << Cols << ",4\r\n";
        for (int c = 0; c < Cols; ++c) spec << "\"Column " << c << "\",\"12.5\",\"0\",\"-\"\r\n";
        clsDatFile data;
        data.setFileName((d / "data.dat").string());
        data.setRows(Rows);
        data.setCols(Cols);
        data.Clear();
        for (int r = 0; r < Rows; ++r)
            for (int c = 0; c < Cols; ++c)
                data.setData(r, c, c % 2 ? std::to_string(r * Cols + c) + ".25" : "Row " + std::to_string(r));
        data.Save();
        return d;
    }();
    return dir;
}

// One window, as the program builds it: load the form, open the file, show.
void OpenAndShow(benchmark::State& state) {
    const fs::path& dir = Folder();
    SilentDialogs dialogs;
    double worst = 0;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        frmMain form((dir / "spec.dat").string(), dir.string(), &dialogs);
        form.Load();
        form.AppCmd("fmt", {"0"});
        form.AppCmd("open", {(dir / "data.dat").string()});
        form.show();
        QApplication::processEvents();
        const double ms = double(t.nsecsElapsed()) / 1e6;
        worst = std::max(worst, ms);
        if (form.List()->Rows() != Rows) state.SkipWithError("rows missing");
        state.PauseTiming();
        form.hide();
        state.ResumeTiming();
    }
    state.counters["worst_ms"] = worst;
    std::printf("open %d x %d and show: worst %.0f ms (goal < 1000 ms)\n", Rows, Cols, worst);
}
BENCHMARK(OpenAndShow)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(Folder(), ec);
    return 0;
}
