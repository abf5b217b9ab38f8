// Pages patched in place: the cut of a page into head, body blocks and tail, the plan
// between two pages, and the pane showing real converted pages patched, which must equal
// what a fresh load of the same page shows.
#include "PreviewTestSupport.h"

#include "conversion/PreviewTemplate.h"
#include "files/SafeFiles.h"
#include "preview/PagePatch.h"

#include <QProcess>
#include <QSignalSpy>
#include <QWebEnginePage>
#include <QWebEngineScript>

namespace {

// A page as the preview template writes it, with `nonce` in its policy.
QByteArray templatePage(const QByteArray &body, const QByteArray &head = {}, const QByteArray &nonce = "n1")
{
    return "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\">\n<head>\n  <meta charset=\"utf-8\" />\n"
           "  <meta http-equiv=\"Content-Security-Policy\" content=\"script-src 'nonce-" +
           nonce + "' 'strict-dynamic' 'unsafe-eval'\" />\n  <title>t</title>\n" + head + "</head>\n<body>\n" + body +
           "</body>\n</html>\n";
}

const QByteArray kBlocks[] = {"<h2 id=\"a\">A</h2>\n", "<p>B <em>b</em></p>\n", "<ul>\n<li>C</li>\n</ul>\n",
                              "<p>D</p>\n", "<p>E</p>\n"};

QByteArray body(const QList<QByteArray> &blocks)
{
    QByteArray text;
    for (const QByteArray &block : blocks)
        text += block;
    return text;
}

QList<QByteArray> baseBlocks()
{
    return QList<QByteArray>(std::begin(kBlocks), std::end(kBlocks));
}

// Runs `script` in `page` and waits for its answer.
QVariant evaluate(QWebEnginePage *page, const QString &script,
                  QWebEngineScript::ScriptWorldId world = QWebEngineScript::ApplicationWorld)
{
    QVariant result;
    bool done = false;
    page->runJavaScript(script, world, [&](const QVariant &v) {
        result = v;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, kWait))
        return QVariant();
    return result;
}

// What a fresh load of `path` has as its body.
QString freshBody(const QString &path)
{
    QWebEnginePage page;
    QSignalSpy loaded(&page, &QWebEnginePage::loadFinished);
    page.load(QUrl::fromLocalFile(path));
    if (!loaded.wait(kWait) || !loaded.first().first().toBool())
        return QStringLiteral("(not loaded)");
    return evaluate(&page, QStringLiteral("document.body.innerHTML")).toString();
}

// Real converted pages: the converter with the program's template and policy, each run
// with a nonce of its own, all in one folder as the preview's pages are.
class Converter {
public:
    explicit Converter(const QString &folder)
        : folder_(folder + u'/')
        , template_(WritePreviewTemplate(folder_))
    {
        writeFileBytes(folder_ + QStringLiteral("air.css"), "p { margin: 0 0 1em; }\n");
        writeFileBytes(folder_ + QStringLiteral("other.css"), "p { margin: 0 0 2em; }\n");
    }

    QString page(const QString &name, const QByteArray &markdown, const QByteArray &head = {},
                 const QString &css = QStringLiteral("air.css"), const QString &title = QStringLiteral("Notes"))
    {
        const QByteArray nonce = NewScriptNonce();
        const QString input = folder_ + name + QStringLiteral(".md");
        const QString headFile = folder_ + name + QStringLiteral(".head");
        const QString output = folder_ + name + QStringLiteral(".htm");
        if (template_.isEmpty() || !writeFileBytes(input, markdown) ||
            !writeFileBytes(headFile, WithScriptNonces(head, nonce)))
            return QString();
        QStringList arguments{QStringLiteral("--from"), QStringLiteral("markdown_mmd"), QStringLiteral("--to"),
                              QStringLiteral("html"), QStringLiteral("-s"), QStringLiteral("-o"), output,
                              QStringLiteral("--css"), css, QStringLiteral("-H"), headFile};
        arguments << PreviewTemplateArguments(template_, PreviewPolicy(nonce, head));
        arguments << QStringLiteral("--metadata") << QStringLiteral("pagetitle=") + title << input;
        QProcess pandoc;
        pandoc.start(QStringLiteral("pandoc"), arguments);
        if (!pandoc.waitForFinished(60000) || pandoc.exitCode() != 0)
            return QString();
        return output;
    }

private:
    QString folder_;
    QString template_;
};

// A document of numbered paragraphs under headings, long enough to scroll far.
QByteArray sampleMarkdown(int paragraphs = 90)
{
    QByteArray text;
    for (int i = 0; i < paragraphs; ++i) {
        if (i % 10 == 0)
            text += "## Part " + QByteArray::number(i / 10) + "\n\n";
        text += "Paragraph " + QByteArray::number(i) + " says the quick brown fox jumps over the lazy dog.\n\n";
    }
    return text;
}

// The reader in the middle of a page published and shown fresh.
bool showFreshAtOffset(PreviewSession &s, const QString &page, int offset)
{
    app().freshDocument = 1;
    s.publish(page);
    if (!QTest::qWaitFor([&] { return s.shows(page) && s.pane()->maxScroll() > offset + 500; }, kWait))
        return false;
    userScrollPreview(s.pane(), offset);
    return QTest::qWaitFor([&] { return s.pane()->scrollTop() == offset && !s.pane()->scriptsPending(); }, kWait);
}

} // namespace

class TestPagePatch : public QObject {
    Q_OBJECT
private slots:
    void cutSplitsTheBodyIntoItsTopLevelNodes()
    {
        const QByteArray content = "<p>a <b>b</b></p>\n<!-- c -->\n<div class=\"x\"><p>y</p></div>\ntext <br />\n"
                                   "<script>var s = '</p><p>';</script><svg><path d=\"M0\"/></svg><hr>"
                                   "<p title=\"a > b\">z</p>\n";
        const PageCut cut = CutPage(templatePage(content));
        QVERIFY(cut.ok);
        QCOMPARE(cut.names, QList<QByteArray>({"#text", "P", "#text", "#comment", "#text", "DIV", "#text", "BR", "#text",
                                               "SCRIPT", "svg", "HR", "P", "#text"}));
        QByteArray joined;
        for (qsizetype i = 0; i < cut.blocks.size(); ++i)
            joined += cut.block(i).toByteArray();
        QCOMPARE(joined, "\n" + content);
        QVERIFY(cut.tail.startsWith("</body>"));
        QVERIFY(!cut.headRunsScripts);
    }

    void cutRefusesWhatTheParserWouldRearrange_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("unclosed") << QByteArray("<p>a\n<p>b</p>\n");
        QTest::newRow("stray end tag") << QByteArray("<p>a</p></p>\n");
        QTest::newRow("misnested") << QByteArray("<p><b><i>a</b></i></p>\n");
        QTest::newRow("second body") << QByteArray("<body onload=\"x()\">\n<p>a</p>\n");
        QTest::newRow("doctype") << QByteArray("<!DOCTYPE html><p>a</p>\n");
        QTest::newRow("plaintext") << QByteArray("<plaintext>a\n");
        QTest::newRow("endless script") << QByteArray("<script>var a = 1;\n");
        QTest::newRow("endless attribute") << QByteArray("<p title=\"a>b</p>\n");
        QTest::newRow("endless comment") << QByteArray("<!-- a\n");
        QTest::newRow("broken UTF-8") << QByteArray("<p>\xE2\x82</p>\n");
    }
    void cutRefusesWhatTheParserWouldRearrange()
    {
        QFETCH(QByteArray, content);
        QVERIFY(!CutPage(templatePage(content)).ok);
        QVERIFY(!CutPage("<p>no body at all</p>").ok);
    }

    void headsCompareWithTheNonceMasked()
    {
        const PageCut a = CutPage(templatePage("<p>x</p>\n", {}, "first"));
        const PageCut b = CutPage(templatePage("<p>x</p>\n", {}, "second"));
        QVERIFY(a.ok && b.ok);
        QCOMPARE(a.head, b.head);
        // A head with a script, or an event handler of its own, may act on its body.
        QVERIFY(CutPage(templatePage("<p>x</p>\n", "<script nonce=\"n1\" src=\"m.js\"></script>\n")).headRunsScripts);
        QVERIFY(CutPage(templatePage("<p>x</p>\n", "<link rel=\"stylesheet\" href=\"a.css\" onload=\"go()\">\n"))
                    .headRunsScripts);
        // A comment in the head that looks like a body is no body.
        const PageCut commented = CutPage(templatePage("<p>x</p>\n", "<!-- <body> --><style>p{}/*<body>*/</style>\n"));
        QVERIFY(commented.ok);
        QCOMPARE(commented.names, QList<QByteArray>({"#text", "P", "#text"}));
    }

    void planReplacesOnlyTheChangedBlocks_data()
    {
        QTest::addColumn<QList<QByteArray>>("next");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("removed");
        QTest::addColumn<QByteArray>("html");
        const QList<QByteArray> base = baseBlocks();
        QList<QByteArray> start = base, middle = base, end = base, deleted = base, inserted = base;
        start[0] = "<h2 id=\"a\">A2</h2>\n";
        middle[2] = "<ul>\n<li>C2</li>\n</ul>\n";
        end[4] = "<p>E2</p>\n";
        deleted.removeAt(2);
        inserted.insert(3, "<p>new</p>\n");
        // Blocks are [text "\n", h2, p, ul, p, p]; the text between is part of each entry.
        QTest::newRow("start") << start << 1 << 1 << QByteArray("<h2 id=\"a\">A2</h2>");
        QTest::newRow("middle") << middle << 5 << 1 << QByteArray("<ul>\n<li>C2</li>\n</ul>");
        QTest::newRow("end") << end << 9 << 1 << QByteArray("<p>E2</p>");
        QTest::newRow("deleted") << deleted << 4 << 2 << QByteArray();
        QTest::newRow("inserted") << inserted << 6 << 0 << QByteArray("\n<p>new</p>");
        // The page's last text stays the node that takes in the blanks after the body.
        QTest::newRow("appended") << base + QList<QByteArray>{"<p>F</p>\n"} << 10 << 0 << QByteArray("\n<p>F</p>");
        QTest::newRow("same") << base << 0 << 0 << QByteArray();
    }
    void planReplacesOnlyTheChangedBlocks()
    {
        QFETCH(QList<QByteArray>, next);
        QFETCH(int, first);
        QFETCH(int, removed);
        QFETCH(QByteArray, html);
        const PageCut shown = CutPage(templatePage(body(baseBlocks()), {}, "one"));
        const PageCut cut = CutPage(templatePage(body(next), {}, "two"));
        const BlockPatch patch = PlanPatch(shown, cut);
        QVERIFY(patch.ok);
        QCOMPARE(patch.first, first);
        QCOMPARE(patch.removed, removed);
        QCOMPARE(patch.html, html);
        QCOMPARE(patch.oldCount, shown.blocks.size());
        QCOMPARE(shown.blocks.size() - patch.removed + patch.added, cut.blocks.size());
    }

    void planRefusesPagesThatDifferOutsideTheirBodies()
    {
        const QByteArray content = body(baseBlocks());
        const PageCut shown = CutPage(templatePage(content));
        QVERIFY(!PlanPatch(shown, CutPage(templatePage(content, "<link rel=\"stylesheet\" href=\"b.css\" />\n"))).ok);
        QByteArray retitled = templatePage(content);
        retitled.replace("<title>t</title>", "<title>u</title>");
        QVERIFY(!PlanPatch(shown, CutPage(retitled)).ok);
        QByteArray bodyAttribute = templatePage(content);
        bodyAttribute.replace("<body>", "<body class=\"x\">");
        QVERIFY(!PlanPatch(shown, CutPage(bodyAttribute)).ok);
        QVERIFY(!PlanPatch(shown, CutPage(templatePage(content, "<script nonce=\"n1\">go()</script>\n"))).ok);
        QVERIFY(!PlanPatch(shown, CutPage(templatePage("<p>a\n"))).ok);
        // Without the policy a full load would run the body's scripts; a patch never does.
        QByteArray open = templatePage(content);
        open.replace("http-equiv=\"Content-Security-Policy\"", "name=\"policy\"");
        QVERIFY(!PlanPatch(CutPage(open), CutPage(open)).ok);
    }

    // Each edit turns the shown page into the next by a patch; the reader's offset stays
    // and the body is the one a fresh load of that page has.
    void patchedPagesEqualFreshLoads()
    {
        PreviewSession s;
        QVERIFY(s.start());
        Converter converter(s.pages.path());
        const QByteArray text = sampleMarkdown();
        QByteArray start = text, middle = text, end = text, deleted = text, inserted = text;
        start.replace("Paragraph 0 says", "Paragraph 0 now says");
        middle.replace("Paragraph 45 says the quick", "Paragraph 45 says the slow");
        end.replace("Paragraph 89 says", "Paragraph 89 finally says");
        deleted.replace("Paragraph 45 says the quick brown fox jumps over the lazy dog.\n\n", "");
        inserted.replace("Paragraph 45 says", "- one\n- two\n\n> quoted\n\nParagraph 45 says");
        const QString base = converter.page(QStringLiteral("_temp0"), text);
        QVERIFY(!base.isEmpty());
        QVERIFY(showFreshAtOffset(s, base, 1200));
        const struct {
            const char *name;
            QByteArray markdown;
        } edits[] = {{"start", start}, {"middle", middle}, {"end", end}, {"deleted", deleted}, {"inserted", inserted}};
        for (const auto &edit : edits) {
            const QString page = converter.page(QString::fromLatin1(edit.name), edit.markdown);
            QVERIFY2(!page.isEmpty(), edit.name);
            for (const QString &next : {page, base}) {
                const int patches = previewReload().patchCount();
                const int loads = previewReload().loadCount();
                s.publish(next);
                QTRY_VERIFY2_WITH_TIMEOUT(s.shows(next), edit.name, kWait);
                QCOMPARE(previewReload().patchCount(), patches + 1);
                QCOMPARE(previewReload().loadCount(), loads);
                QCOMPARE(evaluate(s.pane()->page(), QStringLiteral("document.body.innerHTML")).toString(),
                         freshBody(next));
                QCOMPARE(s.pane()->page()->scrollPosition().y(), 1200.0);
                QCOMPARE(s.pane()->scrollTop(), 1200);
            }
        }
        // The address stays the page loaded; Preview in Browser's neighbours ask for the
        // page shown.
        QCOMPARE(s.pane()->url(), QUrl::fromLocalFile(base));
    }

    void headScriptsHeadsAndStylesheetsReload()
    {
        PreviewSession s;
        QVERIFY(s.start());
        Converter converter(s.pages.path());
        QByteArray edited = sampleMarkdown();
        edited.replace("Paragraph 45 says the quick", "Paragraph 45 says the slow");
        const QString base = converter.page(QStringLiteral("base"), sampleMarkdown());
        const QString restyled = converter.page(QStringLiteral("restyled"), edited, {}, QStringLiteral("other.css"));
        const QString retitled = converter.page(QStringLiteral("retitled"), sampleMarkdown(), {}, QStringLiteral("air.css"),
                                                QStringLiteral("Other"));
        const QByteArray script = "<script>document.documentElement.dataset.ran = 'yes';</script>\n";
        const QString scripted = converter.page(QStringLiteral("scripted"), sampleMarkdown(), script);
        const QString scriptedEdit = converter.page(QStringLiteral("scriptedEdit"), edited, script);
        QVERIFY(showFreshAtOffset(s, base, 1200));
        for (const QString &next : {retitled, base, restyled, base, scripted, scriptedEdit}) {
            QVERIFY(!next.isEmpty());
            const int loads = previewReload().loadCount();
            s.publish(next);
            QTRY_VERIFY_WITH_TIMEOUT(s.shows(next), kWait);
            QCOMPARE(previewReload().loadCount(), loads + 1);
            QCOMPARE(s.pane()->url(), QUrl::fromLocalFile(next));
            QTRY_COMPARE_WITH_TIMEOUT(s.pane()->page()->scrollPosition().y(), 1200.0, kWait);
        }
        QCOMPARE(previewReload().patchCount(), 0);
        // The head's script ran on the page that was loaded for it.
        QCOMPARE(evaluate(s.pane()->page(), QStringLiteral("document.documentElement.dataset.ran")).toString(),
                 QStringLiteral("yes"));
    }

    void bodyChangedInThePageLoadsInstead()
    {
        PreviewSession s;
        QVERIFY(s.start());
        Converter converter(s.pages.path());
        QByteArray edited = sampleMarkdown();
        edited.replace("Paragraph 45 says the quick", "Paragraph 45 says the slow");
        const QString base = converter.page(QStringLiteral("_temp0"), sampleMarkdown());
        const QString page = converter.page(QStringLiteral("_temp1"), edited);
        QVERIFY(!base.isEmpty() && !page.isEmpty());
        QVERIFY(showFreshAtOffset(s, base, 1200));
        // The body no longer has the nodes its page was cut into: the patch refuses.
        evaluate(s.pane()->page(), QStringLiteral("document.body.firstChild.remove()"));
        s.publish(page);
        QTRY_VERIFY_WITH_TIMEOUT(s.shows(page), kWait);
        QCOMPARE(previewReload().patchCount(), 0);
        QCOMPARE(previewReload().loadCount(), 2);
        QCOMPARE(s.pane()->url(), QUrl::fromLocalFile(page));
        QCOMPARE(evaluate(s.pane()->page(), QStringLiteral("document.body.innerHTML")).toString(), freshBody(page));
        QTRY_COMPARE_WITH_TIMEOUT(s.pane()->page()->scrollPosition().y(), 1200.0, kWait);
    }

    void readerAtTheEndStaysThere()
    {
        PreviewSession s;
        QVERIFY(s.start());
        Converter converter(s.pages.path());
        const QString base = converter.page(QStringLiteral("_temp0"), sampleMarkdown());
        const QString longer = converter.page(QStringLiteral("_temp1"), sampleMarkdown() + sampleMarkdown(30));
        QVERIFY(!base.isEmpty() && !longer.isEmpty());
        QVERIFY(showFreshAtOffset(s, base, 1200));
        userScrollPreview(s.pane(), 1000000);
        QTRY_VERIFY_WITH_TIMEOUT(s.pane()->scrollTop() > 1200 && s.pane()->scrollTop() == s.pane()->maxScroll(), kWait);
        const int oldEnd = s.pane()->scrollTop();
        s.publish(longer);
        QTRY_VERIFY_WITH_TIMEOUT(s.shows(longer), kWait);
        QCOMPARE(previewReload().patchCount(), 1);
        QCOMPARE(evaluate(s.pane()->page(), QStringLiteral("document.body.innerHTML")).toString(), freshBody(longer));
        QVERIFY(s.pane()->maxScroll() > oldEnd + 500);
        QCOMPARE(s.pane()->scrollTop(), s.pane()->maxScroll());
    }

    void scriptsInPatchedBlocksNeverRun()
    {
        PreviewSession s;
        QVERIFY(s.start());
        Converter converter(s.pages.path());
        const QString base = converter.page(QStringLiteral("_temp0"), sampleMarkdown());
        QByteArray hostile = sampleMarkdown();
        hostile.replace("Paragraph 45 says",
                        "<script>document.documentElement.dataset.ran = 'script';</script>\n\n"
                        "<img id=\"bad\" src=\"missing.png\" onerror=\"document.documentElement.dataset.ran = 'handler'\">"
                        "\n\nParagraph 45 says");
        const QString page = converter.page(QStringLiteral("_temp1"), hostile);
        QVERIFY(!base.isEmpty() && !page.isEmpty());
        QVERIFY(showFreshAtOffset(s, base, 1200));
        s.publish(page);
        QTRY_VERIFY_WITH_TIMEOUT(s.shows(page), kWait);
        QCOMPARE(previewReload().patchCount(), 1);
        QCOMPARE(evaluate(s.pane()->page(), QStringLiteral("document.body.innerHTML")).toString(), freshBody(page));
        // The picture has failed to load, so its handler had its chance.
        QTRY_VERIFY_WITH_TIMEOUT(
            evaluate(s.pane()->page(), QStringLiteral("document.getElementById('bad').complete")).toBool(), kWait);
        QCOMPARE(evaluate(s.pane()->page(), QStringLiteral("document.documentElement.dataset.ran === undefined"),
                          QWebEngineScript::MainWorld)
                     .toBool(),
                 true);
    }
};

QUILLDOWN_TEST_MAIN(TestPagePatch)
#include "tst_pagepatch.moc"
