// Typing into a 1 MB document while the preview keeps converting and reloading, watched on
// an X server with the real executable (UpdateMilliseconds=50, the preview scrolled away
// from the top so that every reload restores an offset):
//  - the longest time from a typed key to its effect drawn in the editor, over 200 keys at
//    8 per second (a letter and a BackSpace in turn), typed in bursts whose pauses let pages
//    arrive and reload meanwhile;
//  - the last key of a burst that overtook a running conversion to the preview showing
//    the newest text (the time of the last change of the preview's pixels).
// Both next to Pandoc alone on the same text, measured in the same run.
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/bench_typing [keys] [overtake runs]
#include "BenchFigures.h"
#include "GeneratedMarkdown.h"
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

// A typed or deleted character shifts the rest of the first line: far more than a caret blink.
constexpr int kDrawnPixels = 60;

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const int keys = argc > 1 ? std::max(20, atoi(argv[1])) : 200;
    const int overtakeRuns = argc > 2 ? std::max(1, atoi(argv[2])) : 3;
    XSession session;
    if (!session.connected()) {
        std::fprintf(stderr, "no X server (run under xvfb-run)\n");
        return 1;
    }
    const ProgramHome home;
    const QString document = home.docs() + QStringLiteral("book.md");
    writeFile(document, GeneratedMarkdown(1024 * 1024, 31337));
    Settings settings;
    settings.UpdateMilliseconds = 50;
    WriteSettingsFile(home.settingsFile(), settings);

    std::vector<double> pandoc;
    for (int i = 0; i < 3; ++i)
        pandoc.push_back(pandocMs(document, home.docs() + QStringLiteral("alone.html")));
    const double pandocRun = median(pandoc);
    if (pandocRun < 0) {
        std::fprintf(stderr, "pandoc did not run\n");
        return 1;
    }

    session.start(QStringLiteral(QUILLDOWN_BINARY), {document}, home.environment());
    if (!session.waitForWindow(30000) ||
        session.waitForPixels(PreviewArea(session.windowRect()), TextShown, 120000) < 0) {
        std::fprintf(stderr, "Quilldown's window or page did not appear\n");
        return 1;
    }
    const QRect window = session.windowRect();
    const QRect editor = EditorArea(window);
    const QRect preview = PreviewArea(window);
    // The reader is further down the page, so a reload has an offset to restore.
    session.scrollWheel(preview.center(), 15);
    session.pause(1500);
    session.focusProgram();
    session.pause(500);

    // Keys at 8 per second, in bursts; each pause is long enough for a page to be
    // converted (a newer key would stop the run), so the next burst is typed while it loads
    // and is scrolled into place.
    std::vector<double> gaps;
    int undrawn = 0;
    // Changes of the preview's pixels while typing: pages that arrived and were reloaded
    // (seen where a new line moves the page; a reload may change nothing visible).
    int previewChanges = 0;
    QByteArray previewBefore = session.grab(preview);
    for (int key = 0; key < keys; ++key) {
        // Bursts of 21 keys: each leaves the first line a heading or a paragraph in turn, so
        // each new page moves the text below it and its reload shows.
        if (key > 0 && key % 21 == 0)
            session.pause(int(pandocRun * 1.5) + 500);
        const double due = session.elapsedMs() + 125;
        const QByteArray before = session.grab(editor);
        const double typed = session.elapsedMs();
        // A letter, then a BackSpace: the line never grows past the part that is watched.
        if (key % 2 == 0)
            session.typeText("q");
        else
            session.typeKey("BackSpace");
        const double drawn = session.waitForPixels(
            editor, [&](const QByteArray &now) { return ChangedPixels(before, now) > kDrawnPixels; }, 30000, 1);
        if (drawn < 0)
            ++undrawn;
        else
            gaps.push_back(drawn - typed);
        const QByteArray previewNow = session.grab(preview);
        if (ChangedPixels(previewBefore, previewNow) > 50) {
            ++previewChanges;
            previewBefore = previewNow;
        }
        const double left = due - session.elapsedMs();
        if (left > 0)
            session.pause(int(left));
    }
    session.pause(int(pandocRun) * 2 + 2000);
    // Back at the top, where the typed letters show in the page.
    session.scrollWheel(preview.center(), -60);
    session.pause(1500);

    // A key starts a conversion; halfway through it a burst overtakes it. The figure ends
    // at the preview's last change, so a stale page shown first does not end it early.
    std::vector<double> overtaken;
    for (int run = 0; run < overtakeRuns; ++run) {
        session.typeText("z");
        session.pause(50 + int(pandocRun / 2));
        for (int i = 0; i < 5; ++i) {
            session.typeText("z");
            if (i < 4)
                session.pause(125);
        }
        const double lastKey = session.elapsedMs();
        QByteArray shown = session.grab(preview);
        double lastChange = -1;
        const double quietFor = std::max(5000.0, pandocRun * 3);
        for (double since = lastKey; session.elapsedMs() - since < quietFor;) {
            session.pause(5);
            const QByteArray now = session.grab(preview);
            if (ChangedPixels(shown, now) > 50) {
                lastChange = session.elapsedMs();
                since = lastChange;
                shown = now;
            }
            if (session.elapsedMs() - lastKey > 120000)
                break;
        }
        if (lastChange >= 0)
            overtaken.push_back(lastChange - lastKey);
    }
    session.stop();

    const double longest = gaps.empty() ? -1 : *std::max_element(gaps.begin(), gaps.end());
    std::vector<double> sorted = gaps;
    std::sort(sorted.begin(), sorted.end());
    const double p99 = sorted.empty() ? -1 : sorted[std::min(sorted.size() - 1, sorted.size() * 99 / 100)];
    std::printf("typing into a 1 MB document on an X server (UpdateMilliseconds=50, Pandoc alone: %.0f ms)\n",
                pandocRun);
    std::printf("  key to character drawn: longest %.0f ms, p99 %.0f ms, median %.0f ms over %zu keys (%d never "
                "drawn); the preview changed %d times meanwhile\n",
                longest, p99, median(gaps), gaps.size(), undrawn, previewChanges);
    std::printf("  last key of an overtaking burst to the newest page: median %.0f ms over %zu runs\n",
                median(overtaken), overtaken.size());
    // One line per figure for the benchmark table: row|measure|figure|baseline
    std::printf("row|Longest key-to-character gap, %d keys at 8/s into 1 MB while pages reload|%.0f ms%s|%.0f ms "
                "(Pandoc alone)\n",
                keys, longest, undrawn ? " (keys never drawn)" : "", pandocRun);
    std::printf("row|Last key to newest page, 1 MB, burst overtaking a conversion (median of %zu)|%.0f ms|%.0f ms "
                "(Pandoc alone) + 50 ms quiet time\n",
                overtaken.size(), median(overtaken), pandocRun);
    return undrawn == 0 && !overtaken.empty() ? 0 : 1;
}
