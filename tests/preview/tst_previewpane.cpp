// The preview pane: reloads at the reader's offset, stale pages, navigation rules,
// Preview in Browser and Refresh.
#include "PreviewTestSupport.h"
#include "app/ViewCommands.h"

#include "app/Commands.h"

#include <QSignalSpy>
#include <QWebEngineScript>
#include <QTimer>

namespace {

// What the window shows where the pane is.
QImage panePicture(PreviewPane *pane)
{
    QWidget *window = pane->window();
    return window->grab(QRect(pane->mapTo(window, QPoint(0, 0)), pane->size())).toImage();
}

int redPixels(const QImage &image)
{
    int red = 0;
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 4)
            red += image.pixel(x, y) == qRgb(255, 0, 0);
    return red;
}

} // namespace

class TestPreviewPane : public QObject {
    Q_OBJECT
private slots:
    void reloadKeepsMiddleOffsetWithRedrawSuspended()
    {
        PreviewSession s;
        QVERIFY(s.start());
        const QString first = s.writePage("_temp0.htm", pageHtml(200));
        const QString second = s.writePage("_temp1.htm", pageHtml(210));
        s.publish(first);
        QTRY_VERIFY_WITH_TIMEOUT(s.shows(first), kWait);
        QTRY_VERIFY_WITH_TIMEOUT(s.pane()->maxScroll() > 3000, kWait);
        userScrollPreview(s.pane(), 1500);
        QTRY_COMPARE_WITH_TIMEOUT(previewPane()->scrollTop(), 1500, kWait);

        s.publish(second);
        previewController()->refresh();
        // From the navigation until the restore the pane shows its old picture; the rest
        // of the window goes on painting.
        QVERIFY(previewReload().snapshotShown());
        QVERIFY(mainWindow()->updatesEnabled());
        QCOMPARE(previewReload().state().restoreTarget, 1500);
        QVERIFY(previewPane()->isLoadingPage());
        QTRY_VERIFY_WITH_TIMEOUT(s.shows(second), kWait);
        QVERIFY(!previewReload().snapshotShown());
        QCOMPARE(previewPane()->scrollTop(), 1500);
        // The offset really is applied in the page, not only remembered.
        QTRY_COMPARE_WITH_TIMEOUT(s.pane()->page()->scrollPosition().y(), 1500.0, kWait);
    }

    void reloadHoldsOnlyThePanesPicture()
    {
        PreviewSession s;
        QVERIFY(s.start());
        QVERIFY(QTest::qWaitForWindowExposed(mainWindow()));
        // A red band is the page's top; the reader stays far below it.
        const QByteArray top = "<div style=\"height:400px;background:#ff0000\"></div>";
        const QString first = s.writePage("_temp0.htm", pageHtml(200, top));
        // The next page keeps the engine busy before any of it can be drawn.
        const QString busy = s.writePage(
            "_temp1.htm", pageHtml(210, top + "<script>var t=Date.now();while(Date.now()-t<4000){}</script>"));
        s.publish(first);
        QTRY_VERIFY_WITH_TIMEOUT(s.shows(first) && s.pane()->maxScroll() > 3000, kWait);
        userScrollPreview(s.pane(), 1500);
        QTRY_COMPARE_WITH_TIMEOUT(previewPane()->scrollTop(), 1500, kWait);
        QTRY_VERIFY_WITH_TIMEOUT(redPixels(panePicture(s.pane())) == 0, kWait);
        const QImage reading = panePicture(s.pane());

        // Every picture of the pane until the restore is the one the reader had.
        int pictures = 0, differing = 0, topShown = 0;
        QTimer sampler;
        QObject::connect(&sampler, &QTimer::timeout, [&] {
            if (previewReload().state().restoreTarget < 0)
                return;
            const QImage shown = panePicture(s.pane());
            ++pictures;
            differing += shown != reading;
            topShown += redPixels(shown) > 0;
        });
        sampler.start(25);
        s.publish(busy);
        QTRY_VERIFY_WITH_TIMEOUT(previewReload().state().restoreTarget >= 0, kWait);

        // Meanwhile the editor takes keys and draws them.
        s.editor()->setFocus();
        const QImage editorBefore = s.editor()->grab().toImage();
        PaintCounter counter(s.editor()->viewport());
        QTest::keyClicks(s.editor(), "WWW");
        QTRY_VERIFY_WITH_TIMEOUT(counter.paints > 0, kWait);
        QVERIFY(s.editor()->grab().toImage() != editorBefore);
        QVERIFY(previewReload().state().restoreTarget >= 0);

        QTRY_VERIFY_WITH_TIMEOUT(s.shows(busy), kWait);
        sampler.stop();
        QTRY_COMPARE_WITH_TIMEOUT(s.pane()->page()->scrollPosition().y(), 1500.0, kWait);
        QVERIFY(pictures > 0);
        QCOMPARE(topShown, 0);
        QCOMPARE(differing, 0);
        QVERIFY(!previewReload().snapshotShown());
    }

    void reloadAtTheTopShowsThePageWithoutFreezing()
    {
        PreviewSession s;
        QVERIFY(s.start());
        const QString first = s.writePage("_temp0.htm", pageHtml(200));
        const QString second = s.writePage("_temp1.htm", pageHtml(210));
        s.publish(first);
        QTRY_VERIFY_WITH_TIMEOUT(s.shows(first) && s.pane()->maxScroll() > 3000, kWait);
        QTRY_VERIFY_WITH_TIMEOUT(!s.pane()->scriptsPending(), kWait);

        s.publish(second);
        previewController()->refresh();
        QVERIFY(previewPane()->isLoadingPage());
        QVERIFY(!previewReload().snapshotShown());
        QTRY_VERIFY_WITH_TIMEOUT(s.shows(second), kWait);
        QCOMPARE(s.pane()->page()->scrollPosition().y(), 0.0);

        // Scrolled away from the top, the next reload freezes and restores again.
        userScrollPreview(s.pane(), 900);
        QTRY_COMPARE_WITH_TIMEOUT(previewPane()->scrollTop(), 900, kWait);
        s.publish(first);
        previewController()->refresh();
        QVERIFY(previewReload().snapshotShown());
        QTRY_VERIFY_WITH_TIMEOUT(s.shows(first), kWait);
        QTRY_COMPARE_WITH_TIMEOUT(s.pane()->page()->scrollPosition().y(), 900.0, kWait);
    }

    void readerAtEndStaysAtEndAsPageGrows()
    {
        PreviewSession s;
        QVERIFY(s.start());
        const QString first = s.writePage("_temp0.htm", pageHtml(150));
        const QString second = s.writePage("_temp1.htm", pageHtml(190));
        s.publish(first);
        QTRY_VERIFY_WITH_TIMEOUT(s.shows(first), kWait);
        QTRY_VERIFY_WITH_TIMEOUT(s.pane()->maxScroll() > 2000, kWait);
        userScrollPreview(s.pane(), 1000000);
        QTRY_VERIFY_WITH_TIMEOUT(previewPane()->scrollTop() > 0 && previewPane()->scrollTop() == previewPane()->maxScroll(), kWait);
        const int oldEnd = previewPane()->scrollTop();

        s.publish(second);
        QTRY_VERIFY_WITH_TIMEOUT(s.shows(second), kWait);
        QTRY_VERIFY_WITH_TIMEOUT(previewPane()->maxScroll() > oldEnd + 500, kWait);
        QTRY_COMPARE_WITH_TIMEOUT(previewPane()->scrollTop(), previewPane()->maxScroll(), kWait);
    }

    void freshDocumentStartsAtTopWithoutSuspending()
    {
        PreviewSession s;
        QVERIFY(s.start());
        const QString first = s.writePage("_temp0.htm", pageHtml(200));
        const QString opened = s.writePage("_temp1.htm", pageHtml(200));
        s.publish(first);
        QTRY_VERIFY_WITH_TIMEOUT(s.shows(first), kWait);
        QTRY_VERIFY_WITH_TIMEOUT(s.pane()->maxScroll() > 3000, kWait);
        userScrollPreview(s.pane(), 2000);
        QTRY_COMPARE_WITH_TIMEOUT(previewPane()->scrollTop(), 2000, kWait);

        app().freshDocument = 1;
        s.publish(opened);
        previewController()->refresh();
        QVERIFY(!previewReload().snapshotShown());
        QCOMPARE(app().freshDocument, 0);
        QCOMPARE(previewReload().state().restoreTarget, -1);
        QTRY_VERIFY_WITH_TIMEOUT(s.shows(opened), kWait);
        QTRY_COMPARE_WITH_TIMEOUT(s.pane()->page()->scrollPosition().y(), 0.0, kWait);
        QCOMPARE(previewPane()->scrollTop(), 0);
    }

    void freshDocumentCancelsPendingRestore()
    {
        PreviewSession s;
        QVERIFY(s.start());
        const QString first = s.writePage("_temp0.htm", pageHtml(200));
        const QString second = s.writePage("_temp1.htm", pageHtml(200));
        const QString fresh = s.writePage("new.htm", pageHtml(200));
        s.publish(first);
        QTRY_VERIFY_WITH_TIMEOUT(s.shows(first), kWait);
        QTRY_VERIFY_WITH_TIMEOUT(s.pane()->maxScroll() > 3000, kWait);
        userScrollPreview(s.pane(), 2500);
        QTRY_COMPARE_WITH_TIMEOUT(previewPane()->scrollTop(), 2500, kWait);
        s.publish(second);
        previewController()->refresh();
        QVERIFY(previewReload().state().restoreTarget >= 0);
        // New or Open right then: the old document's offset must not land on the new one.
        app().freshDocument = 1;
        s.publish(fresh);
        previewController()->refresh();
        QVERIFY(!previewReload().snapshotShown());
        QTRY_VERIFY_WITH_TIMEOUT(s.shows(fresh), kWait);
        QTRY_COMPARE_WITH_TIMEOUT(s.pane()->page()->scrollPosition().y(), 0.0, kWait);
    }

    void secondPageDuringRestoreKeepsReadersOffset()
    {
        PreviewSession s;
        QVERIFY(s.start());
        const QString a = s.writePage("_temp0.htm", pageHtml(200));
        const QString b = s.writePage("_temp1.htm", pageHtml(201));
        const QString c = s.writePage("_temp2.htm", pageHtml(202));
        s.publish(a);
        QTRY_VERIFY_WITH_TIMEOUT(s.shows(a), kWait);
        QTRY_VERIFY_WITH_TIMEOUT(s.pane()->maxScroll() > 3000, kWait);
        userScrollPreview(s.pane(), 1800);
        QTRY_COMPARE_WITH_TIMEOUT(previewPane()->scrollTop(), 1800, kWait);
        s.publish(b);
        previewController()->refresh();
        s.publish(c);
        previewController()->refresh();
        QCOMPARE(previewReload().state().savedOffset, 1800);
        QTRY_VERIFY_WITH_TIMEOUT(s.shows(c), kWait);
        QTRY_COMPARE_WITH_TIMEOUT(s.pane()->page()->scrollPosition().y(), 1800.0, kWait);
    }

    void vanishedPageKeepsOldPageAndRestores()
    {
        PreviewSession s;
        QVERIFY(s.start());
        const QString first = s.writePage("_temp0.htm", pageHtml(200));
        s.publish(first);
        QTRY_VERIFY_WITH_TIMEOUT(s.shows(first), kWait);
        QTRY_VERIFY_WITH_TIMEOUT(s.pane()->maxScroll() > 3000, kWait);
        userScrollPreview(s.pane(), 1200);
        QTRY_COMPARE_WITH_TIMEOUT(previewPane()->scrollTop(), 1200, kWait);
        s.publish(s.pages.path() + QStringLiteral("/gone.htm"));
        QTRY_VERIFY_WITH_TIMEOUT(previewReload().state().restoreTarget < 0 && !previewPane()->isLoadingPage(), kWait);
        QVERIFY(!previewReload().snapshotShown());
        QCOMPARE(s.pane()->url(), QUrl::fromLocalFile(first));
        QCOMPARE(previewPane()->scrollTop(), 1200);
    }

    void pathWithSpacesQuotesAndNonAscii()
    {
        PreviewSession s;
        QVERIFY(s.start());
        QVERIFY(QDir().mkpath(s.pages.path() + QStringLiteral("/my \"notes\" ü")));
        const QString page = s.writePage(QStringLiteral("my \"notes\" ü/page 'ä' #1.htm"), pageHtml(5));
        QVERIFY(!page.isEmpty());
        s.publish(page);
        QTRY_VERIFY_WITH_TIMEOUT(s.shows(page), kWait);
        QTRY_VERIFY_WITH_TIMEOUT(s.pane()->title() == QStringLiteral("t"), kWait);
    }

    void navigationRules()
    {
        TestApp t;   // only for its scripted platform
        QTemporaryDir dir;
        const QString htm = dir.path() + QStringLiteral("/Other Page.HTM");
        const QString image = dir.path() + QStringLiteral("/picture.png");
        QVERIFY(writeFileBytes(htm, "<p>x</p>"));
        QVERIFY(writeFileBytes(image, "png"));

        QVERIFY(!OnPreviewNavigate(QUrl("https://example.com/a?b=1")));
        QVERIFY(!OnPreviewNavigate(QUrl("http://example.com/")));
        QCOMPARE(t.platform.openedUrls(), QList<QUrl>({QUrl("https://example.com/a?b=1"), QUrl("http://example.com/")}));

        QVERIFY(!OnPreviewNavigate(QUrl("mailto:someone@example.com")));
        QVERIFY(!OnPreviewNavigate(QUrl("ftp://example.com/file.htm")));
        QVERIFY(!OnPreviewNavigate(QUrl("javascript:void(0)")));
        // Mentioning a web address does not make a script a web link.
        QVERIFY(!OnPreviewNavigate(QUrl("javascript:location='http://example.com/'")));
        QVERIFY(!OnPreviewNavigate(QUrl("data:text/html,<a href=http://example.com>x</a>")));
        QCOMPARE(t.platform.openedUrls().size(), 2);

        QVERIFY(OnPreviewNavigate(QUrl("about:blank")));
        QVERIFY(OnPreviewNavigate(QUrl::fromLocalFile(htm)));
        QUrl withFragment = QUrl::fromLocalFile(htm);
        withFragment.setFragment(QStringLiteral("section"));
        QVERIFY(OnPreviewNavigate(withFragment));
        QCOMPARE(t.platform.openedUrls().size(), 2);

        QVERIFY(!OnPreviewNavigate(QUrl::fromLocalFile(image)));
        QCOMPARE(t.platform.openedUrls().size(), 3);
        QCOMPARE(t.platform.openedUrls().last(), QUrl::fromLocalFile(image));

        QVERIFY(!OnPreviewNavigate(QUrl::fromLocalFile(dir.path() + QStringLiteral("/missing.htm"))));
        QVERIFY(!OnPreviewNavigate(QUrl("qrc:/x.htm")));
        // A page redirecting itself hands nothing to the system.
        QVERIFY(!OnPreviewNavigate(QUrl("https://example.com/"), true));
        QVERIFY(!OnPreviewNavigate(QUrl::fromLocalFile(image), true));
        QCOMPARE(t.platform.openedUrls().size(), 3);
    }

    void linksInThePane()
    {
        PreviewSession s;
        QVERIFY(s.start());
        const QString target = s.writePage("target page.htm", pageHtml(3));
        const QString image = s.writePage("picture.png", "png");
        const QByteArray links = "<a id=web href=\"https://example.com/x\">web</a>"
                                 "<a id=img href=\"picture.png\">img</a>"
                                 "<a id=mail href=\"mailto:a@example.com\">mail</a>"
                                 "<a id=local href=\"target%20page.htm\">local</a>";
        const QString page = s.writePage("_temp0.htm", pageHtml(3, links));
        s.publish(page);
        QTRY_VERIFY_WITH_TIMEOUT(s.shows(page), kWait);
        // Real clicks: only links the user follows leave the pane.
        auto click = [&](const char *id) {
            QVariantList box;
            bool done = false;
            s.pane()->page()->runJavaScript(
                QStringLiteral("(function(){var r=document.getElementById('%1').getBoundingClientRect();"
                               "return [r.left+r.width/2,r.top+r.height/2];})()")
                    .arg(QLatin1String(id)),
                QWebEngineScript::ApplicationWorld, [&](const QVariant &v) {
                    box = v.toList();
                    done = true;
                });
            QVERIFY(QTest::qWaitFor([&] { return done; }, kWait));
            QCOMPARE(box.size(), 2);
            const QPoint point(qRound(box.at(0).toDouble()), qRound(box.at(1).toDouble()));
            QWidget *target = s.pane()->focusProxy();
            QVERIFY(target);
            QTest::mouseMove(target, point);
            QTest::mouseClick(target, Qt::LeftButton, {}, point);
        };
        click("web");
        QTRY_COMPARE_WITH_TIMEOUT(s.t.platform.openedUrls().size(), 1, kWait);
        click("img");
        QTRY_COMPARE_WITH_TIMEOUT(s.t.platform.openedUrls().size(), 2, kWait);
        QCOMPARE(s.t.platform.openedUrls(), QList<QUrl>({QUrl("https://example.com/x"), QUrl::fromLocalFile(image)}));
        click("mail");
        QTRY_VERIFY_WITH_TIMEOUT(!previewPane()->isLoadingPage(), kWait);
        QCOMPARE(s.pane()->url(), QUrl::fromLocalFile(page));
        click("local");
        QTRY_VERIFY_WITH_TIMEOUT(s.shows(target), kWait);
        QCOMPARE(s.t.platform.openedUrls().size(), 2);
    }

    void pageCannotNavigateAwayByItself()
    {
        PreviewSession s;
        QVERIFY(s.start());
        const QByteArray script = "<meta http-equiv=\"refresh\" content=\"0; url=https://example.com/away\">"
                                  "<script>window.open('https://example.com/popup');"
                                  "alert('x'); confirm('y'); prompt('z');"
                                  "setTimeout(function(){document.title='done';},500);</script>";
        const QString page = s.writePage("_temp0.htm", pageHtml(3, script));
        s.publish(page);
        QTRY_VERIFY_WITH_TIMEOUT(s.pane()->title() == QStringLiteral("done"), kWait);
        QTRY_VERIFY_WITH_TIMEOUT(s.shows(page), kWait);
        QVERIFY(s.t.platform.openedUrls().isEmpty());
        // The page's dialogs never reach the reader; the missing converter may report
        // itself meanwhile, and that is all there may be.
        for (const RecordedMessage &message : s.t.platform.messages)
            QVERIFY2(message.text.startsWith(QLatin1String("Pandoc could not be initialized")), qPrintable(message.text));
    }

    void convertedPagesKeepReadersOffset()
    {
        // The whole road with the real converter: typing, conversion, then the page
        // patched in place at the reader's offset.
        TestApp t;
        QVERIFY(t.start());
        PreviewPane *pane = mainWindow()->preview();
        QByteArray text;
        for (int i = 0; i < 300; ++i)
            text += "Paragraph " + QByteArray::number(i) + " of a long document.\n\n";
        mainWindow()->markdownEditor()->SendScintilla(QsciScintillaBase::SCI_SETTEXT, 0UL, text.constData());
        QTRY_VERIFY_WITH_TIMEOUT(pane->url().isLocalFile() && !previewPane()->isLoadingPage() &&
                                     previewReload().state().restoreTarget < 0 && !previewReload().patchPending() &&
                                     previewPane()->maxScroll() > 3000 &&
                                     readFileBytes(pane->shownPage()).contains("Paragraph 299"),
                                 kWait);
        const QString shown = pane->shownPage();
        userScrollPreview(pane, 2000);
        QTRY_COMPARE_WITH_TIMEOUT(previewPane()->scrollTop(), 2000, kWait);

        const int patches = previewReload().patchCount();
        const QByteArray more = "More text at the end.\n";
        mainWindow()->markdownEditor()->SendScintilla(QsciScintillaBase::SCI_APPENDTEXT, (unsigned long)more.size(),
                                                      more.constData());
        QTRY_VERIFY_WITH_TIMEOUT(pane->shownPage() != shown && lastPage() == pane->shownPage() &&
                                     !previewPane()->isLoadingPage() && previewReload().state().restoreTarget < 0 &&
                                     !previewReload().patchPending(),
                                 kWait);
        QVERIFY(previewReload().patchCount() > patches);
        QVERIFY(readFileBytes(pane->shownPage()).contains("More text at the end."));
        QTRY_COMPARE_WITH_TIMEOUT(pane->page()->scrollPosition().y(), 2000.0, kWait);
        QVERIFY(!previewReload().snapshotShown());
    }
};

QUILLDOWN_TEST_MAIN(TestPreviewPane)
#include "tst_previewpane.moc"
