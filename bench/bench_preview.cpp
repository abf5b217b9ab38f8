// Preview update speed and memory: the whole program runs offscreen in temporary folders
// with no converter; pages are handed over as the conversion worker would. For a 10 KB
// and a 1 MB page, with the reader scrolled to the middle, it times publishing a page
// until the page shows it at the reader's offset: a page whose head differs (reloaded,
// then the offset restored) and a page with one word changed in the middle (patched in
// place), median of several runs each. Beside them it times Pandoc alone making a page of
// that size with the program's arguments, then prints the memory (PSS) of the program and
// all its WebEngine processes with the 1 MB page shown.
//
//   ./bench_preview [runs]        (default 7 runs per size)

#include "BenchPrelude.h"
#include "GeneratedMarkdown.h"
#include "WaitFor.h"
#include "conversion/ConverterProcess.h"
#include "conversion/PreviewTemplate.h"
#include "files/SafeFiles.h"
#include "core/AppState.h"
#include "app/MainWindow.h"
#include "app/PreviewHost.h"
#include "app/Startup.h"
#include "platform/Platform.h"
#include "preview/PreviewPane.h"
#include "preview/PreviewReload.h"
#include "settings/Paths.h"
#include "settings/Settings.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <unistd.h>

namespace {

// Answers every dialog with its cancel value and opens nothing.
class QuietPlatform : public Platform {
public:
    QuietPlatform() { clock.start(); }
    MessageAnswer messageBox(QWidget *, MessageIcon, const QString &, const QString &, MessageButtons buttons) override
    {
        return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
    }
    QString openFileName(QWidget *, const QString &, const QString &, const QString &, OpenRule) override { return {}; }
    QString saveFileName(QWidget *, const QString &, const QString &, const QString &) override { return {}; }
    bool chooseFont(QWidget *, const QFont &, QFont *) override { return false; }
    QString inputText(QWidget *, const QString &, const QString &) override { return {}; }
    bool startDetached(const QString &, const QStringList &) override { return true; }
    bool openUrl(const QUrl &) override { return true; }
    std::int64_t milliseconds() override { return clock.elapsed(); }

private:
    QElapsedTimer clock;
};

// A page of about `bytes`; `title` goes in its head, and the paragraph in the middle has
// `word` where the others say "again".
QByteArray pageOfSize(qint64 bytes, const QByteArray &title = "bench", const QByteArray &word = "again")
{
    // The policy of the program's pages: a page without it is never patched.
    QByteArray html = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
                      "<meta http-equiv=\"Content-Security-Policy\" content=\"script-src 'nonce-bench'\">"
                      "<title>" + title + "</title></head><body>\n";
    const int middle = int(bytes / 110 / 2);
    for (int i = 0; html.size() < bytes; ++i) {
        if (i % 20 == 0)
            html += "<h2>Section " + QByteArray::number(i / 20) + "</h2>\n";
        html += "<p>Paragraph " + QByteArray::number(i) + ": the quick brown fox jumps over the lazy dog, <em>" +
                (i == middle ? word : QByteArray("again")) + "</em> and <strong>again</strong>.</p>\n";
    }
    html += "</body></html>\n";
    return html;
}


double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// PSS in KiB of one process, from smaps_rollup.
qint64 pssKiB(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : file.readAll().split('\n'))
        if (line.startsWith("Pss:"))
            return line.mid(4).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

qint64 parentOf(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = file.readAll();
    // The command name may hold blanks; the fields after its closing parenthesis do not.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return fields.value(1).toLongLong();
}

// PSS of this process and every process descended from it.
qint64 totalPssKiB(int *processes)
{
    QList<qint64> family{getpid()};
    bool grew = true;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    while (grew) {
        grew = false;
        for (const QString &entry : entries) {
            bool ok = false;
            const qint64 pid = entry.toLongLong(&ok);
            if (ok && !family.contains(pid) && family.contains(parentOf(pid))) {
                family.append(pid);
                grew = true;
            }
        }
    }
    qint64 total = 0;
    for (qint64 pid : family)
        total += pssKiB(pid);
    *processes = int(family.size());
    return total;
}

struct Timing {
    bool ok = true;
    QList<double> ms;
    int offset = 0;
};

// Loads the first page fresh, puts the reader in the middle, then publishes the two
// pages in turn `runs` times and times each until the page shows it at the offset.
// `patched`: each must have been patched in, else loaded.
Timing measure(const QString &folder, const QByteArray (&pages)[2], bool patched, int runs)
{
    Timing t;
    PreviewPane *pane = mainWindow()->preview();
    PreviewReload &reload = mainWindow()->previewController()->reload();
    const QString names[2] = {folder + QStringLiteral("/_temp0.htm"), folder + QStringLiteral("/_temp1.htm")};
    for (int i = 0; i < 2; ++i) {
        QFile file(names[i]);
        if (!file.open(QIODevice::WriteOnly) || file.write(pages[i]) != pages[i].size())
            return {false, {}, 0};
    }
    const QByteArray &html = pages[0];
    app().freshDocument = 1;
    app().previewReadyPath.set(names[0]);
    // The sizes reported first may still be the previous page's or a partial layout.
    const int tall = int(html.size() / 20);
    if (!waitFor([&] { return app().previewReadyPath.isEmpty() && !pane->isLoadingPage() && pane->maxScroll() > tall; },
                 60000))
        return {false, {}, 0};
    // Then until the height has stopped changing for a while.
    int lastMax = -1;
    QElapsedTimer steady;
    steady.start();
    if (!waitFor(
            [&] {
                if (pane->maxScroll() != lastMax) {
                    lastMax = pane->maxScroll();
                    steady.restart();
                }
                return steady.elapsed() > 500;
            },
            60000))
        return {false, {}, 0};
    t.offset = pane->maxScroll() / 2;
    pane->scrollToOffset(t.offset);
    if (!waitFor([&] { return pane->scrollTop() == t.offset && !pane->scriptsPending(); }, 60000))
        return {false, {}, 0};

    for (int run = 0; run < runs; ++run) {
        const int before = patched ? reload.patchCount() : reload.loadCount();
        const QString next = names[(run + 1) % 2];
        QElapsedTimer timer;
        timer.start();
        app().previewReadyPath.set(next);
        const bool done = waitFor(
            [&] {
                return app().previewReadyPath.isEmpty() && !reload.restorePending() && !reload.patchPending() &&
                       pane->shownPage() == next && pane->scrollTop() == t.offset;
            },
            60000);
        t.ms.append(timer.nsecsElapsed() / 1e6);
        if (!done || (patched ? reload.patchCount() : reload.loadCount()) != before + 1)
            t.ok = false;
        // The next run starts from a settled page.
        waitFor([&] { return !pane->scriptsPending(); }, 60000);
    }
    return t;
}

// Pandoc alone making a page of `markdown` with the program's arguments, template and
// runtime options, median of `runs`; 0 when it cannot run.
double pandocAlone(const QString &folder, const QByteArray &markdown, int runs)
{
    const QString input = folder + QStringLiteral("/bench.md");
    const QString pageTemplate = WritePreviewTemplate(folder + u'/');
    QFile file(input);
    if (pageTemplate.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(markdown) != markdown.size())
        return 0;
    file.close();
    QStringList arguments{QStringLiteral("--from"), QStringLiteral("markdown_mmd"), QStringLiteral("--to"),
                          QStringLiteral("html"), QStringLiteral("-s"), QStringLiteral("-o"),
                          folder + QStringLiteral("/bench.htm")};
    arguments << PreviewTemplateArguments(pageTemplate, PreviewPolicy(NewScriptNonce(), {}));
    arguments << QStringLiteral("--metadata") << QStringLiteral("pagetitle=bench") << input;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("GHCRTS"),
                       QString::fromLocal8Bit(HeapBoundOptions(environment.value(QStringLiteral("GHCRTS")).toLocal8Bit(),
                                                               ConverterMemoryLimit())));
    QList<double> ms;
    for (int run = 0; run < runs; ++run) {
        QProcess pandoc;
        pandoc.setProcessEnvironment(environment);
        QElapsedTimer timer;
        timer.start();
        pandoc.start(QStringLiteral("pandoc"), arguments);
        if (!pandoc.waitForFinished(120000) || pandoc.exitCode() != 0)
            return 0;
        ms.append(timer.nsecsElapsed() / 1e6);
    }
    return median(ms);
}

QString figure(const Timing &t)
{
    return t.ok ? QString::asprintf("%.1f ms", median(t.ms)) : QStringLiteral("failed");
}

void printTiming(const char *what, const Timing &t)
{
    std::printf("  %s: median %.1f ms (min %.1f, max %.1f), offset %d px%s\n", what, median(t.ms),
                t.ms.isEmpty() ? 0 : *std::min_element(t.ms.begin(), t.ms.end()),
                t.ms.isEmpty() ? 0 : *std::max_element(t.ms.begin(), t.ms.end()), t.offset, t.ok ? "" : "  [FAILED]");
}

} // namespace

int main(int argc, char **argv)
{
    BenchPreludeOptions options;
    options.keepChromiumFlags = true;
    options.quietWarnings = false;
    BenchApplication application(argc, argv, options);
    const int runs = argc > 1 ? qMax(1, atoi(argv[1])) : 7;

    const BenchSandbox sandbox;
    const QString pages = sandbox.root() + QStringLiteral("pages");
    QDir().mkpath(pages);
    QuietPlatform quiet;
    setPlatform(&quiet);

    // No converter: only the pages published here reach the pane.
    Settings settings;
    settings.PandocExe = sandbox.root() + QStringLiteral("no-such-pandoc");
    settings.WinW = 1000;
    settings.WinH = 700;
    WriteSettingsFile(sandbox.settingsFile(), settings);
    // The pane follows the shown window a few turns of the main loop later.
    if (!StartApplication({QStringLiteral("quilldown")}) || !waitFor([] { return mainWindow()->preview(); }, 60000)) {
        std::fprintf(stderr, "the program did not start\n");
        return 1;
    }

    const qint64 sizes[2] = {10 * 1024, 1024 * 1024};
    Timing reloads[2], patches[2];
    for (int i = 0; i < 2; ++i) {
        // Pages whose heads differ are loaded; a changed word in the body is patched in.
        const QByteArray reloaded[2] = {pageOfSize(sizes[i], "bench 0"), pageOfSize(sizes[i], "bench 1")};
        const QByteArray edited[2] = {pageOfSize(sizes[i], "bench", "again"), pageOfSize(sizes[i], "bench", "once")};
        reloads[i] = measure(pages, reloaded, false, runs);
        patches[i] = measure(pages, edited, true, runs);
    }
    int processes = 0;
    const qint64 pss = totalPssKiB(&processes);
    // Markdown of which Pandoc makes pages of about these sizes.
    const double pandoc[2] = {pandocAlone(pages, GeneratedMarkdown(8 * 1024), runs),
                              pandocAlone(pages, GeneratedMarkdown(800 * 1024), qMin(runs, 3))};

    std::printf("preview update (publish -> page shown at the reader's offset), %d runs each\n", runs);
    const char *names[2] = {"10 KB page", "1 MB page"};
    for (int i = 0; i < 2; ++i) {
        std::printf("%s\n", names[i]);
        printTiming("reload + restore", reloads[i]);
        printTiming("patched in place", patches[i]);
        std::printf("  Pandoc alone making a page of this size: %s\n",
                    pandoc[i] > 0 ? qPrintable(QString::asprintf("median %.1f ms", pandoc[i])) : "not run");
    }
    std::printf("memory with the 1 MB page shown: %.1f MiB PSS over %d processes (program + WebEngine)\n",
                pss / 1024.0, processes);
    // One line per figure for the benchmark table: row|measure|figure|baseline
    for (int i = 0; i < 2; ++i) {
        const QString size = i == 0 ? QStringLiteral("10 KB") : QStringLiteral("1 MB");
        const QString alone = pandoc[i] > 0 ? QString::asprintf("%.1f ms (Pandoc alone)", pandoc[i]) : QStringLiteral("-");
        std::printf("row|Preview reload until the scroll offset is back, %s page (median of %d)|%s|%s\n",
                    qPrintable(size), runs, qPrintable(figure(reloads[i])), qPrintable(alone));
        std::printf("row|Preview patched in place at the scroll offset, one word in the middle, %s page (median of %d)|%s|%s\n",
                    qPrintable(size), runs, qPrintable(figure(patches[i])), qPrintable(alone));
    }

    Shutdown();
    setPlatform(nullptr);
    return reloads[0].ok && reloads[1].ok && patches[0].ok && patches[1].ok ? 0 : 1;
}
