// What the status bar says about a save in the running program: a page that could not be
// exported is named, an edit during the export keeps the status empty, the converting note
// does not cover a save, and the first save converts the preview again for its folder.
#include "fault/FaultSupport.h"

#include "core/AppState.h"
#include "app/BackgroundExport.h"
#include "app/Commands.h"
#include "app/ConversionStatus.h"
#include "app/Document.h"
#include "app/MainWindow.h"
#include "app/Startup.h"
#include "settings/Settings.h"

#include <QImage>
#include <QSignalSpy>
#include <QStatusBar>

namespace {

constexpr int kWait = 30000;

QString status() { return mainWindow()->statusText(); }

// Starts the program with a converter that takes `seconds` longer than Pandoc for every
// page, the preview's and the export's.
bool startSlowed(TestApp &t, const QByteArray &seconds)
{
    Settings settings;
    settings.UpdateMilliseconds = 50;
    settings.PandocExe = fault::makeScript(t.root() + QStringLiteral("slow-pandoc"),
                                           "[ \"$1\" = -v ] || sleep " + seconds + "\nexec /usr/bin/pandoc \"$@\"\n");
    if (!t.writeSettings(settings) || !t.start())
        return false;
    return QTest::qWaitFor([] { return app().converterState.load() >= ConverterIdle; }, kWait);
}

} // namespace

class TestSaveStatus : public QObject {
    Q_OBJECT
private slots:
    void savingStatuses()
    {
        {
            // Nothing could export the page: the document is saved, the page is not.
            TestApp t;
            QVERIFY(t.useMissingConverter());
            QVERIFY(t.start());
            QTRY_COMPARE_WITH_TIMEOUT(app().converterState.load(), int(ConverterFailed), kWait);
            type(markdown(), "# Title\n");
            t.platform.fileAnswers.enqueue(t.docsDir() + QStringLiteral("doc.md"));
            RunCommand(CmdSave);
            QCOMPARE(readFileBytes(t.docsDir() + QStringLiteral("doc.md")), QByteArray("# Title\n"));
            QCOMPARE(status(),
                     QStringLiteral("Saving 'doc.md'... saved, but the page was not exported: Pandoc is not available."));
            QVERIFY(!document().isModified());
        }

        TestApp t;
        QVERIFY(startSlowed(t, "2"));
        const QString docs = t.docsDir();
        QImage picture(8, 6, QImage::Format_RGB32);
        picture.fill(Qt::red);
        QVERIFY(picture.save(docs + QStringLiteral("pic.png")));

        // The first save of a new document converts its preview again, for its folder.
        type(markdown(), "![red](pic.png)\n");
        QTRY_VERIFY_WITH_TIMEOUT(!lastPage().isEmpty(), kWait);
        QSignalSpy shown(ActiveConversionHost(), &ConversionHost::pageShown);
        t.platform.fileAnswers.enqueue(docs + QStringLiteral("doc.md"));
        RunCommand(CmdSave);
        QVERIFY(WaitForExport(document().exporter(), mainWindow()));
        QCOMPARE(status(), QStringLiteral("Saving 'doc.md'... done."));
        QTRY_VERIFY_WITH_TIMEOUT(!shown.isEmpty(), kWait);
        QVERIFY(readFileBytes(shown.last().at(0).toString()).contains("pic.png"));

        // A preview conversion under way when a save starts: its note never covers the
        // save's status, which ends as it should.
        bool covered = false;
        const auto watch = connect(mainWindow()->statusBar(), &QStatusBar::messageChanged, this, [&covered](const QString &message) {
            covered = covered || (message == QLatin1String(kConvertingText) && status().startsWith("Saving"));
        });
        type(markdown(), "More.\n");
        QTRY_COMPARE_WITH_TIMEOUT(app().converterState.load(), int(ConverterConverting), kWait);
        RunCommand(CmdSave);
        QCOMPARE(status(), QStringLiteral("Saving 'doc.md'... "));
        QVERIFY(WaitForExport(document().exporter(), mainWindow()));
        disconnect(watch);
        QVERIFY(!covered);
        QCOMPARE(status(), QStringLiteral("Saving 'doc.md'... done."));

        // An edit during the export empties the status; the export's end leaves it empty.
        type(markdown(), "Again.\n");
        RunCommand(CmdSave);
        QVERIFY(document().exporter().running());
        type(markdown(), "x");
        QCOMPARE(status(), QString());
        QVERIFY(WaitForExport(document().exporter(), mainWindow()));
        QCOMPARE(status(), QString());
        QVERIFY(readFileBytes(docs + QStringLiteral("doc.htm")).contains("Again."));
    }
};

QUILLDOWN_FAULT_TEST_MAIN(TestSaveStatus)
#include "tst_savestatus.moc"
