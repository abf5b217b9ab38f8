// Page titles, the export beside a document with its stylesheet copy, and reading the
// stylesheet back from an exported page.
#include "ConversionRig.h"

#include "core/AppState.h"
#include "conversion/HtmlAdjust.h"
#include "files/DocumentFiles.h"
#include "settings/Settings.h"
#include "settings/Stylesheets.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QUrl>

namespace {

QString recordingConverter(const QString &dir)
{
    const QString path = dir + QStringLiteral("convert");
    writeFileBytes(path, "#!/bin/sh\n[ \"$1\" = -v ] && exit 0\n"
                         "printf '%s\\n' \"$@\" > '" + (dir + QStringLiteral("args")).toUtf8() + "'\n"
                         "pwd > '" + (dir + QStringLiteral("pwd")).toUtf8() + "'\n"
                         "exec /usr/bin/pandoc \"$@\"\n");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

QStringList recordedArguments(const ConversionRig &t)
{
    return withPageNames(
        QString::fromUtf8(readFileBytes(t.root() + QStringLiteral("args"))).split(u'\n', Qt::SkipEmptyParts));
}

bool startWith(ConversionRig &t, const Settings &settings)
{
    if (!t.start(settings))
        return false;
    // Exports wait for the first preview so both never race for the recorded arguments.
    if (QTest::qWaitFor([&t] { return !t.lastPage.isEmpty(); }, 20000))
        return true;
    qWarning("no preview: converter state %d", app().converterState.load());
    return false;
}

// Starts with the real Pandoc and a saved document "note.md" holding `text`; its path.
QString startWithNote(ConversionRig &t, Settings settings = Settings())
{
    settings.PandocExe = QStringLiteral("/usr/bin/pandoc");
    if (!startWith(t, settings))
        return QString();
    const QString document = t.docsDir() + QStringLiteral("note.md");
    writeFileBytes(document, "text\n");
    t.documentPath = document;
    return document;
}

} // namespace

class TestHtmlAdjust : public QObject {
    Q_OBJECT
private slots:
    void pageTitleFromHeadText()
    {
        QCOMPARE(PageTitleFromHead("<!--<title>PageTitle</title>-->\n"), QStringLiteral("PageTitle"));
        QCOMPARE(PageTitleFromHead("<title>My notes</title>"), QStringLiteral("My notes"));
        QCOMPARE(PageTitleFromHead("<meta x><title> as is &amp; </title><title>B</title>"),
                 QStringLiteral(" as is &amp; "));
        QCOMPARE(PageTitleFromHead("<title>open to the end\n"), QStringLiteral("open to the end\n"));
        QCOMPARE(PageTitleFromHead("<title>A <title>B</title>"), QStringLiteral("A "));
        QCOMPARE(PageTitleFromHead("<TITLE>upper</TITLE>"), QString());
        QCOMPARE(PageTitleFromHead(""), QString());
        QCOMPARE(PageTitleFromHead("<title>\xC3\x9C" "ber</title>"), QStringLiteral("\u00DCber"));
    }

    void exportWithAndWithoutHeadFile()
    {
        ConversionRig t;
        Settings settings;
        settings.PandocExe = recordingConverter(t.root());
        QVERIFY(startWith(t, settings));
        // No preview runs from here on to overwrite the recorded arguments: none is asked for.
        const QString docs = t.docsDir();
        const QString document = docs + QStringLiteral("note.md");
        writeFileBytes(document, "# Report\n");
        t.documentPath = document;

        // The head was never edited, so there is no head file and no "-H".
        QVERIFY(t.exportHtml());
        QCOMPARE(recordedArguments(t),
                 QStringList({"--from", "markdown_mmd", "--to", "html", "-s", "-o", docs + "note.htm", "--css", "air.css",
                              "--metadata", "pagetitle=PageTitle", document}));
        QCOMPARE(readFileBytes(t.root() + QStringLiteral("pwd")).trimmed(), docs.chopped(1).toUtf8());
        QCOMPARE(readFileBytes(docs + QStringLiteral("air.css")), readFileBytes(DefaultStylesheetPath(app().location)));
        QVERIFY(readFileBytes(docs + QStringLiteral("note.htm")).contains("href=\"air.css\""));

        writeFileBytes(HeadFileFor(document), "<meta name=\"author\" content=\"me\">\n");
        t.head = "<title>Quarterly</title>\n";
        QVERIFY(t.exportHtml());
        QCOMPARE(recordedArguments(t),
                 QStringList({"--from", "markdown_mmd", "--to", "html", "-s", "-o", docs + "note.htm", "--css", "air.css",
                              "-H", docs + "note.head.txt", "--metadata", "pagetitle=Quarterly", document}));
        const QByteArray page = readFileBytes(docs + QStringLiteral("note.htm"));
        QVERIFY(page.contains("<meta name=\"author\" content=\"me\">"));
        QVERIFY(page.contains("<title>Quarterly</title>"));
        QVERIFY(page.contains("Report</h1>"));

        // A document whose name begins with "-" is still read as a file.
        const QString dashed = docs + QStringLiteral("-v.md");
        writeFileBytes(dashed, "# Dashed\n");
        t.documentPath = dashed;
        QVERIFY(t.exportHtml());
        QVERIFY(readFileBytes(docs + QStringLiteral("-v.htm")).contains("Dashed</h1>"));
    }

    void stylesheetCopyIsMadeOnlyWhenMissing()
    {
        ConversionRig t;
        QVERIFY(!startWithNote(t).isEmpty());
        const QString docs = t.docsDir();
        writeFileBytes(docs + QStringLiteral("air.css"), "/* edited copy */\n");
        QVERIFY(t.exportHtml());
        QCOMPARE(readFileBytes(docs + QStringLiteral("air.css")), QByteArray("/* edited copy */\n"));

        // A second stylesheet: linked by its own name, copied beside, the first copy stays.
        const QString dark = StylesheetFolder(app().location) + QStringLiteral("dark.css");
        writeFileBytes(dark, "body { background: black; }\n");
        t.stylesheet = dark;
        QVERIFY(t.exportHtml());
        QVERIFY(readFileBytes(docs + QStringLiteral("note.htm")).contains("href=\"dark.css\""));
        QCOMPARE(readFileBytes(docs + QStringLiteral("dark.css")), readFileBytes(dark));
        QCOMPARE(readFileBytes(docs + QStringLiteral("air.css")), QByteArray("/* edited copy */\n"));

        // Reopening selects the copy beside the document.
        QCOMPARE(DocumentStylesheet(t.documentPath, DefaultStylesheetPath(app().location)), docs + QStringLiteral("dark.css"));
        QFile::remove(docs + QStringLiteral("dark.css"));
        QCOMPARE(DocumentStylesheet(t.documentPath, DefaultStylesheetPath(app().location)), DefaultStylesheetPath(app().location));
    }

    // "#", "?" and "%" in a stylesheet's name: the page's link still reaches the copy, as
    // a browser reads it, and reopening finds it again; an older page that named such a
    // file unescaped still restores it.
    void stylesheetNameThatIsNotAPlainUriStillLinks()
    {
        ConversionRig t;
        QVERIFY(!startWithNote(t).isEmpty());
        const QString docs = t.docsDir();
        const QString odd = StylesheetFolder(app().location) + QStringLiteral("dark #2? 100%.css");
        writeFileBytes(odd, "body { background: black; }\n");
        t.stylesheet = odd;
        QVERIFY(t.exportHtml());
        const QString copy = docs + QStringLiteral("dark #2? 100%.css");
        QCOMPARE(readFileBytes(copy), readFileBytes(odd));

        const QByteArray page = readFileBytes(docs + QStringLiteral("note.htm"));
        QByteArray href = page.mid(page.indexOf("href=\"") + 6);
        href.truncate(href.indexOf('"'));
        const QUrl linked = QUrl::fromLocalFile(docs + QStringLiteral("note.htm")).resolved(QUrl(QString::fromUtf8(href)));
        QCOMPARE(linked.toLocalFile(), copy);

        QCOMPARE(DocumentStylesheet(t.documentPath, DefaultStylesheetPath(app().location)), copy);

        const QString older = docs + QStringLiteral("100%25.css");
        writeFileBytes(older, "p {}\n");
        writeFileBytes(docs + QStringLiteral("note.htm"), "<link rel=\"stylesheet\" href=\"100%25.css\" />");
        QCOMPARE(DocumentStylesheet(t.documentPath, DefaultStylesheetPath(app().location)), older);
    }

    void failedExportIsReportedAndKeepsTheOldPage()
    {
        ConversionRig t;
        Settings settings;
        settings.MarkdownVersion = QStringLiteral("no_such_format");
        QVERIFY(!startWithNote(t, settings).isEmpty());
        writeFileBytes(t.docsDir() + QStringLiteral("note.htm"), "<p>older page</p>\n");
        QVERIFY(!t.exportHtml());
        QCOMPARE(readFileBytes(t.docsDir() + QStringLiteral("note.htm")), QByteArray("<p>older page</p>\n"));
        t.documentPath = QString();
        QVERIFY(!t.exportHtml());
    }

    void stylesheetReadBackFromPages()
    {
        QTemporaryDir dir;
        const QString folder = dir.path() + u'/';
        QDir().mkpath(folder + QStringLiteral("styles"));
        // As written by this program's export.
        QCOMPARE(StylesheetLinkedBy("<link rel=\"stylesheet\" href=\"air.css\" />", folder), folder + "air.css");
        // By hand: relative folders, absolute paths, and the first link only.
        QCOMPARE(StylesheetLinkedBy("<link rel=\"stylesheet\" href=\"./styles/x.css\">"
                                    "<link rel=\"stylesheet\" href=\"y.css\">",
                                    folder),
                 folder + "styles/x.css");
        QCOMPARE(StylesheetLinkedBy("<link rel=stylesheet href=\"/abs/z.css\">", folder), QStringLiteral("/abs/z.css"));
        // "href=" before "stylesheet" is not seen; neither is an unquoted value.
        QCOMPARE(StylesheetLinkedBy("<link href=\"a.css\" rel=\"stylesheet\">", folder), QString());
        QCOMPARE(StylesheetLinkedBy("<link rel=\"stylesheet\" href=a.css>", folder), QString());
        QCOMPARE(StylesheetLinkedBy("<p>no links</p>", folder), QString());
        QCOMPARE(StylesheetLinkedBy("", folder), QString());

        ConversionRig t;
        QVERIFY(t.start());
        const QString docs = t.docsDir();
        const QString document = docs + QStringLiteral("hand.md");
        QDir().mkpath(docs + QStringLiteral("styles"));
        writeFileBytes(docs + QStringLiteral("styles/x.css"), "p {}\n");
        writeFileBytes(HtmlFileFor(document), "<html><head><link rel=\"stylesheet\" href=\"styles/x.css\"></head></html>");
        t.documentPath = document;
        QCOMPARE(DocumentStylesheet(t.documentPath, DefaultStylesheetPath(app().location)), docs + QStringLiteral("styles/x.css"));
        // A linked file that is gone, or no page at all: the default.
        writeFileBytes(HtmlFileFor(document), "<link rel=\"stylesheet\" href=\"styles/gone.css\">");
        QCOMPARE(DocumentStylesheet(t.documentPath, DefaultStylesheetPath(app().location)), DefaultStylesheetPath(app().location));
        t.documentPath = docs + QStringLiteral("never-exported.md");
        QCOMPARE(DocumentStylesheet(t.documentPath, DefaultStylesheetPath(app().location)), DefaultStylesheetPath(app().location));
    }
};

QUILLDOWN_TEST_MAIN(TestHtmlAdjust)
#include "tst_htmladjust.moc"
