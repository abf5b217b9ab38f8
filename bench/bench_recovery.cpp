// The recovery copy of a 5 MB document: what the main thread spends on it (both editors'
// text taken and handed to the writer) and how long the writer takes until the copy is
// on disk (formatted, checksummed, written, synced and renamed into place). Medians of
// several runs, in a folder on the same disk as the build.
//   build/bench/bench_recovery [runs]
#include "BenchFigures.h"
#include "BenchPrelude.h"
#include "GeneratedMarkdown.h"
#include "editor/Editor.h"
#include "recovery/RecoveryStore.h"
#include "recovery/RecoveryWriter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <Qsci/qsciscintillabase.h>
#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

int main(int argc, char **argv)
{
    BenchPreludeOptions options;
    options.engine = false;
    const BenchApplication application(argc, argv, options);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 9;

    QsciScintillaBase markdown, head;
    SetupEditor(&markdown);
    SetupEditor(&head);
    const QByteArray text = GeneratedMarkdown(5 * 1024 * 1024, 777) + '\n';
    SetEditorText(&markdown, text);
    SetEditorText(&head, QByteArrayLiteral("<!--<title>PageTitle</title>-->\n"));

    QTemporaryDir dir(QStringLiteral(QUILLDOWN_BENCH_DIR "/recovery-XXXXXX"));
    const QString path = dir.path() + QStringLiteral("/state/Quilldown/recovery/bench.recovery");
    RecoveryWriter writer;
    std::vector<double> handOver, written;
    bool ok = true;
    for (int i = 0; i < runs; ++i) {
        // One byte changed per run, as typing would.
        markdown.SendScintilla(QsciScintillaBase::SCI_INSERTTEXT, 0UL, "x");
        QElapsedTimer clock;
        clock.start();
        RecoveryCopy copy;
        copy.markdown = EditorText(&markdown);
        copy.head = EditorText(&head);
        copy.documentPath = dir.path() + QStringLiteral("/notes.md");
        copy.savedAt = QDateTime::currentDateTimeUtc();
        copy.pid = ::getpid();
        writer.write(path, copy);
        handOver.push_back(clock.nsecsElapsed() / 1e6);
        ok = writer.flush(60000) && ok;
        written.push_back(clock.nsecsElapsed() / 1e6);
    }
    RecoveryCopy back;
    ok = ok && ReadRecoveryFile(path, &back, nullptr) == RecoveryRead::Ok && back.markdown == EditorText(&markdown);

    const double megabytes = text.size() / 1048576.0;
    std::printf("recovery copy of a %.1f MB document, median of %d runs%s\n", megabytes, runs,
                ok ? "" : "  (a copy was not written whole)");
    std::printf("  main thread: both editors' text taken and handed over: %8.2f ms\n", median(handOver));
    std::printf("  until the copy is on disk (writer thread):              %8.2f ms\n", median(written));
    std::printf("row|Recovery copy of a %.0f MB document written, until on disk (median of %d)|%.1f ms%s|-\n",
                megabytes, runs, median(written), ok ? "" : " (failed)");
    std::printf("row|Recovery copy of a %.0f MB document, main thread's part (median of %d)|%.2f ms|-\n", megabytes,
                runs, median(handOver));
    return ok ? 0 : 1;
}
