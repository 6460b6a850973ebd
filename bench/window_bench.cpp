// The window's run against glean's for the same job, in one process and
// offscreen: the same folder of workbooks, form definition and number of
// jobs, nothing moved, a fresh data file each time. Each run reads the folder
// under a name of its own (a new link to it), so that its paths are new as a
// user's next run's are: the window keeps what it measured of texts it showed
// before. Goal: the window's run no more than 1.2 times glean's time.
//   GLEAN_BENCH_IN    folder of workbooks (default build-bench/corpus/xlsx);
//                     at most 100, as the window takes per run
//   GLEAN_BENCH_FORM  form definition (default build-bench/corpus/form.dat)
//   GLEAN_BENCH_JOBS  jobs of glean's run (default: one per processor, as the
//                     window's run always takes)
//   GLEAN_BENCH_RATIO N: no benchmarks; N runs of each in turns, then the
//                     best times and their ratio on one line, on the next
//                     what a run's end paints, painted alone, and then the
//                     window against glean run as a command (its process
//                     started and ended, as a user runs it)
//   GLEAN_BENCH_GLEAN the glean program for that (default bin/glean beside
//                     this program's folder)
//   GLEAN_BENCH_GRAB  FILE.png: no benchmarks; two runs of the window, then
//                     the window as they left it, to compare the look of two
//                     builds pixel by pixel
//   GLEAN_BENCH_PAINTS 1: no benchmarks; two runs of the window, and of the
//                     second each paint and what asked for it, on stderr
#include "common/gui/modAppFolder.h"
#include "harvester/GleanCommand.h"
#include "harvester/WorkbookList.h"
#include "harvester/gui/frmMain.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRegion>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

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

// GLEAN_BENCH_ITERATIONS: runs of each, for instruction counts under callgrind.
const int kIterations = std::atoi(Env("GLEAN_BENCH_ITERATIONS", "0").c_str());
const bool kStretchShow = kIterations > 0;

int Workbooks()
{
    return static_cast<int>(std::min<size_t>(ListWorkbooks(kIn).size(), 100));
}

// The input folder under a new name for each run: a link to it.
class FreshIn {
public:
    std::string Next()
    {
        if (!link_.isEmpty())
            QFile::remove(link_);
        // Of one width for every run: paths that reach the File column's
        // limit in some runs and not in others would make runs incomparable.
        link_ = dir_.filePath(QStringLiteral("%1").arg(++n_, 6, 10, QLatin1Char('0')));
        QFile::link(QFileInfo(QString::fromStdString(kIn)).absoluteFilePath(), link_);
        return link_.toStdString();
    }

private:
    QTemporaryDir dir_;
    QString link_;
    int n_ = 0;
};

// One run of glean, in this process: checks, listing, reading, appending,
// its lines of output. "" or what went wrong.
class GleanJob {
public:
    GleanJob()
    {
        o_.formType = kForm, o_.inDir = kIn, o_.dataFile = tmp_.filePath("data.csv").toStdString();
        o_.jobs = kJobs;
    }
    // Untimed: a fresh data file and input folder name.
    void Prepare()
    {
        std::remove(o_.dataFile->c_str());
        o_.inDir = in_.Next();
    }
    std::string Run()
    {
        std::ostringstream err;
        return RunGlean(o_, err, false) == kAllHarvested ? std::string() : err.str();
    }

private:
    QTemporaryDir tmp_;
    FreshIn in_;
    GleanOptions o_;
};

// One run of glean as a user types it: the program started, harvesting the
// same folder into a fresh data file, and ended. Its output goes nowhere.
class GleanCommandJob {
public:
    GleanCommandJob()
        : program_(Env("GLEAN_BENCH_GLEAN", QCoreApplication::applicationDirPath().toStdString() + "/../bin/glean")),
          data_(tmp_.filePath("data.csv").toStdString())
    {}
    void Prepare()
    {
        std::remove(data_.c_str());
        inDir_ = fresh_.Next();
    }
    std::string Run()
    {
        const std::string jobs = std::to_string(kJobs);
        std::vector<std::string> args = {program_, "/type", kForm, "/in", inDir_, "/data", data_, "/jobs", jobs};
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        const int failed = posix_spawn(&pid, program_.c_str(), &quiet, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&quiet);
        if (failed != 0)
            return program_ + ": " + std::strerror(failed);
        int status = 0;
        if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != kAllHarvested)
            return program_ + " did not harvest every workbook";
        return std::string();
    }

private:
    QTemporaryDir tmp_;
    FreshIn fresh_;
    const std::string program_;
    const std::string data_;
    std::string inDir_;
};

// One run of the window, shown before: from a click on Run to the list and
// bar painted as the run left them.
class WindowJob {
public:
    WindowJob()
    {
        setAppFolder(tmp_.path());
        w_.show();
        w_.txtFormType->setText(QString::fromStdString(kForm));
        w_.txtInDir->setText(QString::fromStdString(kIn));
        w_.txtOutDir->setText(QString());
        w_.txtExportTo->setText(data_);
        // Under callgrind a run takes some fifty times longer: the list and
        // bar would be brought up to date several times and the text cursor
        // would blink, where a run at full speed shows them once, at its end.
        if (kStretchShow) {
            QApplication::setCursorFlashTime(0);
            for (QTimer* t : w_.findChildren<QTimer*>())
                if (t->interval() == frmMain::kShowRunMs)
                    t->setInterval(frmMain::kShowRunMs * 1000);
        }
    }
    // Untimed: a fresh data file and the input folder, by default under a
    // new name; the box showing it painted.
    void Prepare(const QString& in = QString())
    {
        QFile::remove(data_);
        w_.txtInDir->setText(in.isEmpty() ? QString::fromStdString(in_.Next()) : in);
        QApplication::processEvents();
    }
    std::string Run()
    {
        QEventLoop loop;
        QObject::connect(&w_, &frmMain::runFinished, &loop, &QEventLoop::quit);
        w_.cmdGo->click();
        loop.exec();
        QApplication::processEvents();  // the paint the run's end asks for
        return w_.LastResult().done == workbooks_ ? std::string() : "the window's run did not harvest every workbook";
    }
    // What the end of a run paints (the list, the bar and its caption, Run
    // and Preview), painted again as it stands: best of 50, in ms.
    double RunPaintMs()
    {
        QRegion shown;
        for (QWidget* w : std::initializer_list<QWidget*>{w_.ListView1, w_.prgRun, w_.Label5, w_.cmdGo, w_.cmdPreview})
            shown += QRect(w->mapTo(&w_, QPoint(0, 0)), w->size());
        double best = 1e300;
        for (int i = 0; i < 50; ++i) {
            const auto start = std::chrono::steady_clock::now();
            w_.repaint(shown);
            const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
            best = std::min(best, took.count());
        }
        return best;
    }
    // The window as drawn now, the data file's box showing a name that is
    // the same in every process.
    QImage Grab()
    {
        w_.txtExportTo->setText(QStringLiteral("data.csv"));
        return w_.grab().toImage();
    }

private:
    QTemporaryDir tmp_;
    FreshIn in_;
    const QString data_ = tmp_.filePath("data.csv");
    const int workbooks_ = Workbooks();  // counted once: listing the folder is no part of a run
    frmMain w_;
};

template <class Job>
void JobRun(benchmark::State& state)
{
    if (ListWorkbooks(kIn).size() > 100)
        state.SkipWithError("GLEAN_BENCH_IN holds more than 100 workbooks (the window takes 100 per run)");
    Job job;
    for (auto _ : state) {
        state.PauseTiming();
        job.Prepare();
        state.ResumeTiming();
        if (const std::string error = job.Run(); !error.empty())
            state.SkipWithError(error.c_str());
    }
    state.SetItemsProcessed(state.iterations() * Workbooks());
}

// The window's run / glean's run: `pairs` runs of each, taken in turns so
// that both meet the machine as it is, and the best time of each compared.
// Start-up (process, QApplication, the window shown) is outside both times.
// Also printed: per run, page faults, context switches and processor time.
int Ratio(int pairs)
{
    if (ListWorkbooks(kIn).size() > 100) {
        std::fprintf(stderr, "GLEAN_BENCH_IN holds more than 100 workbooks (the window takes 100 per run)\n");
        return 1;
    }
    GleanJob glean;
    WindowJob window;
    GleanCommandJob command;
    enum { kGlean, kWindow, kCommand, kKinds };
    double best[kKinds] = {1e300, 1e300, 1e300};
    double use[2][5] = {};  // minor faults, voluntary and forced switches, user and system ms
    auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    for (int i = 0; i < pairs; ++i)
        for (int k = 0; k < kKinds; ++k) {
            k == kGlean ? glean.Prepare() : k == kWindow ? window.Prepare() : command.Prepare();
            rusage r0{}, r1{};
            getrusage(RUSAGE_SELF, &r0);
            const auto start = std::chrono::steady_clock::now();
            const std::string error = k == kGlean ? glean.Run() : k == kWindow ? window.Run() : command.Run();
            const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
            getrusage(RUSAGE_SELF, &r1);
            if (!error.empty()) {
                std::fprintf(stderr, "%s\n", error.c_str());
                return 1;
            }
            best[k] = std::min(best[k], took.count());
            if (k == kCommand)
                continue;  // its use is another process's
            const double d[5] = {double(r1.ru_minflt - r0.ru_minflt), double(r1.ru_nvcsw - r0.ru_nvcsw),
                                 double(r1.ru_nivcsw - r0.ru_nivcsw), ms(r1.ru_utime) - ms(r0.ru_utime),
                                 ms(r1.ru_stime) - ms(r0.ru_stime)};
            for (int j = 0; j < 5; ++j)
                use[k][j] += d[j] / pairs;
        }
    for (int k = 0; k < 2; ++k)
        std::printf("%s per run: %.0f minor faults, %.1f + %.1f context switches, %.2f + %.2f ms user + system\n",
                    k == kGlean ? "glean" : "window", use[k][0], use[k][1], use[k][2], use[k][3], use[k][4]);
    std::printf("glean %.2f ms, window %.2f ms, window/glean %.2f (%d workbooks, %d jobs, best of %d)\n", best[kGlean],
                best[kWindow], best[kWindow] / best[kGlean], Workbooks(), kJobs, pairs);
    // Part of every window run, whatever its size: against 1.2, it alone may leave nothing.
    std::printf("paint %.2f ms: what a run's end paints, painted alone\n", window.RunPaintMs());
    // A user who runs glean waits for its process as well: the window is open already.
    std::printf("command %.2f ms, window/command %.2f: glean run as a command, its process started and ended\n",
                best[kCommand], best[kWindow] / best[kCommand]);
    return 0;
}

// Prints each paint event (widget, rectangle) and each posted layout or
// update request while it lives.
class PaintLog : public QObject {
public:
    PaintLog() { qApp->installEventFilter(this); }
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == QEvent::Paint) {
            const QRect r = static_cast<QPaintEvent*>(e)->rect();
            std::fprintf(stderr, "paint %s %s %d,%d %dx%d\n", o->metaObject()->className(), qPrintable(o->objectName()),
                         r.x(), r.y(), r.width(), r.height());
        } else if (e->type() == QEvent::UpdateRequest || e->type() == QEvent::LayoutRequest) {
            std::fprintf(stderr, "%s %s %s\n", e->type() == QEvent::UpdateRequest ? "update" : "layout",
                         o->metaObject()->className(), qPrintable(o->objectName()));
        }
        return false;
    }
};

// Two runs of one window, the second with its paints logged when asked:
// from the second on, the window starts as a user's next run finds it. The
// input folder keeps its name, so that two builds' grabs compare.
int TwoRuns(WindowJob& window, bool logSecond)
{
    for (int i = 0; i < 2; ++i) {
        window.Prepare(QString::fromStdString(kIn));
        std::unique_ptr<PaintLog> log(i == 1 && logSecond ? new PaintLog : nullptr);
        if (log)
            std::fprintf(stderr, "-- run\n");
        if (const std::string error = window.Run(); !error.empty()) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
    }
    return 0;
}

int Paints()
{
    WindowJob window;
    return TwoRuns(window, true);
}

int Grab(const QString& file)
{
    WindowJob window;
    if (TwoRuns(window, false) != 0)
        return 1;
    return window.Grab().save(file) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // GLEAN_BENCH_RATIO: that many runs of each in turns, and only the ratio.
    if (const int pairs = std::atoi(Env("GLEAN_BENCH_RATIO", "0").c_str()); pairs > 0)
        return Ratio(pairs);
    if (const std::string grab = Env("GLEAN_BENCH_GRAB", ""); !grab.empty())
        return Grab(QString::fromStdString(grab));
    if (!Env("GLEAN_BENCH_PAINTS", "").empty())
        return Paints();
    for (auto [name, fn] : {std::pair{"GleanRun", &JobRun<GleanJob>}, std::pair{"WindowRun", &JobRun<WindowJob>}}) {
        auto* b = benchmark::RegisterBenchmark(name, fn)->Unit(benchmark::kMillisecond)->UseRealTime();
        if (kIterations > 0)
            b->Iterations(kIterations);
        else
            b->MinTime(1.0);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
