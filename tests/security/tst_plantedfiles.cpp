// Folders that try to make the program write, copy or delete where it must not: links
// and pipes at the names it writes, a folder it cannot write, a shipped page naming any
// file as its stylesheet, documents named like the preview's own files.
#include "SecuritySupport.h"
#include "fault/FaultSupport.h"

#include "app/BackgroundExport.h"
#include "app/Commands.h"
#include "conversion/ConversionWorker.h"
#include "editor/Editor.h"

#include <QDirIterator>

namespace {

const QStringList kScratchNames = {"_temp0.md",  "_temp1.md",  "_temp0.head.txt", "_temp1.head.txt",
                                   "_temp0.htm", "_temp1.htm", "_tempair.css"};

bool startWithConverter(TestApp &t)
{
    return t.start() && QTest::qWaitFor([] { return app().converterState.load() >= ConverterIdle; }, kWait);
}

// Every file under `folder` with its bytes, links not followed.
QMap<QString, QByteArray> contentsOf(const QString &folder)
{
    QMap<QString, QByteArray> result;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        result.insert(path, info.isSymLink() ? "link:" + info.symLinkTarget().toUtf8()
                                             : info.isFile() ? readFileBytes(path) : QByteArray("other"));
    }
    return result;
}

// Waits until the pane shows a page holding `text`, converted in this instance's own folder.
bool showsPageWith(const QByteArray &text)
{
    const QString folder = ActiveConversionHost()->previewFolder();
    return QTest::qWaitFor(
        [&] {
            return previewShown() && lastPage().startsWith(folder) &&
                   readFileBytes(lastPage()).contains(text);
        },
        kWait);
}

// Whether the shown page's first picture has loaded.
bool pictureShown()
{
    return QTest::qWaitFor([] { return pageValue(QStringLiteral("document.images[0].naturalWidth")).toInt() > 0; },
                           kWait);
}

bool writePicture(const QString &path)
{
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    return picture.save(path, "PNG");
}

QString status() { return mainWindow()->statusText(); }

} // namespace

class TestPlantedFiles : public QObject {
    Q_OBJECT
private slots:
    // Links at every name the preview and the save write, pointing into another folder,
    // some at files there and some at nothing yet.
    void plantedLinksChangeNothingElsewhere()
    {
        TestApp t;
        QVERIFY(startWithConverter(t));
        const QString docs = t.docsDir();
        const QString elsewhere = t.root() + QStringLiteral("elsewhere/");
        QVERIFY(QDir().mkpath(elsewhere));
        const QStringList names = kScratchNames + QStringList{"doc.htm", "air.css"};
        for (int i = 0; i < names.size(); ++i) {
            if (i % 2)
                QVERIFY(writeFileBytes(elsewhere + names.at(i), "untouched\n"));
            QVERIFY(QFile::link(elsewhere + names.at(i), docs + names.at(i)));
        }
        const QMap<QString, QByteArray> before = contentsOf(elsewhere);
        QVERIFY(writeFileBytes(docs + QStringLiteral("doc.md"), "# Doc\n\n![pic](pic.png)\n\nfirst\n"));

        OpenDocument(document(), docs + QStringLiteral("doc.md"));
        QVERIFY(showsPageWith("first"));
        type(markdown(), "second ");
        QVERIFY(showsPageWith("second"));
        RunCommand(CmdSave);
        QVERIFY(WaitForExport(document().exporter(), mainWindow()));
        QCOMPARE(status(), QStringLiteral("Saving 'doc.md'... done."));
        QVERIFY(!QFileInfo(docs + QStringLiteral("doc.htm")).isSymLink());
        QVERIFY(readFileBytes(docs + QStringLiteral("doc.htm")).contains("second"));
        QCOMPARE(contentsOf(elsewhere), before);

        t.shutdown();
        QCOMPARE(contentsOf(elsewhere), before);
        QVERIFY(readFileBytes(docs + QStringLiteral("doc.htm")).contains("second"));
    }

    void readOnlyFolderStillShowsItsPage()
    {
        if (!fault::privateMounts())
            QSKIP("Needs root and a private mount namespace to make writes fail for root too.");
        TestApp t;
        QVERIFY(startWithConverter(t));
        const QString folder = t.docsDir() + QStringLiteral("locked/");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(writeFileBytes(folder + QStringLiteral("doc.md"), "# Locked\n\n![pic](pic.png)\n\nreadable\n"));
        QVERIFY(writePicture(folder + QStringLiteral("pic.png")));
        const QMap<QString, QByteArray> before = contentsOf(folder);
        QVERIFY(fault::makeReadOnly(folder));
        fault::MountGuard guard(folder);

        OpenDocument(document(), folder + QStringLiteral("doc.md"));
        QVERIFY(showsPageWith("readable"));
        QVERIFY(pictureShown());
        QCOMPARE(contentsOf(folder), before);
    }

    // A shipped page whose stylesheet link names a private key, directly or through a
    // link named like a stylesheet: the default stylesheet is used and the key is copied
    // nowhere.
    void shippedPageCannotChooseAnyStylesheet()
    {
        TestApp t;
        QVERIFY(startWithConverter(t));
        const QString docs = t.docsDir();
        const QString key = t.root() + QStringLiteral("private/id_rsa");
        QDir().mkpath(t.root() + QStringLiteral("private"));
        QVERIFY(writeFileBytes(key, "PRIVATE KEY\n"));
        QVERIFY(QFile::link(key, docs + QStringLiteral("style.css")));
        const QString defaultStylesheet = t.binDir() + QStringLiteral("css/air.css");
        const QByteArray pages[] = {"<link rel=\"stylesheet\" href=\"../private/id_rsa\">",
                                    "<link rel=\"stylesheet\" href=\"style.css\">"};
        for (const QByteArray &page : pages) {
            QVERIFY(writeFileBytes(docs + QStringLiteral("readme.md"), "# Readme\n\n![pic](pic.png)\n"));
            QVERIFY(writeFileBytes(docs + QStringLiteral("readme.htm"), "<html><head>" + page + "</head></html>"));
            OpenDocument(document(), docs + QStringLiteral("readme.md"));
            QCOMPARE(document().stylesheet(), defaultStylesheet);
            QVERIFY(showsPageWith("Readme"));
            type(markdown(), "x");
            RunCommand(CmdSave);
            QVERIFY(WaitForExport(document().exporter(), mainWindow()));
            QCOMPARE(status(), QStringLiteral("Saving 'readme.md'... done."));
        }
        for (const QString &file : QDir(docs).entryList(QDir::Files | QDir::NoSymLinks | QDir::Hidden))
            QVERIFY2(!readFileBytes(docs + file).contains("PRIVATE KEY"), qPrintable(file));
    }

    // Documents named like the preview's files, and one beside the user's own file of such
    // a name, show their pictures, and nothing appears, changes or goes in their folders
    // but by Save; a folder whose name holds "mailto:" keeps its preview.
    void documentsNamedLikeOurFiles()
    {
        TestApp t;
        QVERIFY(startWithConverter(t));
        const QString docs = t.docsDir();
        const QString beside = t.root() + QStringLiteral("beside/");
        QVERIFY(QDir().mkpath(beside));
        const QByteArray text = "# Mine\n\n![pic](pic.png)\n\nmy own text\n";
        QVERIFY(writeFileBytes(docs + QStringLiteral("_temp0.md"), text));
        QVERIFY(writeFileBytes(beside + QStringLiteral("_temp0.md"), "the user's own\n"));
        QVERIFY(writeFileBytes(beside + QStringLiteral("doc.md"), "# Beside\n\n![pic](pic.png)\n\nbeside\n"));
        QVERIFY(writePicture(docs + QStringLiteral("pic.png")) && writePicture(beside + QStringLiteral("pic.png")));
        const QMap<QString, QByteArray> docsBefore = contentsOf(docs);
        const QMap<QString, QByteArray> besideBefore = contentsOf(beside);

        OpenDocument(document(), beside + QStringLiteral("doc.md"));
        QVERIFY(showsPageWith("beside"));
        QVERIFY(pictureShown());
        OpenDocument(document(), docs + QStringLiteral("_temp0.md"));
        QVERIFY(showsPageWith("my own text"));
        QVERIFY(pictureShown());
        QCOMPARE(contentsOf(docs), docsBefore);
        QCOMPARE(contentsOf(beside), besideBefore);

        RunCommand(CmdSave);
        QVERIFY(WaitForExport(document().exporter(), mainWindow()));
        QCOMPARE(status(), QStringLiteral("Saving '_temp0.md'... done."));
        QVERIFY(readFileBytes(docs + QStringLiteral("_temp0.htm")).contains("my own text"));

        const QString odd = docs + QStringLiteral("mailto:x/");
        QVERIFY(QDir().mkpath(odd));
        QVERIFY(writeFileBytes(odd + QStringLiteral("doc.md"), "# Mail\n\n![pic](pic.png)\n\nodd folder\n"));
        QVERIFY(writePicture(odd + QStringLiteral("pic.png")));
        OpenDocument(document(), odd + QStringLiteral("doc.md"));
        QVERIFY(showsPageWith("odd folder"));
        QVERIFY(pictureShown());

        t.shutdown();
        QCOMPARE(readFileBytes(docs + QStringLiteral("_temp0.md")), text);
        QVERIFY(readFileBytes(docs + QStringLiteral("_temp0.htm")).contains("my own text"));
        QCOMPARE(contentsOf(beside), besideBefore);
    }

    // Pipes at the preview's names and as the document's picture: the page finishes, the
    // picture pipe is never opened, and exit does not wait on any of them.
    void pipesNeitherHangThePageNorExit()
    {
        TestApp t;
        QVERIFY(startWithConverter(t));
        const QString docs = t.docsDir();
        for (const QString &name : kScratchNames)
            QVERIFY(fault::makeFifo(docs + name));
        QVERIFY(fault::makeFifo(docs + QStringLiteral("pipe.png")));
        fault::PipeWatch picture(docs + QStringLiteral("pipe.png"));
        QVERIFY(writeFileBytes(docs + QStringLiteral("doc.md"),
                               "# Pipes\n\n![pipe](pipe.png)\n\n<img src=\"pipe.png\">\n\npiped\n"));

        OpenDocument(document(), docs + QStringLiteral("doc.md"));
        QVERIFY(showsPageWith("piped"));
        QTRY_VERIFY_WITH_TIMEOUT(!pane()->isLoadingPage(), kWait);
        t.shutdown();
        QVERIFY(!picture.readerSeen());
    }
};

QUILLDOWN_FAULT_TEST_MAIN(TestPlantedFiles)
#include "tst_plantedfiles.moc"
