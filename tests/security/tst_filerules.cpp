// The plain rules behind the preview's safety: files written only as plain files, what
// a page may load from disk, which links may be followed, which stylesheet a page may
// name, and the preview's head policy.
#include "common/TestSupport.h"
#include "fault/FaultSupport.h"

#include "conversion/HtmlAdjust.h"
#include "conversion/PreviewTemplate.h"
#include "files/SafeFiles.h"
#include "preview/NavigationRules.h"
#include "preview/PreviewGuard.h"
#include "preview/PreviewPane.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <sys/stat.h>

class TestFileRules : public QObject {
    Q_OBJECT
private slots:
    void plainFilesReplaceWhatIsAtTheirName()
    {
        QTemporaryDir dir;
        const QString root = dir.path() + u'/';
        QVERIFY(writeFileBytes(root + QStringLiteral("target"), "target\n"));
        QVERIFY(QFile::link(root + QStringLiteral("target"), root + QStringLiteral("link")));
        QVERIFY(QFile::link(root + QStringLiteral("nowhere"), root + QStringLiteral("dangling")));
        QVERIFY(fault::makeFifo(root + QStringLiteral("fifo")));
        QVERIFY(::link(QFile::encodeName(root + QStringLiteral("target")).constData(),
                       QFile::encodeName(root + QStringLiteral("hard")).constData()) == 0);
        for (const char *name : {"link", "dangling", "fifo", "hard", "new"}) {
            const QString path = root + QLatin1String(name);
            QVERIFY2(WritePlainFile("plain", path), name);
            QVERIFY(!QFileInfo(path).isSymLink());
            QCOMPARE(readFileBytes(path), QByteArray("plain"));
        }
        QCOMPARE(readFileBytes(root + QStringLiteral("target")), QByteArray("target\n"));
        QVERIFY(!QFileInfo::exists(root + QStringLiteral("nowhere")));
        QVERIFY(QDir().mkpath(root + QStringLiteral("folder")));
        QVERIFY(!WritePlainFile("x", root + QStringLiteral("folder")));
        QVERIFY(!CopyToPlainFile(root + QStringLiteral("missing"), root + QStringLiteral("copy")));

        // A finished page replaces a link, never its target; a page the user made
        // read-only, and a folder, stay.
        const QString fresh = FreshNameBeside(root + QStringLiteral("link"));
        QVERIFY(QFileInfo(fresh).fileName().startsWith(QLatin1String(".link.")));
        QVERIFY(QFile::link(root + QStringLiteral("target"), root + QStringLiteral("page.htm")));
        QVERIFY(writeFileBytes(fresh, "page"));
        QVERIFY(MoveIntoPlace(fresh, root + QStringLiteral("page.htm")));
        QCOMPARE(readFileBytes(root + QStringLiteral("page.htm")), QByteArray("page"));
        QCOMPARE(readFileBytes(root + QStringLiteral("target")), QByteArray("target\n"));
        QVERIFY(writeFileBytes(fresh, "page"));
        QVERIFY(!MoveIntoPlace(fresh, root + QStringLiteral("folder")));
        QVERIFY(!QFileInfo::exists(fresh));
    }

    void whatAPageMayLoadFromDisk()
    {
        QTemporaryDir dir;
        const QString root = dir.path() + u'/';
        for (const char *name : {"pic.png", "tool.js", "look.css", "secret.txt"})
            QVERIFY(writeFileBytes(root + QLatin1String(name), "x"));
        QVERIFY(fault::makeFifo(root + QStringLiteral("pipe.png")));
        using Info = QWebEngineUrlRequestInfo;
        QVERIFY(LocalRequestAllowed(root + QStringLiteral("pic.png"), Info::ResourceTypeImage));
        QVERIFY(LocalRequestAllowed(root + QStringLiteral("tool.js"), Info::ResourceTypeScript));
        QVERIFY(LocalRequestAllowed(root + QStringLiteral("look.css"), Info::ResourceTypeStylesheet));
        QVERIFY(!LocalRequestAllowed(root + QStringLiteral("secret.txt"), Info::ResourceTypeScript));
        QVERIFY(!LocalRequestAllowed(root + QStringLiteral("secret.txt"), Info::ResourceTypeStylesheet));
        QVERIFY(!LocalRequestAllowed(root + QStringLiteral("secret.txt"), Info::ResourceTypeXhr));
        QVERIFY(!LocalRequestAllowed(root + QStringLiteral("secret.txt"), Info::ResourceTypeSubFrame));
        QVERIFY(!LocalRequestAllowed(root + QStringLiteral("secret.txt"), Info::ResourceTypeObject));
        QVERIFY(!LocalRequestAllowed(root + QStringLiteral("pipe.png"), Info::ResourceTypeImage));
        QVERIFY(!LocalRequestAllowed(dir.path(), Info::ResourceTypeMainFrame));

        QVERIFY(FrameMayLoad(QUrl("https://www.example.com/embed")));
        QVERIFY(FrameMayLoad(QUrl("about:srcdoc")));
        QVERIFY(!FrameMayLoad(QUrl::fromLocalFile(root + QStringLiteral("pic.png"))));
    }

    // Folders are neither shown nor handed on. Whatever the desktop might run is never
    // handed on, whatever its name says: decided by the name (also decoded once more) and
    // by the content. What is handed on is the very file checked.
    void handOffsByWhatTheFileIs()
    {
        TestApp t;   // only for its scripted platform
        QTemporaryDir dir;
        const QString root = dir.path() + u'/';
        QVERIFY(QDir().mkpath(root + QStringLiteral("folder.htm")));
        QVERIFY(!OnPreviewNavigate(QUrl::fromLocalFile(root + QStringLiteral("folder.htm"))));
        QVERIFY(!OnPreviewNavigate(QUrl::fromLocalFile(dir.path())));

        const QByteArray launcher = "[Desktop Entry]\nType=Application\nName=Notes\nExec=sh -c true\n";
        const QByteArray program = readFileBytes(QStringLiteral("/bin/true"));
        QVERIFY(program.startsWith("\x7f" "ELF"));
        const QList<QPair<QString, QByteArray>> refused = {
            {QStringLiteral("run.desktop"), launcher},
            {QStringLiteral("evil.kdelnk"), launcher},
            {QStringLiteral("readme.txt"), launcher},                      // a launcher by content
            {QStringLiteral("evil.desktop\n"), "text"},                    // control characters
            {QStringLiteral("evil.desktop%0A"), "text"},                   // decoded once more
            {QStringLiteral("notes\u202Etxt.md"), "text"},                 // reversed text
            {QStringLiteral("tool.jar"), QByteArray("PK\x03\x04", 4) + QByteArray(60, '\0')},
            {QStringLiteral("setup.exe"), "MZ" + QByteArray(62, '\0')},
            {QStringLiteral("setup.bat"), "echo off\r\n"},
            {QStringLiteral("install.sh"), "echo hi\n"},
            {QStringLiteral("install"), "#!/bin/sh\necho hi\n"},            // a script by content
            {QStringLiteral("picture.png"), program},                      // a program by content
            {QStringLiteral("libthing.so"), "text"},
        };
        for (const auto &[name, content] : refused)
            QVERIFY2(writeFileBytes(root + name, content), qPrintable(name));
        QVERIFY(QFile::link(root + QStringLiteral("run.desktop"), root + QStringLiteral("innocent.txt")));
        QVERIFY(writeFileBytes(root + QStringLiteral("tool"), "text"));
        QVERIFY(::chmod(QFile::encodeName(root + QStringLiteral("tool")).constData(), 0744) == 0);
        QStringList names = {QStringLiteral("innocent.txt"), QStringLiteral("tool"), QStringLiteral("missing.txt")};
        for (const auto &entry : refused)
            names << entry.first;
        for (const QString &name : names) {
            QString note;
            QVERIFY2(DesktopMightRun(root + name) && LocalHandOff(root + name).isEmpty(), qPrintable(name));
            QVERIFY(!OnPreviewNavigate(QUrl::fromLocalFile(root + name), false, &note));
            QVERIFY2(name == QLatin1String("missing.txt") || note.startsWith(QLatin1String("Did not open '")),
                     qPrintable(name));
            QVERIFY(!note.contains(u'\n'));
        }
        QVERIFY(t.platform.openedUrls().isEmpty());

        // Handed on: the canonical file, whose address decodes to exactly that path.
        QVERIFY(writeFileBytes(root + QStringLiteral("RUN.DESKTOP.txt"), "text"));
        QVERIFY(writeFileBytes(root + QStringLiteral("100%41 ü#1.txt"), "text"));
        QVERIFY(writeFileBytes(root + QStringLiteral("target.md"), "# text\n"));
        QVERIFY(QFile::link(root + QStringLiteral("target.md"), root + QStringLiteral("link.txt")));
        const QString canonicalRoot = QFileInfo(dir.path()).canonicalFilePath() + u'/';
        const QStringList opened = {QStringLiteral("RUN.DESKTOP.txt"), QStringLiteral("100%41 ü#1.txt"),
                                    QStringLiteral("link.txt")};
        const QStringList expected = {QStringLiteral("RUN.DESKTOP.txt"), QStringLiteral("100%41 ü#1.txt"),
                                      QStringLiteral("target.md")};
        for (int i = 0; i < opened.size(); ++i) {
            QVERIFY(!DesktopMightRun(root + opened[i]));
            QVERIFY(!OnPreviewNavigate(QUrl::fromLocalFile(root + opened[i])));
            QCOMPARE(t.platform.openedUrls().size(), i + 1);
            QCOMPARE(t.platform.openedUrls().last().toLocalFile(), canonicalRoot + expected[i]);
        }
    }

    void stylesheetsNamedByPages()
    {
        QTemporaryDir dir;
        const QString root = dir.path() + u'/';
        QVERIFY(writeFileBytes(root + QStringLiteral("a.CSS"), "p{}"));
        QVERIFY(writeFileBytes(root + QStringLiteral("id_rsa"), "key"));
        QVERIFY(QFile::link(root + QStringLiteral("id_rsa"), root + QStringLiteral("key.css")));
        QVERIFY(QDir().mkpath(root + QStringLiteral("folder.css")));
        QVERIFY(IsStylesheetFile(root + QStringLiteral("a.CSS")));
        QVERIFY(!IsStylesheetFile(root + QStringLiteral("id_rsa")));
        QVERIFY(!IsStylesheetFile(root + QStringLiteral("key.css")));
        QVERIFY(!IsStylesheetFile(root + QStringLiteral("folder.css")));
        QVERIFY(!IsStylesheetFile(root + QStringLiteral("gone.css")));
    }

    void headPolicyMarksOnlyScriptTagsAndHashesOnlyHandlers()
    {
        const QByteArray nonce = NewScriptNonce();
        QVERIFY(nonce.size() >= 22);
        QVERIFY(nonce != NewScriptNonce());
        const QByteArray head = "<SCRIPT src=\"m.js\"></SCRIPT>\n<script>x()</script><scripts>\xff<script\n"
                                "type=\"text/x-config\">{}</script><script-like>";
        QCOMPARE(WithScriptNonces(head, "N0nce"),
                 QByteArray("<SCRIPT nonce=\"N0nce\" src=\"m.js\"></SCRIPT>\n<script nonce=\"N0nce\">x()</script>"
                            "<scripts>\xff<script nonce=\"N0nce\"\ntype=\"text/x-config\">{}</script><script-like>"));

        // Handlers as the browser reads them: quoted either way or bare, references
        // decoded; never text inside a comment, a script or a style, nor "on" alone.
        const QByteArray handlers = "<script src=a.js OnLoad=\"go(&quot;x&quot;)\" onerror='f(1 &amp;&amp; 2)'></script>"
                                    "<!-- <img onload=\"no()\"> --><style>p[onclick=\"no()\"]{}</style>"
                                    "<script>'<b onclick=\"no()\">'</script><link on=\"x\" onload=bare()>";
        QCOMPARE(InlineHandlers(handlers), (QList<QByteArray>{"go(\"x\")", "f(1 && 2)", "bare()"}));
        QCOMPARE(PreviewPolicy("N0nce", "<p>"), QByteArray("script-src 'nonce-N0nce' 'strict-dynamic' 'unsafe-eval'"));
        const QByteArray policy = PreviewPolicy("N0nce", handlers);
        QVERIFY(policy.contains("'strict-dynamic' 'unsafe-eval' 'unsafe-hashes' 'sha256-"));
        QVERIFY(policy.endsWith(" 'sha256-" + QCryptographicHash::hash("bare()", QCryptographicHash::Sha256).toBase64() + '\''));
    }
};

QUILLDOWN_TEST_MAIN(TestFileRules)
#include "tst_filerules.moc"
