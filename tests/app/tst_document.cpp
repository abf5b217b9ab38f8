// The document, over two bare editors: New, Open (dialog, command line), the bytes of a file on the way in and
// out, the question before discarding, and New Window.
#include "common/DocumentRig.h"
#include "common/TestSupport.h"

#include "core/AppState.h"
#include "app/Commands.h"
#include "app/ViewCommands.h"
#include "app/Document.h"
#include "files/DocumentFiles.h"
#include "app/MainWindow.h"
#include "editor/Editor.h"
#include "settings/Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTimer>
#include <Qsci/qsciscintillabase.h>
#include <sys/stat.h>

using Sci = QsciScintillaBase;

namespace {

bool modified(QsciScintillaBase *editor) { return editor->SendScintilla(Sci::SCI_GETMODIFY) != 0; }
bool canUndo(QsciScintillaBase *editor) { return editor->SendScintilla(Sci::SCI_CANUNDO) != 0; }

// Answers the next real file dialog as a person would: types `name` and presses Enter.
// A message box refusing the name is noted and closed, and the dialog then cancelled.
class DialogTyper : public QObject {
public:
    explicit DialogTyper(const QString &name) : name_(name)
    {
        timer_.callOnTimeout(this, [this] { poll(); });
        timer_.start(20);
    }
    QString refusal;

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        // A dialog that does not take the answer must not hold the test for good.
        if (modal && ++polls_ > 1500) {
            refusal = QStringLiteral("no answer taken by ") + QString::fromLatin1(modal->metaObject()->className());
            qobject_cast<QDialog *>(modal)->reject();
            return;
        }
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            refusal = box->text();
            box->done(QMessageBox::Ok);
        } else if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            if (!refusal.isEmpty()) {
                dialog->reject();
            } else if (!typed_) {
                auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
                if (!edit || !edit->isVisible())
                    return;
                typed_ = true;
                edit->setText(name_);
                // Queued: a refusal opens a message box of its own, which this timer closes.
                QMetaObject::invokeMethod(edit, [edit] { QTest::keyClick(edit, Qt::Key_Return); },
                                          Qt::QueuedConnection);
            }
        }
    }
    QString name_;
    bool typed_ = false;
    int polls_ = 0;
    QTimer timer_;
};

} // namespace

class TestDocument : public QObject {
    Q_OBJECT
private slots:
    void newDocumentAndItsQuestion()
    {
        DocumentRig t;
        QVERIFY(t.start());
        QCOMPARE(EditorText(t.md()), QByteArray());
        QCOMPARE(EditorText(t.hd()), QByteArray(kHeadTemplate));
        QCOMPARE(t.doc().path(), QString());
        QCOMPARE(t.doc().stylesheet(), t.binDir() + "css/air.css");
        QVERIFY(!t.doc().isModified());
        QVERIFY(!canUndo(t.hd()));

        // Unchanged: New asks nothing.
        NewDocument(t.doc(), false);
        QCOMPARE(t.platform.messageCount(), 0);
        QCOMPARE(t.statusText, QString());

        // An edit in the head editor alone is unsaved too.
        type(t.hd(), "<style></style>\n");
        QVERIFY(t.doc().isModified());
        t.platform.messageAnswers.enqueue(MessageAnswer::Cancel);
        NewDocument(t.doc(), false);
        QCOMPARE(t.platform.messageCount(), 1);
        const RecordedMessage question = t.platform.lastMessage();
        QCOMPARE(question.text, QStringLiteral("Save changes before closing?"));
        QCOMPARE(question.caption, QStringLiteral("Quilldown"));
        QCOMPARE(question.icon, MessageIcon::Warning);
        QCOMPARE(question.buttons, MessageButtons::YesNoCancel);
        QVERIFY(EditorText(t.hd()).contains("<style></style>\n"));

        type(t.md(), "draft");
        t.platform.messageAnswers.enqueue(MessageAnswer::No);
        QSignalSpy replaced(&t.doc(), &Document::replaced);
        NewDocument(t.doc(), false);
        QCOMPARE(EditorText(t.md()), QByteArray());
        QCOMPARE(EditorText(t.hd()), QByteArray(kHeadTemplate));
        QVERIFY(!t.doc().isModified());
        QVERIFY(!canUndo(t.md()));
        QCOMPARE(replaced.size(), 1);

        // A chosen stylesheet is unsaved, and New leaves that as it is.
        UseStylesheetEntry(t.doc(), 0);
        QCOMPARE(int(t.doc().stylesheetChanged()), 1);
        t.platform.messageAnswers.enqueue(MessageAnswer::No);
        NewDocument(t.doc(), false);
        QCOMPARE(t.platform.messageCount(), 3);
        QCOMPARE(int(t.doc().stylesheetChanged()), 1);
        t.platform.messageAnswers.enqueue(MessageAnswer::No);
        NewDocument(t.doc(), false);
        QCOMPARE(t.platform.messageCount(), 4);

        // Open clears it.
        QVERIFY(writeFileBytes(t.docsDir() + "a.md", "a\n"));
        t.platform.messageAnswers.enqueue(MessageAnswer::No);
        OpenDocument(t.doc(), t.docsDir() + "a.md");
        QCOMPARE(int(t.doc().stylesheetChanged()), 0);
        QVERIFY(!t.doc().isModified());
        // The blank page shown while a document is replaced never leaves the program.
        QCoreApplication::processEvents();
        QCOMPARE(t.platform.openedUrls(), QList<QUrl>());
    }

    void openReadsTheDocumentAndItsHead()
    {
        DocumentRig t;
        QVERIFY(t.start());
        const QString docs = t.docsDir();
        QVERIFY(writeFileBytes(docs + "notes.md", "# Notes\n\nSome text.\n"));
        QVERIFY(writeFileBytes(docs + "notes.head.txt", "<title>My notes</title>\n"));
        QVERIFY(writeFileBytes(docs + "bare.markdown", "plain\n"));

        OpenDocument(t.doc(), docs + "notes.md");
        QCOMPARE(t.doc().path(), docs + "notes.md");
        QCOMPARE(t.doc().lastFolder(), docs);
        QCOMPARE(EditorText(t.md()), QByteArray("# Notes\n\nSome text.\n"));
        QCOMPARE(EditorText(t.hd()), QByteArray("<title>My notes</title>\n"));
        // Loading is not an edit: nothing to undo, nothing unsaved.
        QVERIFY(!modified(t.md()) && !modified(t.hd()));
        QVERIFY(!canUndo(t.md()) && !canUndo(t.hd()));
        QCOMPARE(t.statusText, QString());

        // Without a head file the head editor holds the template; any extension opens.
        OpenDocument(t.doc(), docs + "bare.markdown");
        QCOMPARE(EditorText(t.md()), QByteArray("plain\n"));
        QCOMPARE(EditorText(t.hd()), QByteArray(kHeadTemplate));

        // A file that does not exist gives an empty document with that name.
        OpenDocument(t.doc(), docs + "new.md");
        QCOMPARE(t.doc().path(), docs + "new.md");
        QCOMPARE(EditorText(t.md()), QByteArray());
        QVERIFY(!t.doc().isModified());
        QVERIFY(!QFileInfo::exists(docs + "new.md"));

        // Something that exists but cannot be read is not opened as an empty document
        // (saving that would wipe it): the current document stays.
        QVERIFY(QDir().mkpath(docs + "folder.md"));
        OpenDocument(t.doc(), docs + "folder.md");
        QCOMPARE(t.doc().path(), docs + "new.md");
        QCOMPARE(t.statusText, QStringLiteral("Could not open 'folder.md'."));
        // A pipe would block the window forever while it waits for a writer.
        QCOMPARE(::mkfifo(QFile::encodeName(docs + "pipe.md").constData(), 0600), 0);
        OpenDocument(t.doc(), docs + "pipe.md");
        QCOMPARE(t.doc().path(), docs + "new.md");
        QCOMPARE(t.statusText, QStringLiteral("Could not open 'pipe.md'."));
        if (geteuid() != 0) {
            QVERIFY(writeFileBytes(docs + "secret.md", "keep me"));
            QVERIFY(QFile::setPermissions(docs + "secret.md", QFile::WriteOwner));
            OpenDocument(t.doc(), docs + "secret.md");
            QCOMPARE(t.doc().path(), docs + "new.md");
            QVERIFY(t.statusText.startsWith("Could not open"));
        }
    }

    void bytesSurviveOpenAndSave_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF# Title\n\nText\n");
        QTest::newRow("zero bytes") << QByteArray("before\0after\n\0\0end", 18);
        QTest::newRow("invalid UTF-8") << QByteArray("caf\xE9 \xFF\xFE \xC3( \xED\xA0\x80 ok\n");
        QTest::newRow("CR LF and mixed") << QByteArray("one\r\ntwo\nthree\rfour\r\n\r\n");
        QTest::newRow("empty") << QByteArray();
    }

    void bytesSurviveOpenAndSave()
    {
        QFETCH(QByteArray, bytes);
        DocumentRig t;
        QVERIFY(t.useMissingConverter());
        QVERIFY(t.start());
        const QString path = t.docsDir() + "raw.md";
        QVERIFY(writeFileBytes(path, bytes));
        OpenDocument(t.doc(), path);
        QCOMPARE(EditorText(t.md()), bytes);
        QCOMPARE(ReadTextFile(path), bytes);
        QCOMPARE(SaveDocument(t.doc()), SaveResult::Completed);
        QCOMPARE(readFileBytes(path), bytes);
        QVERIFY(!QFileInfo::exists(t.docsDir() + "raw.head.txt"));
        QCOMPARE(t.statusText, QStringLiteral("Saving 'raw.md'... saved, but the page was not exported: Pandoc is not available."));
    }

    void openDialog()
    {
        DocumentRig t;
        QVERIFY(t.start());
        const QString docs = t.docsDir();
        QVERIFY(writeFileBytes(docs + "one.md", "one\n"));
        QDir().mkpath(t.root() + "elsewhere");
        QVERIFY(writeFileBytes(t.root() + "elsewhere/two.md", "two\n"));

        // Cancelled: nothing changes; the dialog started on the desktop.
        OpenDocument(t.doc(), QString());
        QCOMPARE(t.platform.dialogs.size(), 1);
        const RecordedDialog dialog = t.platform.dialogs[0];
        QCOMPARE(dialog.kind, QStringLiteral("open"));
        QCOMPARE(dialog.title, QStringLiteral("Open"));
        QCOMPARE(dialog.filter, QStringLiteral("Markdown (*.md);;All Files (*)"));
        QCOMPARE(dialog.start, DesktopFolder());
        QVERIFY(dialog.start.endsWith(u'/'));
        QCOMPARE(t.doc().path(), QString());

        t.platform.fileAnswers.enqueue(docs + "one.md");
        OpenDocument(t.doc(), QString());
        QCOMPARE(t.doc().path(), docs + "one.md");
        QCOMPARE(app().settings.LastPath, docs);

        // A file chosen, then Cancel to the question: the document stays, the folder moves.
        type(t.md(), "edited ");
        t.platform.fileAnswers.enqueue(t.root() + "elsewhere/two.md");
        t.platform.messageAnswers.enqueue(MessageAnswer::Cancel);
        OpenDocument(t.doc(), QString());
        QCOMPARE(t.platform.dialogs.last().start, docs);
        QCOMPARE(t.doc().path(), docs + "one.md");
        QCOMPARE(EditorText(t.md()), QByteArray("edited one\n"));
        QCOMPARE(t.doc().lastFolder(), t.root() + "elsewhere/");
        OpenDocument(t.doc(), QString());
        QCOMPARE(t.platform.dialogs.last().start, t.root() + "elsewhere/");
    }

    // The desktop's own dialog: a name not taken yet in an existing folder starts an
    // empty document of that name; a name in a folder that does not exist is refused.
    void openDialogTakesANewName()
    {
        DocumentRig t;
        QVERIFY(t.start());
        setPlatform(nullptr);
        const QString fresh = t.docsDir() + "fresh.md";
        {
            DialogTyper typer(fresh);
            OpenDocument(t.doc(), QString());
            QCOMPARE(typer.refusal, QString());
        }
        QCOMPARE(t.doc().path(), fresh);
        QCOMPARE(EditorText(t.md()), QByteArray());
        QVERIFY(!QFileInfo::exists(fresh));
        {
            DialogTyper typer(t.docsDir() + "missing/other.md");
            OpenDocument(t.doc(), QString());
            QVERIFY2(typer.refusal.contains("does not exist"), qPrintable(typer.refusal));
        }
        QCOMPARE(t.doc().path(), fresh);
        setPlatform(&t.platform);

        // Load CSS still asks for an existing file.
        LoadStylesheet(t.doc());
        QCOMPARE(t.platform.dialogs.last().title, QStringLiteral("Load CSS"));
        QCOMPARE(t.platform.dialogs.last().rule, OpenRule::ExistingFile);
    }

    // The dialogs start in the desktop folder only when there is one, else at home.
    void dialogsStartInAFolderThatExists()
    {
        DocumentRig t;
        const QByteArray savedHome = qgetenv("HOME");
        const QString home = t.root() + "home/";
        QVERIFY(QDir().mkpath(home));
        qputenv("HOME", QFile::encodeName(home));
        const auto restore = qScopeGuard([&] { qputenv("HOME", savedHome); });
        QVERIFY(t.start());
        OpenDocument(t.doc(), QString());
        QCOMPARE(t.platform.dialogs.last().start, home);
        QCOMPARE(app().settings.LastPath, home);

        QVERIFY(QDir().mkpath(home + "Desktop"));
        t.doc().setLastFolder(QString());
        app().settings.LastPath.clear();
        SaveDocumentAs(t.doc());
        QCOMPARE(t.platform.dialogs.last().start, home + "Desktop/");
    }

    void lastFolderIsRememberedAcrossStarts()
    {
        DocumentRig t;
        QVERIFY(t.start());
        QVERIFY(writeFileBytes(t.docsDir() + "one.md", "one\n"));
        t.platform.fileAnswers.enqueue(t.docsDir() + "one.md");
        OpenDocument(t.doc(), QString());
        t.shutdown();
        QVERIFY(t.start());
        OpenDocument(t.doc(), QString());
        QCOMPARE(t.platform.dialogs.last().start, t.docsDir());
    }

    void commandLineOpensTheFile()
    {
        DocumentRig t;
        QVERIFY(writeFileBytes(t.docsDir() + "start.md", "started\n"));
        QVERIFY(t.start(t.docsDir() + "start.md"));
        QCOMPARE(t.doc().path(), t.docsDir() + "start.md");
        QCOMPARE(EditorText(t.md()), QByteArray("started\n"));
        QCOMPARE(EditorText(t.hd()), QByteArray(kHeadTemplate));
        QVERIFY(!t.doc().isModified());
        QCOMPARE(t.doc().lastFolder(), t.docsDir());

        // A named pipe on the command line: a new document instead.
        t.shutdown();
        QCOMPARE(::mkfifo(QFile::encodeName(t.docsDir() + "pipe.md").constData(), 0600), 0);
        QVERIFY(t.start(t.docsDir() + "pipe.md"));
        QCOMPARE(t.doc().path(), QString());
        QCOMPARE(EditorText(t.hd()), QByteArray(kHeadTemplate));
        QCOMPARE(t.doc().stylesheet(), t.binDir() + "css/air.css");
    }

    // The window's close asks the question of its document.
    void closeQuestionAnswers()
    {
        TestApp t;
        QVERIFY(t.useMissingConverter());
        QVERIFY(t.start());
        MainWindow *w = mainWindow();
        Document &doc = *w->document();
        QTRY_VERIFY_WITH_TIMEOUT(w->isVisible(), 10000);
        type(markdown(), "unsaved words\n");

        // Cancel: the window stays.
        t.platform.messageAnswers.enqueue(MessageAnswer::Cancel);
        QVERIFY(!w->close());
        QVERIFY(w->isVisible());
        QCOMPARE(app().quit.load(), 0);

        // Yes, then the save dialog cancelled: nothing was saved, so the window stays.
        t.platform.messageAnswers.enqueue(MessageAnswer::Yes);
        QVERIFY(!w->close());
        QCOMPARE(t.platform.dialogs.last().kind, QStringLiteral("save"));
        QVERIFY(w->isVisible());

        // Yes, and a save that fails: the words must not be thrown away.
        QVERIFY(writeFileBytes(t.root() + "plainfile", "x"));
        t.platform.messageAnswers.enqueue(MessageAnswer::Yes);
        t.platform.fileAnswers.enqueue(t.root() + "plainfile/doc.md");
        QVERIFY(!w->close());
        QVERIFY(w->isVisible());
        QCOMPARE(w->statusText(), QStringLiteral("Saving 'doc.md'... failed."));
        QVERIFY(doc.isModified());

        // Saved under a name, changed again; Yes now saves without a dialog and closes.
        t.platform.fileAnswers.enqueue(t.docsDir() + "closing");
        SaveDocumentAs(doc);
        QCOMPARE(readFileBytes(t.docsDir() + "closing.md"), QByteArray("unsaved words\n"));
        type(markdown(), "more\n");
        const int dialogs = t.platform.dialogs.size();
        t.platform.messageAnswers.enqueue(MessageAnswer::Yes);
        QVERIFY(w->close());
        QCOMPARE(t.platform.dialogs.size(), dialogs);
        QCOMPARE(readFileBytes(t.docsDir() + "closing.md"), QByteArray("unsaved words\nmore\n"));
        QCOMPARE(app().quit.load(), 1);
        QCOMPARE(t.platform.messageCount(), 4);
    }

    void closeAnsweredNoDiscards()
    {
        TestApp t;
        QVERIFY(t.start());
        Document &doc = *mainWindow()->document();
        QVERIFY(writeFileBytes(t.docsDir() + "kept.md", "original\n"));
        OpenDocument(doc, t.docsDir() + "kept.md");
        type(markdown(), "changed ");
        t.platform.messageAnswers.enqueue(MessageAnswer::No);
        QVERIFY(mainWindow()->close());
        QCOMPARE(readFileBytes(t.docsDir() + "kept.md"), QByteArray("original\n"));
        QCOMPARE(t.platform.messageCount(), 1);
        // Exit goes the same way; an unchanged document closes without a question.
        t.shutdown();
        QVERIFY(t.start());
        RunCommand(CmdExit);
        QCOMPARE(t.platform.messageCount(), 1);
        QCOMPARE(app().quit.load(), 1);
    }

    void newWindowStartsASecondProgram()
    {
        DocumentRig t;
        QVERIFY(t.start());
        app().settings.FontSize = 13;
        OpenNewWindow(t.doc());
        QCOMPARE(t.platform.started.size(), 1);
        QCOMPARE(t.platform.started[0], QStringList{QCoreApplication::applicationFilePath()});
        // The settings are written first, so the new program starts with them.
        QVERIFY(readFileBytes(t.configDir() + "Quilldown.ini").contains("FontSize = 13\r\n"));
        // Nothing of the document changes.
        QCOMPARE(t.doc().path(), QString());
        QCOMPARE(t.platform.messageCount(), 0);
    }
};

QUILLDOWN_TEST_MAIN(TestDocument)
#include "tst_document.moc"
