// Cold start: from starting the program to its main window being shown, next to the
// smallest Qt WebEngine window built in the same tree. Run under an X server:
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/bench_startup [runs]
#include "StartupProbe.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const int runs = argc > 1 ? atoi(argv[1]) : 7;
    QTemporaryDir home;
    const QStringList env = {
        QStringLiteral("XDG_CONFIG_HOME=") + home.path() + QStringLiteral("/config"),
        QStringLiteral("XDG_DATA_HOME=") + home.path() + QStringLiteral("/data"),
        QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu --disable-logging"),
        QStringLiteral("QT_LOGGING_RULES=qt.webenginecontext.info=false;*.warning=false"),
        QStringLiteral("QT_QPA_PLATFORM=xcb"),
    };
    QList<double> program, baseline;
    // Warm the file cache once for both, so the runs compare start-up work, not disk reads.
    MeasureWindowShown(QStringLiteral(QUILLDOWN_BINARY), {}, env, QStringLiteral("Quilldown"), 30000);
    MeasureWindowShown(QStringLiteral(QUILLDOWN_BASELINE_BINARY), {}, env, QStringLiteral("Baseline"), 30000);
    // A window that does not appear is tried again twice before the run is given up.
    auto measure = [&](const char *binary, const char *title) {
        StartupRun run;
        for (int attempt = 0; attempt < 3 && !run.ok; ++attempt)
            run = MeasureWindowShown(QString::fromUtf8(binary), {}, env, QString::fromUtf8(title), 30000);
        return run;
    };
    for (int i = 0; i < runs; ++i) {
        const StartupRun p = measure(QUILLDOWN_BINARY, "Quilldown");
        const StartupRun b = measure(QUILLDOWN_BASELINE_BINARY, "Baseline");
        if (!p.ok || !b.ok) {
            std::fprintf(stderr, "the %s window did not appear (is DISPLAY set? run under xvfb-run)\n",
                         p.ok ? "baseline" : "Quilldown");
            return 1;
        }
        program << p.windowShownMs;
        baseline << b.windowShownMs;
    }
    std::printf("cold start to window shown (median of %d runs)\n", runs);
    std::printf("  Quilldown:                 %7.1f ms\n", Median(program));
    std::printf("  baseline WebEngine window: %7.1f ms\n", Median(baseline));
    return 0;
}
