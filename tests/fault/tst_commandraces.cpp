// Commands that meet a running export or conversion: waits for the export that nest, and
// Preview in Browser while the page is still being converted.
#include "fault/FaultSupport.h"

#include "app/Commands.h"
#include "app/Document.h"
#include "app/MainWindow.h"
#include "conversion/PageExport.h"
#include "core/AppState.h"
#include "editor/Editor.h"
#include "settings/Settings.h"

#include <QThread>
#include <Qsci/qsciscintillabase.h>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kWait = 60000;

// Pandoc behind a script that sleeps for the seconds in the file "slow" and waits while
// the file "hold" exists (noting "held"), run with the given quiet time.
bool startSlow(TestApp &t, int updateMilliseconds)
{
    const QByteArray dir = fault::shellQuoted(t.root());
    fault::makeScript(t.root() + QStringLiteral("convert"),
                      "[ \"$1\" = -v ] && exit 0\n"
                      "cd " + dir + " || exit 9\n"
                      "[ -f slow ] && sleep \"$(cat slow)\"\n"
                      "if [ -f hold ]; then touch held; while [ -f hold ]; do sleep 0.02; done; fi\n"
                      "cd - >/dev/null\n"
                      "exec /usr/bin/pandoc \"$@\"\n");
    Settings settings;
    settings.PandocExe = t.root() + QStringLiteral("convert");
    settings.UpdateMilliseconds = updateMilliseconds;
    return t.writeSettings(settings) && t.start() && QTest::qWaitFor([] { return !lastPage().isEmpty(); }, kWait);
}

} // namespace

class TestCommandRaces : public QObject {
    Q_OBJECT
private slots:
    // Two document commands queued together while Save's export runs: each waits for the
    // export inside the other's wait, and both end with it, so the window takes input again.
    void nestedWaitsForTheExportAllEnd()
    {
        TestApp t;
        QVERIFY(startSlow(t, 600000));
        writeFileBytes(t.root() + QStringLiteral("slow"), "2");
        type(markdown(), "# Saved\n");
        t.platform.fileAnswers.enqueue(t.docsDir() + QStringLiteral("doc.md"));
        RunCommand(CmdSave);
        QVERIFY(document().exporter().running());

        int ended = 0;
        for (int i = 0; i < 2; ++i)
            QMetaObject::invokeMethod(qApp, [&ended] { RunCommand(CmdNew); ++ended; }, Qt::QueuedConnection);
        // A wait left running would exclude input for good and never return here: end the
        // test as failed instead of hanging.
        QTimer watchdog;
        watchdog.callOnTimeout([] {
            if (QThread::currentThread()->loopLevel() > 0) {
                std::fputs("FAIL: a wait for the export still excludes input\n", stderr);
                std::_Exit(1);
            }
        });
        watchdog.start(kWait);

        QTRY_COMPARE_WITH_TIMEOUT(ended, 2, kWait);
        QCOMPARE(QThread::currentThread()->loopLevel(), 0);
        QVERIFY(!document().exporter().running());
        QVERIFY(readFileBytes(t.docsDir() + QStringLiteral("doc.htm")).contains("Saved</h1>"));
        QCOMPARE(EditorText(markdown()), QByteArray());
        // Keys reach the editor again.
        QTest::keyClicks(markdown(), "typed");
        QCOMPARE(EditorText(markdown()), QByteArray("typed"));
        QCOMPARE(t.platform.messageCount(), 0);
    }

    // Preview in Browser opens the page of the text as it was when the command came, even
    // when the text changes while that page is converted, and never a later page.
    void previewInBrowserOpensThePageOfItsMoment()
    {
        TestApp t;
        QVERIFY(startSlow(t, 600000));
        // Nothing changed since the last page: it opens at once.
        RunCommand(CmdPreviewInBrowser);
        QCOMPARE(t.platform.openedUrls(), QList<QUrl>{QUrl::fromLocalFile(lastPage())});

        type(markdown(), "at the command\n");
        writeFileBytes(t.root() + QStringLiteral("hold"), "");
        RunCommand(CmdPreviewInBrowser);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(t.root() + QStringLiteral("held")), kWait);
        type(markdown(), "typed later\n");
        QFile::remove(t.root() + QStringLiteral("hold"));
        QTRY_COMPARE_WITH_TIMEOUT(t.platform.openedUrls().size(), 2, kWait);
        const QByteArray opened = readFileBytes(t.platform.openedUrls().last().toLocalFile());
        QVERIFY(opened.contains("at the command"));
        QVERIFY(!opened.contains("typed later"));

        // Later pages go to the preview only.
        RunCommand(CmdRefresh);
        QTRY_VERIFY_WITH_TIMEOUT(readFileBytes(lastPage()).contains("typed later"), kWait);
        QCOMPARE(t.platform.openedUrls().size(), 2);

        // The last page gone meanwhile: a new one is made for the browser.
        QVERIFY(QFile::remove(lastPage()));
        RunCommand(CmdPreviewInBrowser);
        QTRY_COMPARE_WITH_TIMEOUT(t.platform.openedUrls().size(), 3, kWait);
        QVERIFY(readFileBytes(t.platform.openedUrls().last().toLocalFile()).contains("typed later"));
    }
};

QUILLDOWN_TEST_MAIN(TestCommandRaces)
#include "tst_commandraces.moc"
