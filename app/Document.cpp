#include "app/Document.h"

#include "core/AppState.h"
#include "app/BackgroundExport.h"
#include "app/PreviewHost.h"
#include "app/Recovery.h"
#include "app/SettingsHost.h"
#include "conversion/HtmlAdjust.h"
#include "editor/Editor.h"
#include "editor/EditorNotify.h"
#include "files/DocumentFiles.h"
#include "platform/Platform.h"
#include "settings/Paths.h"
#include "settings/Settings.h"
#include "settings/Stylesheets.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QStandardPaths>
#include <QWidget>
#include <Qsci/qsciscintillabase.h>

using Sci = QsciScintillaBase;

namespace {

const QString kMarkdownFilter = QStringLiteral("Markdown (*.md)");

void resetHistory(QsciScintillaBase *editor)
{
    editor->SendScintilla(Sci::SCI_EMPTYUNDOBUFFER);
    editor->SendScintilla(Sci::SCI_SETSAVEPOINT);
}

bool editorModified(QsciScintillaBase *editor)
{
    return editor->SendScintilla(Sci::SCI_GETMODIFY) != 0;
}

void startingFolderIfNone(Document &document)
{
    if (document.lastFolder().isEmpty())
        document.setLastFolder(DesktopFolder());
}

// Dialog answers may be relative or use "." steps; the document path is always absolute.
QString absoluteDocumentPath(const QString &path)
{
    return QFileInfo(path).absoluteFilePath();
}

} // namespace

// ---------------------------------------------------------------- Document

Document::Document(QsciScintillaBase *markdown, QsciScintillaBase *head, QWidget *window)
    : markdown_(markdown), head_(head), window_(window)
{
    for (QsciScintillaBase *editor : {markdown_, head_}) {
        connect(editor, &Sci::SCN_MODIFIED, this, [this](int, int type, const char *, int, int, int, int, int, int, int) {
            if ((type & kTextChangeTypes) && !replacing_) {
                // An edit empties the status.
                status_.clear();
                emit edited();
            }
        });
        connect(editor, &Sci::SCN_SAVEPOINTREACHED, this, [this] { updateModified(); });
        connect(editor, &Sci::SCN_SAVEPOINTLEFT, this, [this] { updateModified(); });
    }
}

void Document::showStatus(const QString &text)
{
    status_ = text;
    emit status(text);
}

void Document::setPath(const QString &path)
{
    if (path == path_)
        return;
    path_ = path;
    emit pathChanged(path_);
}

void Document::chooseStylesheet(const QString &path)
{
    stylesheet_ = path;
    stylesheetChanged_ = true;
    updateModified();
    emit stylesheetChosen(path);
}

void Document::restoreStylesheet()
{
    stylesheet_ = DocumentStylesheet(path_, DefaultStylesheetPath(app().location));
}

void Document::forgetStylesheetChange()
{
    stylesheetChanged_ = false;
    updateModified();
}

// The last folder starts from the settings' LastPath, so the dialogs start where the
// previous session left them.
QString Document::lastFolder() const
{
    return lastFolder_.isEmpty() ? app().settingsStore.LastPath() : lastFolder_;
}

void Document::setLastFolder(const QString &folder)
{
    lastFolder_ = folder;
    app().settingsStore.setLastPath(folder);
}

bool Document::textModified() const
{
    return editorModified(markdown_) || editorModified(head_);
}

bool Document::isModified() const
{
    return textModified() || stylesheetChanged_;
}

Document::Snapshot Document::snapshot() const
{
    return {EditorText(markdown_), EditorText(head_)};
}

void Document::replace(const QByteArray &markdown, const QByteArray &head, const QString &path)
{
    replacing_ = true;
    SetEditorText(markdown_, markdown);
    SetEditorText(head_, head);
    resetHistory(markdown_);
    resetHistory(head_);
    replacing_ = false;
    setPath(path);
    restoreStylesheet();
    updateModified();
    emit replaced();
}

void Document::markSaved(bool headSaved)
{
    markdown_->SendScintilla(Sci::SCI_SETSAVEPOINT);
    if (headSaved)
        head_->SendScintilla(Sci::SCI_SETSAVEPOINT);
    stylesheetChanged_ = false;
    updateModified();
    emit saved();
}

void Document::updateModified()
{
    const bool now = isModified();
    if (now == modified_)
        return;
    modified_ = now;
    emit modifiedChanged(now);
}

// ---------------------------------------------------------------- commands

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

QString ExportUnavailableReason()
{
    switch (app().converterState.load()) {
    case ConverterStarting: return QStringLiteral("Pandoc is still starting");
    case ConverterFailed: return QStringLiteral("Pandoc is not available");
    default: return QString();
    }
}

QString SaveOutcomeText(const QString &headProblem, bool exported, const QString &exportReason)
{
    if (headProblem.isEmpty() && exported)
        return QStringLiteral("done.");
    const QString pageNote = exportReason.isEmpty() ? QStringLiteral("the page was not exported.")
                                                    : QStringLiteral("the page was not exported: ") + exportReason + u'.';
    if (headProblem.isEmpty())
        return QStringLiteral("saved, but ") + pageNote;
    return QStringLiteral("saved, but ") + headProblem + (exported ? QStringLiteral(".") : QStringLiteral("; ") + pageNote);
}

void NewDocument(Document &document, bool skipConfirmation)
{
    if (!skipConfirmation && !ConfirmDiscard(document))
        return;
    SetupEditor(document.markdownEditor());
    SetupEditor(document.headEditor());
    ShowBlankPreview();
    document.markdownEditor()->setFocus();
    document.replace(QByteArray(), QByteArray(kHeadTemplate), QString());
    document.showStatus(QString());
}

void OpenDocument(Document &document, const QString &requested)
{
    startingFolderIfNone(document);
    QString path = requested;
    if (path.isEmpty()) {
        path = platform().openFileName(document.window(), QStringLiteral("Open"), document.lastFolder(),
                                       kMarkdownFilter + QStringLiteral(";;All Files (*)"), OpenRule::NewNameAllowed);
        if (path.isEmpty())
            return;
    }
    path = absoluteDocumentPath(path);
    document.setLastFolder(FolderPart(path));
    // An existing file we cannot read would show as empty, and saving would then replace
    // its content with nothing: keep the current document instead.
    if (QFileInfo::exists(path) && !IsReadableFile(path)) {
        document.showStatus(QStringLiteral("Could not open '") + FilePart(path) + QStringLiteral("'."));
        return;
    }
    if (!ConfirmDiscard(document))
        return;
    NewDocument(document, true);
    const QString headFile = HeadFileFor(path);
    document.replace(ReadTextFile(path), IsReadableFile(headFile) ? ReadTextFile(headFile) : QByteArray(kHeadTemplate),
                     path);
    document.forgetStylesheetChange();
}

SaveResult SaveDocument(Document &document)
{
    QString path = document.path();
    if (path.isEmpty()) {
        startingFolderIfNone(document);
        const QString chosen =
            platform().saveFileName(document.window(), QStringLiteral("Save"), document.lastFolder(), kMarkdownFilter);
        if (chosen.isEmpty())
            return SaveResult::Cancelled;
        path = WithMarkdownExtension(absoluteDocumentPath(chosen));
        document.setLastFolder(FolderPart(path));
        document.setPath(path);
    }

    const QString saving = QStringLiteral("Saving '") + FilePart(path) + QStringLiteral("'... ");
    document.showStatus(saving);
    const Document::Snapshot texts = document.snapshot();
    // The old file stays whole when the write fails, and the document stays unsaved.
    if (!WriteTextFile(texts.markdown, path)) {
        document.showStatus(saving + QStringLiteral("failed."));
        return SaveResult::Failed;
    }

    const QString headFile = HeadFileFor(path);
    const QString headProblem = HeadFileProblem(SaveHeadFile(texts.head, headFile), headFile);
    // Head text that is not on disk keeps the head editor unsaved, so it is asked about
    // before it could be thrown away.
    const bool headUnsaved = !headProblem.isEmpty() && document.headEditor()->SendScintilla(Sci::SCI_GETMODIFY) != 0;
    document.markSaved(!headUnsaved);
    const SaveResult result = headUnsaved ? SaveResult::Failed : SaveResult::Completed;
    // Without a usable converter there is no page to export: saved, but not exported.
    const QString unavailable = ExportUnavailableReason();
    if (!unavailable.isEmpty()) {
        document.showStatus(saving + SaveOutcomeText(headProblem, false, unavailable));
        return result;
    }
    // The page follows in the background; the status tells how it ended, unless something
    // took the status's place meanwhile (an edit, another command).
    document.setSaveInProgress(saving);
    QPointer<Document> owner(&document);
    document.exporter().start({path, document.stylesheet(), app().settingsStore.MarkdownVersion(), texts.head},
                              [owner, saving, headProblem](bool exported) {
                                  if (!owner)
                                      return;
                                  owner->setSaveInProgress(QString());
                                  if (owner->statusText() == saving)
                                      owner->showStatus(saving + SaveOutcomeText(headProblem, exported));
                              });
    return result;
}

void SaveDocumentAs(Document &document)
{
    // The running export writes beside the current name: it ends first.
    if (!WaitForExport(document.exporter(), document.window()))
        return;
    QString start = document.path();
    if (start.isEmpty())
        start = document.lastFolder();
    if (start.isEmpty())
        start = DesktopFolder();
    const QString chosen = platform().saveFileName(document.window(), QStringLiteral("Save"), start, kMarkdownFilter);
    if (chosen.isEmpty())
        return;
    const QString path = WithMarkdownExtension(absoluteDocumentPath(chosen));
    document.setLastFolder(FolderPart(path));
    document.setPath(path);
    SaveDocument(document);
}

bool ConfirmDiscard(Document &document)
{
    // Whatever follows (another document, the end of the program) must not cut the
    // exported page short.
    if (!WaitForExport(document.exporter(), document.window()))
        return false;
    if (!document.isModified())
        return true;
    const MessageAnswer answer =
        platform().messageBox(document.window(), MessageIcon::Warning, QStringLiteral("Quilldown"),
                              QStringLiteral("Save changes before closing?"), MessageButtons::YesNoCancel);
    switch (answer) {
    case MessageAnswer::Yes:
        // A save that did not happen must not let the unsaved text be thrown away.
        return SaveDocument(document) == SaveResult::Completed && WaitForExport(document.exporter(), document.window());
    case MessageAnswer::No:
        DiscardRecoveryCopy();
        return true;
    default:
        return false;
    }
}

void OpenNewWindow(Document &document)
{
    if (!WaitForExport(document.exporter(), document.window()))
        return;
    // The new program reads the settings as this one leaves them.
    SaveAppSettings();
    platform().startDetached(QCoreApplication::applicationFilePath(), {});
}
