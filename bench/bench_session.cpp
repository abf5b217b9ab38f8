// The program as a person meets it, watched on an X server: the real executable is
// started with a document on its command line, and the benchmark looks at the screen.
//  - cold start to the main window shown (the X server maps it) and to the first preview
//    page shown (text appears in the preview's part of the window), 36 KB document; the
//    baseline is the smallest Qt WebEngine window showing that page already converted;
//  - cold start to the window shown with a 5 MB document;
//  - memory (PSS) of the program and all its WebEngine processes with the 36 KB page shown;
//  - idle CPU over the program's processes, first with the editor focused and its caret
//    blinking, then with the keyboard focus in another window;
//  - one typed key to the new page shown (32 KB document, UpdateMilliseconds=50), next
//    to Pandoc's own run on that document.
// Run under an X server, with the real Pandoc on PATH:
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/bench_session [idle seconds] [runs]
#include "BenchFigures.h"
#include "GeneratedMarkdown.h"
#include "ProcessTree.h"
#include "XSession.h"
#include "settings/Settings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Figures {
    std::vector<double> window, firstPage, baseWindow, basePage, bigWindow, keyToPage, pandoc;
    double pssMiB = -1, basePssMiB = -1;
    int processes = 0, baseProcesses = 0;
    double focusedCpu = -1, unfocusedCpu = -1, baseIdleCpu = -1;
    bool caretBlinks = false;
};

// CPU use of the program's processes over `seconds`, in percent of one core.
double idleCpu(XSession &session, int seconds)
{
    const QList<qint64> family = ProcessFamily(session.pid());
    const qint64 before = TotalCpuTicks(family);
    QElapsedTimer clock;
    clock.start();
    session.pause(seconds * 1000);
    const qint64 after = TotalCpuTicks(family);
    return 100.0 * double(after - before) / double(CpuTicksPerSecond()) / (clock.elapsed() / 1000.0);
}

// Whether the editor's pixels change by themselves (a blinking caret) within 1.5 s.
bool blinks(XSession &session, const QRect &area)
{
    const QByteArray first = session.grab(area);
    for (int i = 0; i < 15; ++i) {
        session.pause(100);
        if (ChangedPixels(first, session.grab(area)) > 0)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const int idleSeconds = argc > 1 ? std::max(1, atoi(argv[1])) : 30;
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 5;
    XSession session;
    if (!session.connected()) {
        std::fprintf(stderr, "no X server (run under xvfb-run)\n");
        return 1;
    }
    const ProgramHome home;
    const QString docs = home.docs();
    const QString doc36 = docs + QStringLiteral("notes.md");
    const QString doc32 = docs + QStringLiteral("typing.md");
    const QString doc5m = docs + QStringLiteral("large.md");
    const QString page36 = docs + QStringLiteral("notes.html");
    writeFile(doc36, GeneratedMarkdown(36 * 1024));
    writeFile(doc32, GeneratedMarkdown(32 * 1024, 777));
    writeFile(doc5m, GeneratedMarkdown(5 * 1024 * 1024));
    Settings settings;
    settings.UpdateMilliseconds = 50;
    WriteSettingsFile(home.settingsFile(), settings);
    if (pandocMs(doc36, page36) < 0) {
        std::fprintf(stderr, "pandoc did not run\n");
        return 1;
    }
    // The field was measured with --disable-gpu; BENCH_CHROMIUM_FLAGS measures otherwise.
    const QString chromiumFlags = qEnvironmentVariableIsSet("BENCH_CHROMIUM_FLAGS")
                                      ? qEnvironmentVariable("BENCH_CHROMIUM_FLAGS")
                                      : QStringLiteral("--disable-gpu --disable-logging");
    const QStringList env = home.environment(chromiumFlags);
    const QString program = QStringLiteral(QUILLDOWN_BINARY);
    const QString baseline = QStringLiteral(QUILLDOWN_BASELINE_BINARY);
    Figures f;

    // Starts `binary` with `file` and waits for its window and its page.
    auto startShown = [&](const QString &binary, const QString &file, double *window, double *page) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            session.start(binary, {file}, env);
            if (session.waitForWindow(30000)) {
                *window = session.windowShownMs();
                if (!page)
                    return true;
                *page = session.waitForPixels(PreviewArea(session.windowRect()), TextShown, 60000);
                if (*page >= 0)
                    return true;
            }
            session.stop();
        }
        return false;
    };

    // Warm the file cache for both programs first.
    double w = 0, p = 0;
    startShown(program, doc36, &w, &p);
    session.stop();
    startShown(baseline, page36, &w, &p);
    session.stop();

    for (int i = 0; i < runs; ++i) {
        if (!startShown(program, doc36, &w, &p)) {
            std::fprintf(stderr, "Quilldown's window or page did not appear\n");
            return 1;
        }
        f.window.push_back(w);
        f.firstPage.push_back(p);
        if (i == 0) {
            // The page is shown: let the last frames settle before looking at memory and CPU.
            session.pause(2000);
            const QList<qint64> family = ProcessFamily(session.pid());
            f.processes = int(family.size());
            f.pssMiB = TotalPssKiB(family) / 1024.0;
            session.focusProgram();
            session.pause(500);
            f.caretBlinks = blinks(session, EditorArea(session.windowRect()));
            f.focusedCpu = idleCpu(session, idleSeconds);
            session.focusElsewhere();
            session.pause(500);
            f.unfocusedCpu = idleCpu(session, idleSeconds);
        }
        session.stop();

        if (!startShown(baseline, page36, &w, &p)) {
            std::fprintf(stderr, "the baseline window or page did not appear\n");
            return 1;
        }
        f.baseWindow.push_back(w);
        f.basePage.push_back(p);
        if (i == 0) {
            session.pause(2000);
            const QList<qint64> family = ProcessFamily(session.pid());
            f.baseProcesses = int(family.size());
            f.basePssMiB = TotalPssKiB(family) / 1024.0;
            session.focusProgram();
            f.baseIdleCpu = idleCpu(session, idleSeconds);
        }
        session.stop();
    }

    for (int i = 0; i < std::max(1, runs / 2); ++i) {
        if (!startShown(program, doc5m, &w, nullptr)) {
            std::fprintf(stderr, "Quilldown's window did not appear with the 5 MB document\n");
            return 1;
        }
        f.bigWindow.push_back(w);
        session.stop();
    }

    // One key at a time at the top of the document; each changes the first rendered line.
    if (!startShown(program, doc32, &w, &p)) {
        std::fprintf(stderr, "Quilldown's window or page did not appear\n");
        return 1;
    }
    session.focusProgram();
    session.pause(1500);
    const QRect area = PreviewArea(session.windowRect());
    // A key's time is mostly Pandoc's, which varies from run to run: three keys per run.
    const int keys = 3 * runs;
    for (int i = 0; i < keys + 2; ++i) {
        const QByteArray before = session.grab(area);
        const double typed = session.elapsedMs();
        session.typeText("x");
        const double shown = session.waitForPixels(
            area, [&](const QByteArray &now) { return ChangedPixels(before, now) > 50; }, 20000);
        if (shown < 0) {
            std::fprintf(stderr, "a typed key never changed the preview\n");
            return 1;
        }
        if (i >= 2)   // the first keys warm the caches
            f.keyToPage.push_back(shown - typed);
        session.pause(1000);
    }
    session.stop();
    for (int i = 0; i < keys; ++i)
        f.pandoc.push_back(pandocMs(doc32, docs + QStringLiteral("typing.html")));

    std::printf("session on an X server (median of %d runs; Chromium flags: %s)\n", runs,
                qPrintable(chromiumFlags));
    std::printf("  cold start to window shown, 36 KB document: %8.1f ms   (bare WebEngine window: %.1f ms)\n",
                median(f.window), median(f.baseWindow));
    std::printf("  cold start to first preview page shown:     %8.1f ms   (bare window with the page: %.1f ms)\n",
                median(f.firstPage), median(f.basePage));
    std::printf("  cold start to window shown, 5 MB document:  %8.1f ms\n", median(f.bigWindow));
    std::printf("  memory with the 36 KB page shown:           %8.1f MiB PSS over %d processes   (bare window: "
                "%.1f MiB over %d)\n",
                f.pssMiB, f.processes, f.basePssMiB, f.baseProcesses);
    std::printf("  idle CPU over %d s, editor focused:         %8.2f %% of a core (caret blinking: %s)   (bare "
                "window: %.2f %%)\n",
                idleSeconds, f.focusedCpu, f.caretBlinks ? "yes" : "NO", f.baseIdleCpu);
    std::printf("  idle CPU over %d s, focus in another window: %7.2f %% of a core\n", idleSeconds,
                f.unfocusedCpu);
    std::printf("  one typed key to the new page shown, 32 KB: %8.1f ms   (Pandoc alone: %.1f ms; %d keys)\n",
                median(f.keyToPage), median(f.pandoc), keys);
    // One line per figure for the benchmark table: row|measure|figure|baseline
    std::printf("row|Cold start to window shown (36 KB document)|%.0f ms|%.0f ms (bare WebEngine window)\n",
                median(f.window), median(f.baseWindow));
    std::printf("row|Cold start to first preview page shown (36 KB)|%.0f ms|%.0f ms (bare window, page ready)\n",
                median(f.firstPage), median(f.basePage));
    std::printf("row|Cold start to window shown (5 MB document)|%.0f ms|-\n", median(f.bigWindow));
    std::printf("row|Memory, all processes, 36 KB page shown|%.0f MiB PSS (%d processes)|%.0f MiB (bare window, %d)\n",
                f.pssMiB, f.processes, f.basePssMiB, f.baseProcesses);
    std::printf("row|Idle CPU over %d s, editor focused, caret blinking|%.2f %%|%.2f %% (bare window)\n", idleSeconds,
                f.focusedCpu, f.baseIdleCpu);
    std::printf("row|Idle CPU over %d s, window not focused|%.2f %%|-\n", idleSeconds, f.unfocusedCpu);
    std::printf("row|One key to new page shown (32 KB, 50 ms quiet time, median of %d keys)|%.0f ms|%.0f ms "
                "(Pandoc alone)\n",
                keys, median(f.keyToPage), median(f.pandoc));
    return 0;
}
