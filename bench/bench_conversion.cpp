// Preview conversion cost: the worker's time from the end of the quiet time to the
// published page, against a bare Pandoc run on the same file with the same arguments,
// for a 10 KB and a 1 MB document; and the worker thread's CPU use while idle.
//
// Runs the real program (offscreen) with the real Pandoc found on PATH.
//   build/bench/bench_conversion [10 KB runs] [1 MB runs] [idle seconds]   (default 10 4 10)
#include "BenchFigures.h"
#include "BenchPrelude.h"
#include "GeneratedMarkdown.h"
#include "WaitFor.h"
#include "core/AppState.h"
#include "app/ConversionHost.h"
#include "app/MainWindow.h"
#include "app/PreviewHost.h"
#include "app/Startup.h"
#include "conversion/ConversionWorker.h"
#include "conversion/ConverterRun.h"
#include "files/DocumentFiles.h"
#include "conversion/ConverterProcess.h"
#include "editor/Editor.h"
#include "settings/Paths.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

void settle(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
}

// Nanoseconds the worker thread has spent on a CPU, from the scheduler's counters.
qint64 workerCpuNanoseconds()
{
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid + QStringLiteral("/comm")));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != "QuilldownWorker")
            continue;
        QFile sched(tasks.filePath(tid + QStringLiteral("/schedstat")));
        if (!sched.open(QIODevice::ReadOnly))
            return -1;
        return sched.readAll().split(' ').value(0).toLongLong();
    }
    return -1;
}

struct Figures {
    double bare = 0;
    double worker = 0;
    double bareMin = 0;
    double workerMin = 0;
};

Figures measure(const QByteArray &text, int runs, int settleMs, const QString &scratch)
{
    AppState &s = app();
    std::vector<double> bare, worker;
    auto waitIdle = [&] {
        waitFor([&] { return s.converterState.load() == ConverterIdle; }, 120000);
    };
    // One preview conversion; milliseconds from the request to the published page.
    auto workerRun = [&]() -> double {
        waitIdle();
        settle(settleMs);
        const QString before = ActiveConversionHost()->lastPage();
        QElapsedTimer clock;
        clock.start();
        ActiveConversionHost()->refresh();   // the quiet time is over now
        if (!waitFor([&] { return ActiveConversionHost()->lastPage() != before; }, 120000))
            return -1;
        const double ms = clock.nsecsElapsed() / 1e6;
        // Taken here so the preview does not load it: a 1 MB page keeps WebEngine busy
        // for seconds, which would slow whatever is measured next.
        s.previewReadyPath.take();
        return ms;
    };
    SetEditorText(mainWindow()->markdownEditor(), text);
    if (workerRun() < 0) {
        std::fprintf(stderr, "no page was published\n");
        return {};
    }
    // The same input, head and stylesheet link as the worker's, run directly.
    const QString page = ActiveConversionHost()->lastPage();
    const QString input = ReplaceExtension(page, QStringLiteral("md"));
    QFile::remove(scratch + QStringLiteral("bare.md"));
    QFile::copy(input, scratch + QStringLiteral("bare.md"));
    QFile::remove(scratch + QStringLiteral("bare.head.txt"));
    QFile::copy(HeadFileFor(input), scratch + QStringLiteral("bare.head.txt"));
    const QStringList arguments = ConverterArguments(
        s.settings.MarkdownVersion, scratch + QStringLiteral("bare.htm"),
        QStringLiteral("file://") + FolderPart(page) + QStringLiteral("_tempair.css"),
        scratch + QStringLiteral("bare.head.txt"), QStringLiteral("PageTitle"), scratch + QStringLiteral("bare.md"));
    auto bareRun = [&]() -> double {
        waitIdle();
        settle(settleMs);
        QFile::remove(scratch + QStringLiteral("bare.htm"));
        // On a thread of its own while the main thread keeps serving events, as during a
        // worker run: a main thread blocked in a wait makes WebEngine's threads busy.
        std::atomic<qint64> elapsed{-1};
        const QString program = s.converterPath.get();
        QThread *runner = QThread::create([&] {
            QProcess process;
            process.setWorkingDirectory(scratch);
            process.setStandardInputFile(QProcess::nullDevice());
            process.setStandardOutputFile(QProcess::nullDevice());
            QElapsedTimer clock;
            clock.start();
            process.start(program, arguments);
            process.waitForFinished(-1);
            elapsed = clock.nsecsElapsed();
        });
        runner->start();
        waitFor([&] { return elapsed.load() >= 0; }, 600000);
        runner->wait();
        delete runner;
        return elapsed.load() / 1e6;
    };
    // Alternating order, so neither side always runs first after a pause.
    for (int run = 0; run < runs; ++run) {
        if (run % 2) {
            worker.push_back(workerRun());
            bare.push_back(bareRun());
        } else {
            bare.push_back(bareRun());
            worker.push_back(workerRun());
        }
    }
    return {median(bare), median(worker), *std::min_element(bare.begin(), bare.end()),
            *std::min_element(worker.begin(), worker.end())};
}

} // namespace

int main(int argc, char **argv)
{
    BenchPreludeOptions options;
    options.forceOffscreen = true;
    BenchApplication application(argc, argv, options);
    const int smallRuns = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    const int largeRuns = argc > 2 ? std::max(1, atoi(argv[2])) : 4;
    const int idleSeconds = argc > 3 ? std::max(1, atoi(argv[3])) : 10;

    const BenchSandbox sandbox;
    const QString root = sandbox.root();

    if (!StartApplication({QStringLiteral("bench_conversion")})) {
        std::fprintf(stderr, "the program did not start\n");
        return 1;
    }
    AppState &s = app();
    if (!waitFor([&] { return !ActiveConversionHost()->lastPage().isEmpty(); }, 60000)) {
        std::fprintf(stderr, "no converter: %s\n", qPrintable(s.converterPath.get()));
        Shutdown();
        return 1;
    }
    std::printf("converter: %s\n", qPrintable(s.converterPath.get()));
    {
        QFile load(QStringLiteral("/proc/loadavg"));
        if (load.open(QIODevice::ReadOnly))
            std::printf("load average at start: %s\n", load.readAll().trimmed().constData());
    }

    struct Case {
        const char *name;
        qsizetype size;
        int runs;
        int settleMs;
    };
    for (const Case &c : {Case{"10 KB", 10 * 1024, smallRuns, 300}, Case{"1 MB", 1024 * 1024, largeRuns, 1000}}) {
        const Figures f = measure(GeneratedMarkdown(c.size), c.runs, c.settleMs, root);
        const double overhead = f.worker - f.bare;
        const double allowed = f.bare * 0.10 + 15.0;
        std::printf("%-6s median of %d: bare pandoc %8.1f ms, worker %8.1f ms, overhead %7.1f ms (%5.1f%%; "
                    "target < %.1f ms) %s\n",
                    c.name, c.runs, f.bare, f.worker, overhead, f.bare > 0 ? 100.0 * overhead / f.bare : 0.0,
                    allowed, overhead < allowed ? "ok" : "OVER");
        std::printf("       fastest: bare pandoc %8.1f ms, worker %8.1f ms\n", f.bareMin, f.workerMin);
        if (f.worker > 0)
            std::printf("row|Preview conversion, %s document, request to page published (median of %d)|%.0f ms|"
                        "%.0f ms (bare Pandoc)\n",
                        c.name, c.runs, f.worker, f.bare);
        else
            std::printf("row|Preview conversion, %s document|no page published|-\n", c.name);
        std::fflush(stdout);
    }

    // Idle: nothing pending, the main loop running as usual.
    SetEditorText(mainWindow()->markdownEditor(), QByteArray("idle\n"));
    ActiveConversionHost()->refresh();
    waitFor([&] { return s.converterState.load() == ConverterIdle; }, 120000);
    settle(3000);
    const qint64 cpuBefore = workerCpuNanoseconds();
    QElapsedTimer clock;
    clock.start();
    settle(idleSeconds * 1000);
    const qint64 cpuAfter = workerCpuNanoseconds();
    const double wall = clock.nsecsElapsed();
    if (cpuBefore < 0 || cpuAfter < 0) {
        std::printf("idle: worker thread not found\n");
        std::printf("row|Idle conversion worker CPU over %d s|worker thread not found|-\n", idleSeconds);
    } else {
        std::printf("idle worker CPU over %.1f s: %.3f ms = %.4f%% of one core (target < 0.5%%)\n", wall / 1e9,
                    (cpuAfter - cpuBefore) / 1e6, 100.0 * (cpuAfter - cpuBefore) / wall);
        std::printf("row|Idle conversion worker CPU over %d s|%.4f %% of a core|-\n", idleSeconds,
                    100.0 * (cpuAfter - cpuBefore) / wall);
    }
    Shutdown();
    return 0;
}
