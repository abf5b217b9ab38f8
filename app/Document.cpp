#include "app/Document.h"

#include "core/AppState.h"
#include "app/BackgroundExport.h"
#include "app/MainWindow.h"
#include "conversion/ConversionWorker.h"
#include "files/DocumentFiles.h"
#include "conversion/HtmlAdjust.h"
#include "editor/Editor.h"
#include "platform/Platform.h"
#include "app/PreviewHost.h"
#include "app/Recovery.h"
#include "app/SettingsHost.h"
#include "settings/Paths.h"
#include "settings/Settings.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStatusBar>
#include <QThread>
#include <Qsci/qsciscintillabase.h>

using Sci = QsciScintillaBase;

namespace {

const QString kMarkdownFilter = QStringLiteral("Markdown (*.md)");

void resetHistory(QsciScintillaBase *editor)
{
    editor->SendScintilla(Sci::SCI_EMPTYUNDOBUFFER);
    editor->SendScintilla(Sci::SCI_SETSAVEPOINT);
}

// The last folder is kept in the settings as LastPath, so the dialogs start where the
// previous session left them.
QString dialogFolder()
{
    AppState &s = app();
    if (s.lastFolder.isEmpty())
        s.lastFolder = s.settings.LastPath;
    return s.lastFolder;
}

void setLastFolder(const QString &folder)
{
    app().lastFolder = folder;
    app().settings.LastPath = folder;
}

void startingFolderIfNone()
{
    if (dialogFolder().isEmpty())
        setLastFolder(DesktopFolder());
}

// The status text is shown before the export blocks the main thread.
void showStatusNow(const QString &text)
{
    MainWindow *w = mainWindow();
    w->setStatusText(text);
    w->statusBar()->repaint();
}

// Dialog answers may be relative or use "." steps; the document path is always absolute.
QString absoluteDocumentPath(const QString &path)
{
    return QFileInfo(path).absoluteFilePath();
}

} // namespace

QString DesktopFolder()
{
    // Many accounts have no desktop folder; one that is missing would become LastPath.
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (!desktop.isEmpty() && QFileInfo(desktop).isDir())
        return WithTrailingSlash(desktop);
    return WithTrailingSlash(QStandardPaths::writableLocation(QStandardPaths::HomeLocation));
}

QString WithMarkdownExtension(const QString &name)
{
    return ExtensionPart(name).isEmpty() ? name + QStringLiteral(".md") : name;
}

bool HeadFileNeeded(const QByteArray &headText, bool headFileExists)
{
    return headFileExists || headText != QByteArray(kHeadTemplate);
}

HeadFileOutcome SaveHeadFile(const QByteArray &headText, const QString &headFile)
{
    const QFileInfo info(headFile);
    const bool exists = info.exists();
    if (!HeadFileNeeded(headText, exists))
        return HeadFileOutcome::NotNeeded;
    // Open showed the template in place of such a file; writing it would destroy the file.
    if (exists && !info.isFile())
        return HeadFileOutcome::NotAFile;
    if (exists && !IsReadableFile(headFile))
        return HeadFileOutcome::Unreadable;
    return WriteTextFile(headText, headFile) ? HeadFileOutcome::Written : HeadFileOutcome::WriteFailed;
}

QString HeadFileProblem(HeadFileOutcome outcome, const QString &headFile)
{
    const QString named = QStringLiteral("the head file '") + FilePart(headFile) + QStringLiteral("' ");
    switch (outcome) {
    case HeadFileOutcome::NotAFile: return named + QStringLiteral("is not a regular file and was left as it is");
    case HeadFileOutcome::Unreadable: return named + QStringLiteral("could not be read and was left as it is");
    case HeadFileOutcome::WriteFailed: return named + QStringLiteral("could not be written");
    case HeadFileOutcome::NotNeeded:
    case HeadFileOutcome::Written: break;
    }
    return QString();
}

QString SaveOutcomeText(const QString &headProblem, bool exportFailed)
{
    if (headProblem.isEmpty())
        return exportFailed ? QStringLiteral("failed.") : QStringLiteral("done.");
    return QStringLiteral("saved, but ") + headProblem +
           (exportFailed ? QStringLiteral("; the page was not exported.") : QStringLiteral("."));
}

void NewDocument(bool skipConfirmation)
{
    if (!skipConfirmation && !ConfirmDiscard())
        return;
    AppState &s = app();
    MainWindow *w = mainWindow();
    s.changeSuppression = 1;
    SetupEditor(w->markdownEditor());
    SetupEditor(w->headEditor());
    ShowBlankPreview();
    w->markdownEditor()->setFocus();
    SetEditorText(w->headEditor(), QByteArray(kHeadTemplate));
    w->markdownEditor()->SendScintilla(Sci::SCI_SETSAVEPOINT);
    w->markdownEditor()->SendScintilla(Sci::SCI_EMPTYUNDOBUFFER);
    w->headEditor()->SendScintilla(Sci::SCI_SETSAVEPOINT);
    w->headEditor()->SendScintilla(Sci::SCI_EMPTYUNDOBUFFER);
    w->setStatusText(QString());
    s.documentPath.set(QString());
    s.freshDocument = 1;
    RestoreDocumentStylesheet();
    RequestConversion();
}

void OpenDocument(const QString &requested)
{
    AppState &s = app();
    startingFolderIfNone();
    QString path = requested;
    if (path.isEmpty()) {
        path = platform().openFileName(mainWindow(), QStringLiteral("Open"), dialogFolder(),
                                       kMarkdownFilter + QStringLiteral(";;All Files (*)"), OpenRule::NewNameAllowed);
        if (path.isEmpty())
            return;
    }
    path = absoluteDocumentPath(path);
    setLastFolder(FolderPart(path));
    // An existing file we cannot read would show as empty, and saving would then replace
    // its content with nothing: keep the current document instead.
    if (QFileInfo::exists(path) && !IsReadableFile(path)) {
        // At start-up there is no document yet to keep.
        if (s.currentStylesheet.get().isEmpty())
            NewDocument(true);
        mainWindow()->setStatusText(QStringLiteral("Could not open '") + FilePart(path) + QStringLiteral("'."));
        return;
    }
    if (!ConfirmDiscard())
        return;
    NewDocument(true);

    MainWindow *w = mainWindow();
    s.changeSuppression = 1;
    s.documentPath.set(path);
    SetEditorText(w->markdownEditor(), ReadTextFile(path));
    const QString headFile = HeadFileFor(path);
    if (IsReadableFile(headFile))
        SetEditorText(w->headEditor(), ReadTextFile(headFile));
    RestoreDocumentStylesheet();
    resetHistory(w->markdownEditor());
    resetHistory(w->headEditor());
    s.stylesheetChanged = 0;
    RequestConversion();
}

SaveResult SaveDocument()
{
    AppState &s = app();
    MainWindow *w = mainWindow();
    QString path = s.documentPath.get();
    if (path.isEmpty()) {
        startingFolderIfNone();
        const QString chosen = platform().saveFileName(w, QStringLiteral("Save"), dialogFolder(), kMarkdownFilter);
        if (chosen.isEmpty())
            return SaveResult::Cancelled;
        path = WithMarkdownExtension(absoluteDocumentPath(chosen));
        setLastFolder(FolderPart(path));
        s.documentPath.set(path);
    }

    const QString saving = QStringLiteral("Saving '") + FilePart(path) + QStringLiteral("'... ");
    showStatusNow(saving);
    // The old file stays whole when the write fails, and the document stays unsaved.
    if (!WriteTextFile(EditorText(w->markdownEditor()), path)) {
        w->setStatusText(saving + QStringLiteral("failed."));
        return SaveResult::Failed;
    }

    const QByteArray head = EditorText(w->headEditor());
    const QString headFile = HeadFileFor(path);
    const QString headProblem = HeadFileProblem(SaveHeadFile(head, headFile), headFile);

    w->markdownEditor()->SendScintilla(Sci::SCI_SETSAVEPOINT);
    // Head text that is not on disk keeps the head editor unsaved, so it is asked about
    // before it could be thrown away.
    const bool headUnsaved = !headProblem.isEmpty() && w->headEditor()->SendScintilla(Sci::SCI_GETMODIFY) != 0;
    if (!headUnsaved)
        w->headEditor()->SendScintilla(Sci::SCI_SETSAVEPOINT);
    s.stylesheetChanged = 0;
    const SaveResult result = headUnsaved ? SaveResult::Failed : SaveResult::Completed;
    // Without a usable converter there is no page to export and nothing has failed.
    if (s.converterState.load() < ConverterIdle) {
        w->setStatusText(saving + SaveOutcomeText(headProblem, false));
        return result;
    }
    // The page follows in the background; the status tells how it ended.
    StartExport({path, s.currentStylesheet.get(), head}, [saving, headProblem](bool exported) {
        if (MainWindow *window = mainWindow())
            window->setStatusText(saving + SaveOutcomeText(headProblem, !exported));
    });
    return result;
}

void SaveDocumentAs()
{
    // The running export writes beside the current name: it ends first.
    if (!WaitForExport())
        return;
    AppState &s = app();
    QString start = s.documentPath.get();
    if (start.isEmpty())
        start = dialogFolder();
    if (start.isEmpty())
        start = DesktopFolder();
    const QString chosen = platform().saveFileName(mainWindow(), QStringLiteral("Save"), start, kMarkdownFilter);
    if (chosen.isEmpty())
        return;
    const QString path = WithMarkdownExtension(absoluteDocumentPath(chosen));
    setLastFolder(FolderPart(path));
    s.documentPath.set(path);
    SaveDocument();
}

bool DocumentIsUnsaved()
{
    const AppState &s = app();
    const MainWindow *w = mainWindow();
    if (!w)
        return false;
    return w->markdownEditor()->SendScintilla(Sci::SCI_GETMODIFY) != 0
           || w->headEditor()->SendScintilla(Sci::SCI_GETMODIFY) != 0 || s.stylesheetChanged != 0;
}

bool ConfirmDiscard()
{
    // Whatever follows (another document, the end of the program) must not cut the
    // exported page short.
    if (!WaitForExport())
        return false;
    if (!DocumentIsUnsaved())
        return true;
    const MessageAnswer answer =
        platform().messageBox(mainWindow(), MessageIcon::Warning, QStringLiteral("Quilldown"),
                              QStringLiteral("Save changes before closing?"), MessageButtons::YesNoCancel);
    switch (answer) {
    case MessageAnswer::Yes:
        // A save that did not happen must not let the unsaved text be thrown away.
        return SaveDocument() == SaveResult::Completed && WaitForExport();
    case MessageAnswer::No:
        DiscardRecoveryCopy();
        return true;
    default:
        return false;
    }
}

void OpenNewWindow()
{
    if (!WaitForExport())
        return;
    SaveAppSettings();
    QThread::msleep(1);
    platform().startDetached(QCoreApplication::applicationFilePath(), {});
}
