// Documents the editor must carry byte for byte (NUL bytes, broken UTF-8, very long lines,
// very many lines) and folders and names that a shell or a URL would misread.
#include "fault/FaultSupport.h"

#include "core/AppState.h"
#include "app/Startup.h"
#include "app/BackgroundExport.h"
#include "app/Commands.h"
#include "app/Document.h"
#include "app/MainWindow.h"
#include "conversion/ConversionWorker.h"
#include "editor/Editor.h"
#include "preview/PreviewPane.h"
#include "settings/Settings.h"

#include <QDir>
#include <QFileInfo>
#include <Qsci/qsciscintillabase.h>

using Sci = QsciScintillaBase;

namespace {

QString status() { return mainWindow()->statusText(); }

// Opens through the Open dialog, as a user would.
void openThroughDialog(TestApp &t, const QString &path)
{
    t.platform.fileAnswers.enqueue(path);
    RunCommand(CmdOpen);
}

// The argument lists of every converter run, in order.
QList<QStringList> recordedRuns(const QString &file)
{
    QList<QStringList> runs;
    QStringList current;
    for (const QString &line : QString::fromUtf8(readFileBytes(file)).split(u'\n')) {
        if (line == QStringLiteral("--end--")) {
            runs << current;
            current.clear();
        } else {
            current << line;
        }
    }
    return runs;
}

} // namespace

class TestDocumentFiles : public QObject {
    Q_OBJECT
private slots:
    void oddDocumentsKeepTheirBytes_data()
    {
        QTest::addColumn<QByteArray>("original");
        QTest::addColumn<int>("editAt");

        QTest::newRow("NUL bytes") << QByteArray("before\0after\n\0\0end", 18) << 7;
        QTest::newRow("invalid UTF-8") << QByteArray("caf\xC3(\xFF\xFE\x80 \xE2\x82 ok \xC3\xA9\n") << 6;
        QTest::newRow("byte-order mark and mixed line ends")
            << QByteArray("\xEF\xBB\xBF" "one\r\ntwo\rthree\n\r\n") << 8;
        QByteArray longLine = "# Long\n" + QByteArray(100000, 'w') + "\ntail\n";
        QTest::newRow("100,000-character line") << longLine << 50007;
        QByteArray manyLines;
        manyLines.reserve(200000 * 12);
        for (int i = 0; i < 200000; ++i)
            manyLines += "line " + QByteArray::number(i) + "\n";
        QTest::newRow("200,000 lines") << manyLines << int(manyLines.indexOf("line 150000\n"));
    }

    // Open and save: the same bytes. Open, type one character, save: the same bytes with
    // exactly that character added where the caret was.
    void oddDocumentsKeepTheirBytes()
    {
        QFETCH(QByteArray, original);
        QFETCH(int, editAt);
        TestApp t;
        QVERIFY(t.useMissingConverter());
        QVERIFY(t.start());
        const QString path = t.docsDir() + QStringLiteral("odd.md");
        QVERIFY(writeFileBytes(path, original));

        openThroughDialog(t, path);
        QCOMPARE(::document().path(), path);
        QCOMPARE(EditorText(markdown()), original);
        QVERIFY(!::document().isModified());
        QVERIFY(QFile::remove(path));   // so the save below must write it anew
        RunCommand(CmdSave);
        QCOMPARE(status(), QStringLiteral("Saving 'odd.md'... saved, but the page was not exported: Pandoc is not available."));
        QCOMPARE(readFileBytes(path), original);

        markdown()->setFocus();
        send(markdown(), Sci::SCI_GOTOPOS, editAt);
        const long caret = send(markdown(), Sci::SCI_GETCURRENTPOS);
        QCOMPARE(caret, long(editAt));
        QTest::keyClick(markdown(), Qt::Key_X);
        QVERIFY(::document().isModified());
        RunCommand(CmdSave);
        const QByteArray edited = original.left(editAt) + 'x' + original.mid(editAt);
        QCOMPARE(readFileBytes(path), edited);
        QVERIFY(!::document().isModified());

        // Read back in, the editor holds exactly the file.
        NewDocument(::document(), true);
        openThroughDialog(t, path);
        QCOMPARE(EditorText(markdown()), edited);
        QVERIFY(t.platform.messageCount() <= 1);   // at most the converter's message
    }

    // Pipes where the head file and the exported page would be: opening reads neither
    // (it would wait for good), and saving replaces neither.
    void pipesBesideTheDocument()
    {
        TestApp t;
        QVERIFY(t.useMissingConverter());
        QVERIFY(t.start());
        const QString docs = t.docsDir();
        QVERIFY(writeFileBytes(docs + QStringLiteral("piped.md"), "# Piped\n"));
        const QString pipes[] = {docs + QStringLiteral("piped.htm"), docs + QStringLiteral("piped.head.txt")};
        for (const QString &pipe : pipes)
            QVERIFY(fault::makeFifo(pipe));
        fault::PipeWatch page(pipes[0]), headFile(pipes[1]);

        openThroughDialog(t, docs + QStringLiteral("piped.md"));
        QCOMPARE(EditorText(markdown()), QByteArray("# Piped\n"));
        QCOMPARE(EditorText(head()), QByteArray(kHeadTemplate));
        type(markdown(), "x");
        RunCommand(CmdSave);
        QCOMPARE(readFileBytes(docs + QStringLiteral("piped.md")), QByteArray("x# Piped\n"));
        QCOMPARE(status(), QStringLiteral("Saving 'piped.md'... saved, but the head file 'piped.head.txt' is not "
                                          "a regular file and was left as it is; the page was not exported: "
                                          "Pandoc is not available."));
        QVERIFY(!page.readerSeen());
        QVERIFY(!headFile.readerSeen());
        for (const QString &pipe : pipes) {
            struct stat info;
            QCOMPARE(::stat(QFile::encodeName(pipe).constData(), &info), 0);
            QVERIFY(S_ISFIFO(info.st_mode));
        }
    }

    void awkwardFolderNames_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("spaces") << QStringLiteral("my notes  here");
        QTest::newRow("single quote") << QStringLiteral("Ann's notes");
        QTest::newRow("double quote") << QStringLiteral("the \"best\" notes");
        QTest::newRow("hash") << QStringLiteral("notes #1");
        QTest::newRow("percent") << QStringLiteral("100% notes %20 %zz");
        QTest::newRow("question mark") << QStringLiteral("why? notes");
        QTest::newRow("non-ASCII") << QStringLiteral("Notizen für Jürgen – 日本");
        QTest::newRow("leading dash") << QStringLiteral("-o notes");
    }

    // Saving "-x.md" by a relative name in such a folder: the document and its export are
    // written there, the converter gets absolute paths only, and the preview of a document
    // with an image (converted beside it) loads from there too.
    void awkwardFolderNames()
    {
        QFETCH(QString, folder);
        TestApp t;
        const QString runs = t.root() + QStringLiteral("runs");
        Settings settings;
        settings.UpdateMilliseconds = 100;
        settings.PandocExe = fault::makeScript(t.root() + QStringLiteral("convert"),
                                               "[ \"$1\" = -v ] && exit 0\n"
                                               "printf '%s\\n' \"$@\" --end-- >> " + fault::shellQuoted(runs) + "\n"
                                               "exec /usr/bin/pandoc \"$@\"\n");
        QVERIFY(t.writeSettings(settings));
        QVERIFY(t.start());
        QTRY_VERIFY_WITH_TIMEOUT(app().converterState.load() >= ConverterIdle, 20000);
        const QString dir = t.docsDir() + folder + u'/';
        QVERIFY(QDir().mkpath(dir));

        const QByteArray text = "# Title \xC3\xBC\n\n![pic](pic.png)\n";
        type(markdown(), text);
        type(head(), "<meta name=\"awkward\">\n");
        const QString saved = QDir::currentPath();
        QDir::setCurrent(dir);
        t.platform.fileAnswers.enqueue(QStringLiteral("-x"));
        RunCommand(CmdSave);
        WaitForExport(::document().exporter(), mainWindow());
        QDir::setCurrent(saved);

        const QString document = dir + QStringLiteral("-x.md");
        QCOMPARE(::document().path(), document);
        QCOMPARE(status(), QStringLiteral("Saving '-x.md'... done."));
        QCOMPARE(readFileBytes(document), text);
        const QByteArray page = readFileBytes(dir + QStringLiteral("-x.htm"));
        QVERIFY(page.contains("Title \xC3\xBC</h1>"));
        QVERIFY(page.contains("<meta name=\"awkward\">"));
        QVERIFY(QFileInfo::exists(dir + QStringLiteral("air.css")));

        // Every run named its files by absolute paths.
        const QList<QStringList> all = recordedRuns(runs);
        QVERIFY(!all.isEmpty());
        bool exportSeen = false;
        for (const QStringList &args : all) {
            const qsizetype output = args.indexOf(QStringLiteral("-o")) + 1;
            QVERIFY(output > 0 && output < args.size());
            QVERIFY2(args.at(output).startsWith(u'/'), qPrintable(args.at(output)));
            QVERIFY2(args.last().startsWith(u'/'), qPrintable(args.last()));
            if (args.last() == document) {
                exportSeen = true;
                // Pandoc writes a fresh file beside the page, which then replaces it.
                QVERIFY2(args.at(output).startsWith(dir + QStringLiteral(".-x.htm.")), qPrintable(args.at(output)));
            }
        }
        QVERIFY(exportSeen);

        // The preview is converted in this instance's folder, its base the document's folder.
        type(markdown(), "more\n");
        QTRY_VERIFY_WITH_TIMEOUT(readFileBytes(lastPage()).contains("more"), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!mainWindow()->preview()->isLoadingPage() &&
                                     mainWindow()->preview()->shownPage() == lastPage(),
                                 20000);
        const QByteArray preview = readFileBytes(lastPage());
        QVERIFY(lastPage().startsWith(ActiveConversionHost()->previewFolder()));
        QVERIFY2(preview.contains("<meta name=\"awkward\">") &&
                     preview.contains("<base href=\"" + QUrl::fromLocalFile(dir).toEncoded(QUrl::FullyEncoded) + "\" />"),
                 preview.constData());

        t.shutdown();
        QCOMPARE(readFileBytes(document), text);
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name),
                 QStringList({QStringLiteral("-x.head.txt"), QStringLiteral("-x.htm"), QStringLiteral("-x.md"),
                              QStringLiteral("air.css")}));
    }
};

QUILLDOWN_FAULT_TEST_MAIN(TestDocumentFiles)
#include "tst_documentfiles.moc"
