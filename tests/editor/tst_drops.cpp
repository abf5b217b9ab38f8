// Dropped files open as the document on all three panes; dropped text goes nowhere.
#include "common/TestSupport.h"

#include "core/AppState.h"
#include "app/Document.h"
#include "app/MainWindow.h"
#include "editor/Drops.h"
#include "editor/Editor.h"
#include "preview/PreviewPane.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <Qsci/qsciscintillabase.h>

using Sci = QsciScintillaBase;

namespace {

QMimeData *files(const QStringList &paths)
{
    auto *mime = new QMimeData;
    QList<QUrl> urls;
    for (const QString &p : paths)
        urls << QUrl::fromLocalFile(p);
    mime->setUrls(urls);
    return mime;
}

QMimeData *text(const QString &words)
{
    auto *mime = new QMimeData;
    mime->setText(words);
    return mime;
}

// Sends a drag entering and then dropping on `target`; true when both were accepted.
bool dragAndDrop(QWidget *target, QMimeData *mime)
{
    const std::unique_ptr<QMimeData> owned(mime);
    const QPoint at(20, 20);
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
    enter.ignore();
    QCoreApplication::sendEvent(target, &enter);
    const bool entered = enter.isAccepted() && enter.dropAction() == Qt::CopyAction;
    QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
    move.ignore();
    QCoreApplication::sendEvent(target, &move);
    QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
    drop.ignore();
    QCoreApplication::sendEvent(target, &drop);
    return entered && move.isAccepted() && drop.isAccepted();
}

// The widget that receives a view's mouse and drag events: the editors' viewports, the
// web view's render widget.
QWidget *dropTarget(int pane)
{
    MainWindow *w = mainWindow();
    if (pane == 0)
        return w->markdownEditor()->viewport();
    if (pane == 1)
        return w->headEditor()->viewport();
    return w->preview()->focusProxy();
}

} // namespace

class TestDrops : public QObject {
    Q_OBJECT
private slots:
    void onlyLocalFileListsCount()
    {
        std::unique_ptr<QMimeData> two(files({"/tmp/a.md", "/tmp/b c.txt"}));
        QCOMPARE(DroppedFilePaths(two.get()), QStringList({"/tmp/a.md", "/tmp/b c.txt"}));
        std::unique_ptr<QMimeData> words(text("/tmp/a.md"));
        QCOMPARE(DroppedFilePaths(words.get()), QStringList());
        auto mixed = std::make_unique<QMimeData>();
        mixed->setUrls({QUrl::fromLocalFile("/tmp/a.md"), QUrl("https://example.com/x.md")});
        QCOMPARE(DroppedFilePaths(mixed.get()), QStringList());
        auto web = std::make_unique<QMimeData>();
        web->setUrls({QUrl("https://example.com/x.md")});
        QCOMPARE(DroppedFilePaths(web.get()), QStringList());
        QCOMPARE(DroppedFilePaths(nullptr), QStringList());
    }

    void fileDropsOpenTheFirstFile_data()
    {
        QTest::addColumn<int>("pane");
        QTest::newRow("markdown editor") << 0;
        QTest::newRow("head editor") << 1;
        QTest::newRow("preview") << 2;
    }

    void fileDropsOpenTheFirstFile()
    {
        QFETCH(int, pane);
        TestApp t;
        QVERIFY(writeFileBytes(t.docsDir() + "first.txt", "first file\n"));
        QVERIFY(writeFileBytes(t.docsDir() + "second.md", "second file\n"));
        QVERIFY(writeFileBytes(t.docsDir() + "start.md", "start\n"));
        QVERIFY(t.start({t.docsDir() + "start.md"}));
        QTRY_VERIFY_WITH_TIMEOUT(dropTarget(pane) != nullptr, 20000);
        QWidget *target = dropTarget(pane);

        // Text is refused and never inserted.
        QVERIFY(!dragAndDrop(target, text("dropped words")));
        QVERIFY(!dragAndDrop(mainWindow()->preview(), text("dropped words")));
        QCoreApplication::processEvents();
        QCOMPARE(EditorText(mainWindow()->markdownEditor()), QByteArray("start\n"));
        QCOMPARE(EditorText(mainWindow()->headEditor()), QByteArray(kHeadTemplate));
        QCOMPARE(document().path(), t.docsDir() + "start.md");

        // Several files: the first listed opens, whatever its extension.
        QVERIFY(dragAndDrop(target, files({t.docsDir() + "first.txt", t.docsDir() + "second.md"})));
        QTRY_COMPARE_WITH_TIMEOUT(document().path(), t.docsDir() + "first.txt", 10000);
        QCOMPARE(EditorText(mainWindow()->markdownEditor()), QByteArray("first file\n"));
        QCOMPARE(t.platform.messageCount(), 0);
        QCOMPARE(t.platform.dialogs.size(), 0);
    }

    void dropOnTheViewItselfAndUnsavedChanges()
    {
        TestApp t;
        QVERIFY(writeFileBytes(t.docsDir() + "dropped.md", "dropped\n"));
        QVERIFY(t.start());
        QsciScintillaBase *editor = mainWindow()->markdownEditor();
        editor->SendScintilla(Sci::SCI_ADDTEXT, (unsigned long)5, "words");

        // Unsaved text: the question comes first; Cancel opens nothing.
        t.platform.messageAnswers.enqueue(MessageAnswer::Cancel);
        QVERIFY(dragAndDrop(mainWindow()->preview(), files({t.docsDir() + "dropped.md"})));
        QTRY_COMPARE_WITH_TIMEOUT(t.platform.messageCount(), 1, 10000);
        QCOMPARE(t.platform.lastMessage().text, QStringLiteral("Save changes before closing?"));
        QCOMPARE(document().path(), QString());
        QCOMPARE(EditorText(editor), QByteArray("words"));

        // No: the dropped file replaces the document.
        t.platform.messageAnswers.enqueue(MessageAnswer::No);
        QVERIFY(dragAndDrop(editor, files({t.docsDir() + "dropped.md"})));
        QTRY_COMPARE_WITH_TIMEOUT(document().path(), t.docsDir() + "dropped.md", 10000);
        QCOMPARE(EditorText(editor), QByteArray("dropped\n"));

        // A web address dropped is refused like text.
        auto *web = new QMimeData;
        web->setUrls({QUrl("https://example.com/page.md")});
        QVERIFY(!dragAndDrop(editor->viewport(), web));
        QCoreApplication::processEvents();
        QCOMPARE(document().path(), t.docsDir() + "dropped.md");
        QCOMPARE(t.platform.messageCount(), 2);
    }
};

QUILLDOWN_TEST_MAIN(TestDrops)
#include "tst_drops.moc"
