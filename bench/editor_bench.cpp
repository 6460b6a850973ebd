// The editor on a full-size data file (32,767 rows by 10 columns): opening it
// into the window, the row operations on it (move, delete, add, update, the
// check for unsaved rows), and saving it, each timed; and the memory the open
// window holds for the rows, against the file's size. Goals: each operation
// under 0.25 s in a Release build, memory under 3 times the file.
#include "common/gui/clsListViewRpt.h"
#include "editor/EditorDialogs.h"
#include "editor/frmMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTreeView>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace tabwright;

namespace fs = std::filesystem;

namespace {

constexpr int kRows = 32767;
constexpr int kCols = 10;

class SilentDialogs : public EditorDialogs {
public:
    void Message(QWidget*, const QString&, const QString& text, Icon) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    bool OkCancel(QWidget*, const QString&, const QString&) override { return true; }
    bool RetryCancel(QWidget*, const QString&, const QString&) override { return false; }
    QString OpenFileName(QWidget*, const QString&, const QString&) override { return {}; }
    QString SaveFileName(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
};

// Written as text, so that making it leaves no table in this process's memory.
const fs::path& Folder()
{
    static const fs::path dir = [] {
        std::string tmpl = (fs::temp_directory_path() / "editor-bench-XXXXXX").string();
        if (!::mkdtemp(tmpl.data()))
            throw std::runtime_error("cannot make a temporary folder");
        const fs::path d(tmpl);
        std::ofstream spec(d / "spec.dat", std::ios::binary);
        spec << kCols << ",4\r\n";
        for (int c = 0; c < kCols; ++c)
            spec << "\"Column " << c << "\",\"10\",\"0\",\"-\"\r\n";
        std::ofstream data(d / "data.dat", std::ios::binary);
        data << kRows << "," << kCols << "\r\n";
        for (int r = 0; r < kRows; ++r) {
            for (int c = 0; c < kCols; ++c) {
                if (c)
                    data << ',';
                if (c == 0)
                    data << "\"Row " << r << "\"";
                else if (c == 5)
                    data << "\"Say \"\"hi\"\", " << r % 97 << "\"";
                else if (c % 2)
                    data << '"' << r * kCols + c << ".25\"";
                else
                    data << "\"M\xc3\xbcller " << c << "\"";
            }
            data << "\r\n";
        }
        return d;
    }();
    return dir;
}

long ResidentKb()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

long PeakKb()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

double Ms(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// One window, as the program builds it; every step timed.
void FullTable(benchmark::State& state)
{
    const fs::path& dir = Folder();
    const std::string data = (dir / "data.dat").string();
    const double fileKb = double(fs::file_size(data)) / 1024;
    SilentDialogs dialogs;
    double worst[7] = {};
    const char* names[7] = {"open and show", "move a row down",        "delete a row", "add a row",
                            "update a row",  "check for unsaved rows", "save"};
    long heldKb = 0, peakKb = 0;
    for (auto _ : state) {
        double ms[7];
        frmMain form((dir / "spec.dat").string(), dir.string(), &dialogs);
        form.Load();
        form.AppCmd("fmt", {"0"});
        form.show();
        QApplication::processEvents();
        const long before = ResidentKb();
        const long peakBefore = PeakKb();
        QElapsedTimer t;
        t.start();
        form.AppCmd("open", {data});
        QApplication::processEvents();
        ms[0] = Ms(t);
        heldKb = std::max(heldKb, ResidentKb() - before);
        peakKb = std::max(peakKb, PeakKb() - peakBefore);  // the first open's peak; later ones reuse memory
        if (form.List()->Rows() != kRows)
            state.SkipWithError("rows missing");

        form.List()->setSelectedRow(0);
        t.restart();
        form.cmdMoveDown_Click();
        QApplication::processEvents();
        ms[1] = Ms(t);
        t.restart();
        form.cmdDel_Click();
        QApplication::processEvents();
        ms[2] = Ms(t);
        form.setFieldText(0, QStringLiteral("Added"));
        t.restart();
        form.cmdAdd_Click();
        QApplication::processEvents();
        ms[3] = Ms(t);
        form.List()->setSelectedRow(kRows / 2);
        form.ListView1_ItemClick();
        form.setFieldText(1, QStringLiteral("Updated"));
        t.restart();
        form.cmdAdd_Click();
        QApplication::processEvents();
        ms[4] = Ms(t);
        t.restart();
        benchmark::DoNotOptimize(form.RowsChanged());
        ms[5] = Ms(t);
        t.restart();
        form.AppCmd("save", {(dir / "saved.dat").string()});
        ms[6] = Ms(t);
        for (int i = 0; i < 7; ++i)
            worst[i] = std::max(worst[i], ms[i]);
        state.PauseTiming();
        form.hide();
        state.ResumeTiming();
    }
    std::printf("\n%d x %d, file %.0f KB (Release build; goal: each under 250 ms)\n", kRows, kCols, fileKb);
    for (int i = 0; i < 7; ++i) {
        std::printf("  %-24s worst %7.1f ms\n", names[i], worst[i]);
        state.counters[names[i]] = worst[i];
    }
    std::printf(
        "  memory held for the rows %.0f KB = %.2f x the file; peak while opening +%ld KB = %.2f x (goal < 3)\n",
        double(heldKb), heldKb / fileKb, peakKb, peakKb / fileKb);
}
BENCHMARK(FullTable)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Folder();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(Folder(), ec);
    return 0;
}
