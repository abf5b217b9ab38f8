// Long conversions never hold the window: Save exports in the background and whatever
// ends the document waits for that export; an overtaken preview conversion is stopped;
// a long one is shown in the status bar; a run cannot take all the memory.
#include "fault/FaultSupport.h"

#include "core/AppState.h"
#include "app/BackgroundExport.h"
#include "app/Commands.h"
#include "app/ConversionStatus.h"
#include "app/Document.h"
#include "app/MainWindow.h"
#include "conversion/ConversionWorker.h"
#include "conversion/ConverterProcess.h"
#include "editor/Editor.h"
#include "preview/PreviewPane.h"
#include "settings/Settings.h"

#include <QDir>
#include <QStatusBar>
#include <QTimer>
#include <Qsci/qsciscintillabase.h>
#include <csignal>

namespace {

constexpr int kWait = 60000;

QString status() { return mainWindow()->statusText(); }

// Pandoc behind a script that notes each run's process id and, while the file "slow"
// names a number of seconds, sleeps that long first; while "hold" exists it waits.
struct SlowConverter {
    TestApp t;
    QString root;

    bool start(int updateMilliseconds = 600000)
    {
        root = t.root();
        const QByteArray dir = fault::shellQuoted(root);
        fault::makeScript(root + QStringLiteral("convert"),
                          "[ \"$1\" = -v ] && exit 0\n"
                          "cd " + dir + " || exit 9\n"
                          "echo $$ >> pids\n"
                          "[ -f slow ] && sleep \"$(cat slow)\"\n"
                          "if [ -f hold ]; then touch held; while [ -f hold ]; do sleep 0.02; done; fi\n"
                          "cd - >/dev/null\n"
                          "exec /usr/bin/pandoc \"$@\"\n");
        Settings settings;
        settings.PandocExe = root + QStringLiteral("convert");
        settings.UpdateMilliseconds = updateMilliseconds;
        if (!t.writeSettings(settings) || !t.start())
            return false;
        // The start-up conversion first, so that the runs counted are the test's own.
        return QTest::qWaitFor([] {
            return app().converterState.load() == ConverterIdle && !lastPage().isEmpty();
        }, kWait);
    }
    void slowDown(const QByteArray &seconds) { writeFileBytes(root + QStringLiteral("slow"), seconds); }
    int runs() const { return readFileBytes(root + QStringLiteral("pids")).count('\n'); }
    int lastPid() const
    {
        const QList<QByteArray> pids = readFileBytes(root + QStringLiteral("pids")).trimmed().split('\n');
        return pids.last().toInt();
    }
    // Saves `text` as `name` in the documents folder.
    SaveResult save(const QByteArray &text, const QString &name = QStringLiteral("doc.md"))
    {
        SetEditorText(markdown(), text);
        if (document().path().isEmpty())
            t.platform.fileAnswers.enqueue(t.docsDir() + name);
        return SaveDocument(document());
    }
    QByteArray page(const QString &name = QStringLiteral("doc.htm")) const { return readFileBytes(t.docsDir() + name); }
};

bool complete(const QByteArray &page, const QByteArray &text)
{
    return page.contains(text) && page.trimmed().endsWith("</html>");
}

} // namespace

class TestLargeDocuments : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { defaultMemoryLimit = ConverterMemoryLimit(); }
    void cleanup() { SetConverterMemoryLimit(defaultMemoryLimit); }

    void saveExportsInTheBackground()
    {
        SlowConverter c;
        QVERIFY(c.start());
        c.slowDown("2");

        // Save is back at once: the document is on disk, the page still to come.
        QCOMPARE(c.save("# First\n"), SaveResult::Completed);
        QCOMPARE(status(), QStringLiteral("Saving 'doc.md'... "));
        QVERIFY(document().exporter().running());
        QCOMPARE(readFileBytes(c.t.docsDir() + "doc.md"), QByteArray("# First\n"));
        QVERIFY(!document().isModified());
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Saving 'doc.md'... done."), kWait);
        QVERIFY(complete(c.page(), "First</h1>"));

        // Saves during an export: one more export follows, of the last text.
        const int before = c.runs();
        QCOMPARE(c.save("# Second\n"), SaveResult::Completed);
        QCOMPARE(c.save("# Third\n"), SaveResult::Completed);
        QCOMPARE(c.save("# Fourth\n"), SaveResult::Completed);
        QCOMPARE(status(), QStringLiteral("Saving 'doc.md'... "));
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Saving 'doc.md'... done."), kWait);
        QVERIFY(complete(c.page(), "Fourth</h1>"));
        QCOMPARE(c.runs() - before, 2);

        // A failing export is named in the status and keeps the last good page.
        const QByteArray good = c.page();
        QVERIFY(fault::makeScript(c.root + "convert", "[ \"$1\" = -v ] && exit 0\nsleep 1\nexit 3\n").size());
        QCOMPARE(c.save("# Fifth\n"), SaveResult::Completed);
        QCOMPARE(status(), QStringLiteral("Saving 'doc.md'... "));
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Saving 'doc.md'... saved, but the page was not exported."), kWait);
        QCOMPARE(c.page(), good);
    }

    void endingTheDocumentWaitsForTheExport()
    {
        SlowConverter c;
        QVERIFY(c.start());
        c.slowDown("1.5");
        PaintCounter counter(markdown()->viewport());

        // The close question with nothing unsaved: the page is complete when it answers,
        // and the window painted meanwhile.
        QCOMPARE(c.save("# Kept\n"), SaveResult::Completed);
        QTimer::singleShot(200, markdown()->viewport(), [] { markdown()->viewport()->update(); });
        const int paintsBefore = counter.paints;
        QVERIFY(ConfirmDiscard(document()));
        QVERIFY(!document().exporter().running());
        QVERIFY(complete(c.page(), "Kept</h1>"));
        QVERIFY(counter.paints > paintsBefore);

        // Answered "Yes" while an export runs: the save and its export are both waited for.
        QCOMPARE(c.save("# Older\n"), SaveResult::Completed);
        type(markdown(), "\nNewest text.\n");
        c.t.platform.messageAnswers.enqueue(MessageAnswer::Yes);
        QVERIFY(ConfirmDiscard(document()));
        QVERIFY(!document().exporter().running());
        QVERIFY(complete(c.page(), "Newest text."));
        QCOMPARE(status(), QStringLiteral("Saving 'doc.md'... done."));

        // New and Save As wait as well.
        QCOMPARE(c.save("# Before new\n"), SaveResult::Completed);
        RunCommand(CmdNew);
        QVERIFY(!document().exporter().running());
        QVERIFY(complete(c.page(), "Before new</h1>"));
        QCOMPARE(c.save("# Renamed\n", QStringLiteral("first.md")), SaveResult::Completed);
        c.t.platform.fileAnswers.enqueue(c.t.docsDir() + "second.md");
        RunCommand(CmdSaveAs);
        QVERIFY(complete(c.page("first.htm"), "Renamed</h1>"));
        QTRY_VERIFY_WITH_TIMEOUT(complete(c.page("second.htm"), "Renamed</h1>"), kWait);

        // Exit during an export ends normally with the page complete.
        QCOMPARE(c.save("# Last words\n"), SaveResult::Completed);
        QVERIFY(document().exporter().running());
        RunCommand(CmdExit);
        QCOMPARE(app().quit.load(), 1);
        QVERIFY(complete(c.page("second.htm"), "Last words</h1>"));
        QCOMPARE(c.t.shutdown(), 0);
    }

    void terminationDuringExportKeepsTheLastGoodPage()
    {
        SlowConverter c;
        QVERIFY(c.start());
        QCOMPARE(c.save("# Good\n"), SaveResult::Completed);
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Saving 'doc.md'... done."), kWait);
        const QByteArray good = c.page();
        writeFileBytes(c.root + "hold", "");
        QCOMPARE(c.save("# Cut short\n"), SaveResult::Completed);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(c.root + "held"), kWait);
        // What the signal handler does: the quit flag, then the end of the main loop.
        app().quit = 1;
        QCOMPARE(c.t.shutdown(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(::kill(c.lastPid(), 0) != 0, kWait);
        QCOMPARE(c.page(), good);
    }

    void overtakenConversionIsStoppedAndNeverShown()
    {
        SlowConverter c;
        QVERIFY(c.start(300));
        const QString shownBefore = lastPage();
        writeFileBytes(c.root + "hold", "");
        SetEditorText(markdown(), "# Overtaken\n");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(c.root + "held"), kWait);
        const int overtaken = c.lastPid();

        // A newer change: the run's process goes while it still waits, and its page never
        // reaches the pane.
        type(markdown(), "\nNewer.\n");
        QTRY_VERIFY_WITH_TIMEOUT(::kill(overtaken, 0) != 0, kWait);
        QVERIFY(QFile::exists(c.root + "hold"));
        QCOMPARE(lastPage(), shownBefore);

        // The next run starts after the quiet time and shows the newest text.
        QTRY_VERIFY_WITH_TIMEOUT(c.lastPid() != overtaken, kWait);
        QFile::remove(c.root + "hold");
        QTRY_VERIFY_WITH_TIMEOUT(readFileBytes(lastPage()).contains("Newer."), kWait);
        QVERIFY(mainWindow()->preview());
        QTRY_COMPARE_WITH_TIMEOUT(mainWindow()->preview()->shownPage(), lastPage(),
                                  kWait);

        // An export is never stopped by a change.
        c.slowDown("1");
        QCOMPARE(c.save("# Exported\n"), SaveResult::Completed);
        type(markdown(), "typing on\n");
        QVERIFY(WaitForExport(document().exporter(), mainWindow()));
        QVERIFY(complete(c.page(), "Exported</h1>"));
    }

    void longConversionIsShownInTheStatusBar()
    {
        SlowConverter c;
        QVERIFY(c.start(50));
        mainWindow()->setStatusText(QStringLiteral("marker"));
        c.slowDown("2");
        const QString before = lastPage();
        ActiveConversionHost()->refresh();
        QTRY_COMPARE_WITH_TIMEOUT(mainWindow()->statusBar()->currentMessage(), QString::fromLatin1(kConvertingText),
                                  kWait);
        QVERIFY(lastPage() == before);
        QTRY_VERIFY_WITH_TIMEOUT(lastPage() != before, kWait);
        QTRY_COMPARE_WITH_TIMEOUT(mainWindow()->statusBar()->currentMessage(), QString(), kWait);
        QCOMPARE(status(), QStringLiteral("marker"));
    }

    void converterMemoryIsBounded()
    {
        // Our allocation options first, the user's after them, our bound last.
        QCOMPARE(HeapBoundOptions("", 512), QByteArray("-A4m -O64m -M512m"));
        QCOMPARE(HeapBoundOptions(" -A8m -M1g ", 64), QByteArray("-A4m -O64m -A8m -M1g -M64m"));
        QCOMPARE(HeapBoundOptions("-A8m", 0), QByteArray("-A4m -O64m -A8m"));

        // A run past the bound is a failed run, shown as such in the preview.
        TestApp t;
        QVERIFY(t.start());
        QTRY_VERIFY_WITH_TIMEOUT(app().converterState.load() == ConverterIdle && !lastPage().isEmpty(),
                                 kWait);
        SetConverterMemoryLimit(16);
        QByteArray text;
        for (int i = 0; i < 60000; ++i)
            text += "- item " + QByteArray::number(i) + " with *some* text\n";
        SetEditorText(markdown(), text);
        ActiveConversionHost()->refresh();
        QTRY_VERIFY_WITH_TIMEOUT(readFileBytes(lastPage()).contains("Conversion failed"), kWait);
        QVERIFY(readFileBytes(lastPage()).contains("16 MB of memory"));

        // The bound is the converter's alone: the program's own environment is unchanged.
        QCOMPARE(qgetenv("GHCRTS"), QByteArray());
    }

private:
    int defaultMemoryLimit = 0;
};

QUILLDOWN_FAULT_TEST_MAIN(TestLargeDocuments)
#include "tst_largedocuments.moc"
