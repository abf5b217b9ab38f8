// Path helpers: pure text rules and the three that touch the file system.
#include "common/TestSupport.h"

#include "settings/Paths.h"

#include <QDir>
#include <QFileInfo>

class TestPaths : public QObject {
    Q_OBJECT
private slots:
    void splitting()
    {
        QCOMPARE(FolderPart("/home/u/notes.md"), QStringLiteral("/home/u/"));
        QCOMPARE(FilePart("/home/u/notes.md"), QStringLiteral("notes.md"));
        QCOMPARE(FolderPart("notes.md"), QString());
        QCOMPARE(FilePart("notes.md"), QStringLiteral("notes.md"));
        QCOMPARE(FolderPart("/home/u/") + FilePart("/home/u/"), QStringLiteral("/home/u/"));
        const QString p = QStringLiteral("/a.b/c d/file.name.md");
        QCOMPARE(FolderPart(p) + FilePart(p), p);

        QCOMPARE(ExtensionPart("/x/archive.tar.gz"), QStringLiteral("gz"));
        QCOMPARE(ExtensionPart("/x/.profile"), QString());      // leading dot only
        QCOMPARE(ExtensionPart("/a.b/readme"), QString());      // dot in the folder does not count
        QCOMPARE(ExtensionPart("/x/v1. draft"), QString());     // blank after the dot
        QCOMPARE(ExtensionPart("report."), QString());
    }

    void trailingSlashAndSanitize()
    {
        QCOMPARE(WithTrailingSlash("/tmp///"), QStringLiteral("/tmp/"));
        QCOMPARE(WithTrailingSlash("/tmp"), QStringLiteral("/tmp/"));
        QCOMPARE(WithTrailingSlash("/"), QStringLiteral("/"));
        QCOMPARE(WithTrailingSlash(""), QString());
        QCOMPARE(WithTrailingSlash("a\\"), QStringLiteral("a\\/"));  // only "/" is a separator here

        QCOMPARE(SanitizeFileName("a:b*c"), QStringLiteral("a_b_c"));
        QCOMPARE(SanitizeFileName("<>\\/:*?|\""), QStringLiteral("_________"));
        QCOMPARE(SanitizeFileName("my notes é"), QStringLiteral("my notes é"));
    }

    void resolve()
    {
        QCOMPARE(ResolvePath("./style.css", "/docs/"), QStringLiteral("/docs/style.css"));
        QCOMPARE(ResolvePath("css/a.css", "/docs"), QStringLiteral("/docs/css/a.css"));
        QCOMPARE(ResolvePath("/x.css", "/docs/"), QStringLiteral("/x.css"));
        QCOMPARE(ResolvePath("../x.css", "/docs/"), QStringLiteral("/docs/../x.css"));
        QCOMPARE(ResolvePath("a/././b//c.css", "/d///"), QStringLiteral("/d/a/b//c.css"));
        QCOMPARE(ResolvePath("", "/docs/"), QString());
        QCOMPARE(ResolvePath("x.css", ""), QDir::currentPath() + QStringLiteral("/x.css"));
        QVERIFY(IsAbsolutePath("/x"));
        QVERIFY(!IsAbsolutePath("x/y"));
        QVERIFY(!IsAbsolutePath("~/x"));
        QVERIFY(!IsAbsolutePath(""));
    }

    void createDirectoryChain()
    {
        QTemporaryDir dir;
        const QString base = dir.path() + u'/';
        const QString deep = base + QStringLiteral("one/two/three/");
        QVERIFY(CreateDirectoryPath(deep));
        QVERIFY(QFileInfo(deep).isDir());
        QVERIFY(CreateDirectoryPath(deep));  // existing folder
        QVERIFY(CreateDirectoryPath(QString()));

        // A file where the middle level should be: nothing is created.
        QVERIFY(writeFileBytes(base + QStringLiteral("blocked"), "x"));
        QVERIFY(!CreateDirectoryPath(base + QStringLiteral("blocked/inner/leaf")));
        QVERIFY(!QFileInfo::exists(base + QStringLiteral("blocked/inner")));
        QVERIFY(!CreateDirectoryPath(base + QStringLiteral("blocked")));
    }

    void firstFileMatching()
    {
        QTemporaryDir dir;
        const QString base = dir.path() + u'/';
        QVERIFY(QDir().mkdir(base + QStringLiteral("old.css")));
        QCOMPARE(FirstFileMatching("*.css", base), QString());   // folders do not count
        QVERIFY(writeFileBytes(base + QStringLiteral("style.css"), "body{}"));
        QCOMPARE(FirstFileMatching("*.css", base), base + QStringLiteral("style.css"));
        QCOMPARE(FirstFileMatching("*.css", base + QStringLiteral("missing/")), QString());
        QCOMPARE(FirstFileMatching("*.md", base), QString());
    }

    void baseDirectoryOverride()
    {
        QVERIFY(BaseDirectory().endsWith(u'/'));
        SetBaseDirectoryOverride("/opt/somewhere");
        QCOMPARE(BaseDirectory(), QStringLiteral("/opt/somewhere/"));
        SetBaseDirectoryOverride(QString());
        QCOMPARE(BaseDirectory(), QCoreApplication::applicationDirPath() + u'/');
    }
};

QTEST_GUILESS_MAIN(TestPaths)
#include "tst_paths.moc"
