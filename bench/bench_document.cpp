// Document costs for a 5 MB Markdown file:
//  - cold start with the file on the command line, in this process: from StartApplication
//    to the preview's loadFinished for the first converted page (a file:// URL), which
//    includes the worker's Pandoc run on the whole file and WebEngine's first load;
//  - OpenDocument of the file (read + both editors filled), median of several runs;
//  - SaveDocument of the named file until its page is exported in the background, with
//    the longest main-thread stall meanwhile, next to Pandoc alone on the same file;
//    median of several runs; and the document write alone.
// Runs the real program offscreen with the real Pandoc on PATH, in temporary folders.
//   build/bench/bench_document [open runs] [save runs]
#include "BenchFigures.h"
#include "BenchPrelude.h"
#include "GeneratedMarkdown.h"
#include "WaitFor.h"
#include "core/AppState.h"
#include "app/Document.h"
#include "app/MainWindow.h"
#include "app/PreviewHost.h"
#include "app/Startup.h"
#include "files/DocumentFiles.h"
#include "editor/Editor.h"
#include "preview/PreviewPane.h"
#include "settings/Paths.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <Qsci/qsciscintillabase.h>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <unistd.h>
#include <vector>

namespace {

double elapsedMs(const QElapsedTimer &clock) { return clock.nsecsElapsed() / 1e6; }

} // namespace

int main(int argc, char **argv)
{
    BenchApplication application(argc, argv);
    const int openRuns = argc > 1 ? std::max(1, atoi(argv[1])) : 7;
    const int saveRuns = argc > 2 ? std::max(1, atoi(argv[2])) : 3;

    const BenchSandbox sandbox;
    const QString base = sandbox.root();

    const QString document = base + QStringLiteral("docs/big.md");
    const QByteArray text = GeneratedMarkdown(5 * 1024 * 1024, 4242) + '\n';
    {
        QFile file(document);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) {
            std::fprintf(stderr, "cannot write the test document\n");
            return 1;
        }
    }
    AppState &s = app();

    // Cold start: the first program start in this process, so WebEngine starts too.
    QElapsedTimer clock;
    clock.start();
    double windowShown = -1, firstPage = -1;
    if (!StartApplication({QStringLiteral("quilldown"), document})) {
        std::fprintf(stderr, "start-up failed\n");
        return 1;
    }
    windowShown = elapsedMs(clock);
    // The pane follows the shown window a few turns of the main loop later.
    if (!waitFor([&] { return mainWindow()->preview() != nullptr; }, 60000)) {
        std::fprintf(stderr, "the preview pane did not appear\n");
        return 1;
    }
    PreviewPane *preview = mainWindow()->preview();
    QObject::connect(preview, &QWebEngineView::loadFinished, [&](bool ok) {
        if (ok && firstPage < 0 && preview->url().isLocalFile())
            firstPage = elapsedMs(clock);
    });
    if (!waitFor([&] { return firstPage >= 0; }, 600000)) {
        std::fprintf(stderr, "no preview page within 10 minutes (is pandoc installed?)\n");
        Shutdown();
        return 1;
    }
    const int editorBytes = int(EditorText(mainWindow()->markdownEditor()).size());

    auto waitIdle = [&] {
        waitFor([&] { return s.converterState.load() == ConverterIdle; }, 600000);
        // Not loaded: an 8 MB page keeps WebEngine busy for seconds and would slow what
        // is measured next.
        s.previewReadyPath.take();
    };

    // Open: the document is unchanged, so there is no question.
    std::vector<double> opens;
    for (int i = 0; i < openRuns; ++i) {
        waitIdle();
        clock.restart();
        OpenDocument(*mainWindow()->document(), document);
        opens.push_back(elapsedMs(clock));
        // Each open asks for a conversion; let it start so the next open meets a busy worker
        // no more than a user would.
        QCoreApplication::processEvents();
    }

    // Save: one character changed so there is something to save; the worker is idle, so the
    // export does not wait for the converter lock. The document is written at once and the
    // page exported in the background: measured are the time until "done." and the longest
    // the main thread did not turn meanwhile (Save itself included).
    std::vector<double> saves, stalls, saveCalls, pandocAlone, writes;
    bool exported = true;
    for (int i = 0; i < saveRuns; ++i) {
        waitIdle();
        mainWindow()->markdownEditor()->SendScintilla(QsciScintillaBase::SCI_APPENDTEXT, (unsigned long)1, "x");
        clock.restart();
        const SaveResult result = SaveDocument(*mainWindow()->document());
        double longest = elapsedMs(clock);
        double last = longest;
        saveCalls.push_back(longest);
        auto ended = [&] {
            const QString status = mainWindow()->statusText();
            return status.endsWith("done.") || status.endsWith("failed.");
        };
        while (!ended() && elapsedMs(clock) < 600000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            const double now = elapsedMs(clock);
            longest = std::max(longest, now - last);
            last = now;
            QThread::usleep(200);
        }
        saves.push_back(elapsedMs(clock));
        stalls.push_back(longest);
        exported = exported && result == SaveResult::Completed && mainWindow()->statusText().endsWith("done.");
        pandocAlone.push_back(pandocMs(document, base + QStringLiteral("alone.htm")));
    }
    for (int i = 0; i < openRuns; ++i) {
        clock.restart();
        const bool ok = WriteTextFile(EditorText(mainWindow()->markdownEditor()), document);
        writes.push_back(elapsedMs(clock));
        exported = exported && ok;
    }
    const qint64 pageSize = QFileInfo(HtmlFileFor(document)).size();
    Shutdown();

    std::printf("document: %.1f MB Markdown (%d bytes in the editor), exported page %.1f MB\n",
                text.size() / 1048576.0, editorBytes, pageSize / 1048576.0);
    std::printf("cold start with the file on the command line (in-process, offscreen)\n");
    std::printf("  StartApplication returned (window shown):  %9.1f ms\n", windowShown);
    std::printf("  first preview page loadFinished (file://): %9.1f ms\n", firstPage);
    std::printf("open (OpenDocument), median of %d:          %9.1f ms\n", openRuns, median(opens));
    std::printf("save until its page is exported, median of %d: %7.1f ms%s\n", saveRuns, median(saves),
                exported ? "" : "  (a save did not complete)");
    std::printf("  longest main-thread stall meanwhile, median of %d: %6.1f ms   (Pandoc alone: %.1f ms)\n",
                saveRuns, median(stalls), median(pandocAlone));
    std::printf("  of which SaveDocument itself, median of %d: %8.1f ms\n", saveRuns, median(saveCalls));
    std::printf("  of which the document write, median of %d: %8.1f ms\n", openRuns, median(writes));
    // One line per figure for the benchmark table: row|measure|figure|baseline
    const double megabytes = text.size() / 1048576.0;
    std::printf("row|Open a %.0f MB document (median of %d)|%.1f ms|-\n", megabytes, openRuns, median(opens));
    std::printf("row|Save a %.0f MB document until its page is exported (median of %d)|%.1f ms%s|%.1f ms (Pandoc "
                "alone)\n",
                megabytes, saveRuns, median(saves), exported ? "" : " (a save did not complete)", median(pandocAlone));
    std::printf("row|Longest main-thread stall while saving a %.0f MB document (median of %d)|%.1f ms|%.1f ms (Pandoc "
                "alone)\n",
                megabytes, saveRuns, median(stalls), median(pandocAlone));
    std::printf("row|Document write alone, %.0f MB (median of %d)|%.1f ms|-\n", megabytes, openRuns, median(writes));
    return exported ? 0 : 1;
}
