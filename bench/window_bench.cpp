// The window's run against glean's for the same job, in one process and
// offscreen: the same folder of workbooks, form definition and number of
// jobs, nothing moved, a fresh data file each time. Goal: the window's run no
// more than 1.2 times glean's time.
//   GLEAN_BENCH_IN    folder of workbooks (default build-bench/corpus/xlsx);
//                     at most 100, as the window takes per run
//   GLEAN_BENCH_FORM  form definition (default build-bench/corpus/form.dat)
//   GLEAN_BENCH_JOBS  jobs of both runs (default: one per processor)
#include "common/gui/modAppFolder.h"
#include "harvester/GleanCommand.h"
#include "harvester/WorkbookList.h"
#include "harvester/gui/frmMain.h"

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>

namespace {

std::string Env(const char* name, const std::string& otherwise)
{
    const char* v = std::getenv(name);
    return v && *v ? v : otherwise;
}

const std::string kIn = Env("GLEAN_BENCH_IN", std::string(SOURCE_DIR) + "/build-bench/corpus/xlsx");
const std::string kForm = Env("GLEAN_BENCH_FORM", std::string(SOURCE_DIR) + "/build-bench/corpus/form.dat");
const int kJobs =
    std::atoi(Env("GLEAN_BENCH_JOBS", std::to_string(std::max(1u, std::thread::hardware_concurrency()))).c_str());

int Workbooks()
{
    return static_cast<int>(std::min<size_t>(ListWorkbooks(kIn).size(), 100));
}

void GleanRun(benchmark::State& state)
{
    QTemporaryDir tmp;
    GleanOptions o;
    o.formType = kForm, o.inDir = kIn, o.dataFile = tmp.filePath("data.csv").toStdString();
    o.jobs = kJobs;
    if (ListWorkbooks(kIn).size() > 100)
        state.SkipWithError("GLEAN_BENCH_IN holds more than 100 workbooks (the window takes 100 per run)");
    for (auto _ : state) {
        std::remove(o.dataFile->c_str());
        std::ostringstream err;
        if (RunGlean(o, err, false) != kAllHarvested)
            state.SkipWithError(err.str().c_str());
    }
    state.SetItemsProcessed(state.iterations() * Workbooks());
}

void WindowRun(benchmark::State& state)
{
    QTemporaryDir tmp;
    setAppFolder(tmp.path());
    const QString data = tmp.filePath("data.csv");
    frmMain w;
    w.show();
    w.txtFormType->setText(QString::fromStdString(kForm));
    w.txtInDir->setText(QString::fromStdString(kIn));
    w.txtOutDir->setText(QString());
    w.txtExportTo->setText(data);
    for (auto _ : state) {
        QFile::remove(data);
        QEventLoop loop;
        QObject::connect(&w, &frmMain::runFinished, &loop, &QEventLoop::quit);
        w.AppCmd(QStringLiteral("go"), {});
        loop.exec();
        if (w.LastResult().done != Workbooks())
            state.SkipWithError("the window's run did not harvest every workbook");
    }
    state.SetItemsProcessed(state.iterations() * Workbooks());
}

}  // namespace

BENCHMARK(GleanRun)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(WindowRun)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
