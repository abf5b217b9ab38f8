// The preview page's content policy comes first, before anything of the document's: its
// metadata cannot comment the policy out or run a script, with either Markdown reader
// whose metadata is Markdown. The head fragment's own scripts and event handlers run,
// and each paragraph takes its writing direction from its text.
#include "SecuritySupport.h"

namespace {

const QByteArray kDocument =
    "---\n"
    "title-prefix: \"</title><script>window.pwned='prefix'</script><title>\"\n"
    "author: \"<script>window.pwned='author'</script>\"\n"
    "---\n\n"
    "<p id=\"rtl\">\xd9\x85\xd8\xb1\xd8\xad\xd8\xa8\xd8\xa7 \xd8\xa8\xd8\xa7\xd9\x84\xd8\xb9\xd8\xa7\xd9\x84\xd9\x85.</p>\n\n"
    "<p id=\"ltr\">Plain text \xd9\x85\xd8\xb1\xd8\xad\xd8\xa8\xd8\xa7.</p>\n\n"
    "![picture](pic.png)\n\n"
    "<script>window.pwned='body'</script>\n\n"
    "<img src=\"missing.png\" onerror=\"window.pwned='handler'\">\n";

// A math renderer's usual snippet: a script file whose onload= starts the rendering.
const QByteArray kHead = "<script>window.headRan = 1;</script>\n"
                         "<script defer src=\"render.js\" "
                         "onload=\"document.body.setAttribute('data-onload', window.rendered);\"></script>\n";

// Where a paragraph's last character, its full stop, is drawn: -1 at the left end of its
// text, 1 at the right end.
int fullStopSide(const QString &id)
{
    const QVariantList box = pageValue(QStringLiteral(
        "(function(){var t=document.getElementById('%1').firstChild;var all=document.createRange();"
        "all.selectNodeContents(t);var last=document.createRange();last.setStart(t,t.length-1);last.setEnd(t,t.length);"
        "var a=all.getBoundingClientRect(),l=last.getBoundingClientRect();return [l.left-a.left, a.right-l.right];})()")
                                             .arg(id))
                                 .toList();
    if (box.size() != 2)
        return 0;
    return box.at(0).toDouble() < 1 ? -1 : box.at(1).toDouble() < 1 ? 1 : 0;
}

} // namespace

class TestPagePolicy : public QObject {
    Q_OBJECT
private slots:
    void metadataRunsNothingAndBlocksTakeTheirDirection()
    {
        for (const QString &format : {QStringLiteral("gfm"), QStringLiteral("markdown")}) {
            TestApp t;
            Settings settings;
            settings.MarkdownVersion = format;
            QVERIFY(t.writeSettings(settings));
            QVERIFY(QDir().mkpath(t.docsDir()));
            QVERIFY(writeFileBytes(t.docsDir() + QStringLiteral("doc.md"), kDocument));
            QVERIFY(writeFileBytes(t.docsDir() + QStringLiteral("doc.head.txt"), kHead));
            QVERIFY(writeFileBytes(t.docsDir() + QStringLiteral("render.js"), "window.rendered = 'yes';"));
            QVERIFY(t.start({t.docsDir() + QStringLiteral("doc.md")}));
            QTRY_VERIFY_WITH_TIMEOUT(pane() && previewShown(), kWait);

            QTRY_COMPARE_WITH_TIMEOUT(pageValue(QStringLiteral("document.body.getAttribute('data-onload')")).toString(),
                                      QStringLiteral("yes"), kWait);
            QCOMPARE(pageValue(QStringLiteral("window.headRan")).toInt(), 1);
            QCOMPARE(pageValue(QStringLiteral("typeof window.pwned")).toString(), QStringLiteral("undefined"));

            // The full stop ends a right-to-left paragraph on its left, as it is read.
            QCOMPARE(fullStopSide(QStringLiteral("rtl")), -1);
            QCOMPARE(fullStopSide(QStringLiteral("ltr")), 1);
            t.shutdown();
        }
    }
};

QUILLDOWN_TEST_MAIN(TestPagePolicy)
#include "tst_pagepolicy.moc"
