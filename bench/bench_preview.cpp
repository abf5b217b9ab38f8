// Preview reload speed and memory: the whole program runs offscreen in temporary folders
// with no converter; pages are handed over as the conversion worker would. For a 10 KB
// and a 1 MB page it times publishing a page until the reader's offset is applied to the
// reloaded page (load + restore), median of several runs, then prints the memory (PSS) of
// the program and all its WebEngine processes with the 1 MB page loaded.
//
//   ./bench_preview [runs]        (default 7 runs per size)

#include "BenchPrelude.h"
#include "WaitFor.h"
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

QByteArray pageOfSize(qint64 bytes)
{
    QByteArray html = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>bench</title></head><body>\n";
    for (int i = 0; html.size() < bytes; ++i) {
        if (i % 20 == 0)
            html += "<h2>Section " + QByteArray::number(i / 20) + "</h2>\n";
        html += "<p>Paragraph " + QByteArray::number(i) +
                ": the quick brown fox jumps over the lazy dog, <em>again</em> and <strong>again</strong>.</p>\n";
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

// Loads `first` fresh, puts the reader in the middle, then reloads alternating names
// `runs` times and times each reload until the offset is back.
Timing measure(const QString &folder, const QByteArray &html, int runs)
{
    Timing t;
    PreviewPane *pane = mainWindow()->preview();
    const QString names[2] = {folder + QStringLiteral("/_temp0.htm"), folder + QStringLiteral("/_temp1.htm")};
    for (const QString &name : names) {
        QFile file(name);
        if (!file.open(QIODevice::WriteOnly) || file.write(html) != html.size())
            return {false, {}, 0};
    }
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
        QElapsedTimer timer;
        timer.start();
        app().previewReadyPath.set(names[(run + 1) % 2]);
        const bool done = waitFor(
            [&] {
                return app().previewReadyPath.isEmpty() && !mainWindow()->previewController()->reload().restorePending() &&
                       pane->scrollTop() == t.offset;
            },
            60000);
        if (!done)
            t.ok = false;
        t.ms.append(timer.nsecsElapsed() / 1e6);
    }
    return t;
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

    const Timing small = measure(pages, pageOfSize(10 * 1024), runs);
    const Timing large = measure(pages, pageOfSize(1024 * 1024), runs);
    int processes = 0;
    const qint64 pss = totalPssKiB(&processes);

    std::printf("preview reload (publish -> page loaded and offset restored), %d runs each\n", runs);
    std::printf("  10 KB page: median %.1f ms (min %.1f, max %.1f), offset %d px%s\n", median(small.ms),
                small.ms.isEmpty() ? 0 : *std::min_element(small.ms.begin(), small.ms.end()),
                small.ms.isEmpty() ? 0 : *std::max_element(small.ms.begin(), small.ms.end()), small.offset,
                small.ok ? "" : "  [FAILED]");
    std::printf("  1 MB page:  median %.1f ms (min %.1f, max %.1f), offset %d px%s\n", median(large.ms),
                large.ms.isEmpty() ? 0 : *std::min_element(large.ms.begin(), large.ms.end()),
                large.ms.isEmpty() ? 0 : *std::max_element(large.ms.begin(), large.ms.end()), large.offset,
                large.ok ? "" : "  [FAILED]");
    std::printf("memory with the 1 MB page loaded: %.1f MiB PSS over %d processes (program + WebEngine)\n",
                pss / 1024.0, processes);
    // One line per figure for the benchmark table: row|measure|figure|baseline
    std::printf("row|Preview reload until the scroll offset is back, 10 KB page (median of %d)|%s|-\n", runs,
                small.ok ? qPrintable(QString::asprintf("%.1f ms", median(small.ms))) : "failed");
    std::printf("row|Preview reload until the scroll offset is back, 1 MB page (median of %d)|%s|-\n", runs,
                large.ok ? qPrintable(QString::asprintf("%.1f ms", median(large.ms))) : "failed");

    Shutdown();
    setPlatform(nullptr);
    return small.ok && large.ok ? 0 : 1;
}
