#pragma once
// The document: its owner (the two editors' texts, its path, its stylesheet, whether it
// is unsaved) and the commands on it: new, open, save, save as, the question before
// discarding, a second window. The commands show dialogs and questions; the Document
// does none.

#include "conversion/PageExport.h"
#include "files/DocumentFiles.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class QsciScintillaBase;
class QWidget;

class Document : public QObject {
    Q_OBJECT
public:
    // Over two editors that outlive it; `window` is the parent of the commands' dialogs.
    Document(QsciScintillaBase *markdown, QsciScintillaBase *head, QWidget *window = nullptr);

    QsciScintillaBase *markdownEditor() const { return markdown_; }
    QsciScintillaBase *headEditor() const { return head_; }
    QWidget *window() const { return window_; }

    // The document's file, absolute; "" while it was never saved.
    QString path() const { return path_; }
    void setPath(const QString &path);
    // The stylesheet in use, and whether it was chosen since the last Open or Save.
    QString stylesheet() const { return stylesheet_; }
    bool stylesheetChanged() const { return stylesheetChanged_; }
    // A stylesheet chosen by the user: unsaved until the next Save.
    void chooseStylesheet(const QString &path);
    // The stylesheet the document's page was last exported with, or the library's default.
    void restoreStylesheet();
    // The folder file dialogs start in, ending in "/"; kept in the settings as LastPath.
    QString lastFolder() const;
    void setLastFolder(const QString &folder);

    // Unsaved: the text of either editor, or the stylesheet choice. The one definition.
    bool isModified() const;
    // Either editor's text alone: what a recovery copy holds.
    bool textModified() const;

    struct Snapshot {
        QByteArray markdown;
        QByteArray head;
    };
    Snapshot snapshot() const;

    // Puts new texts in both editors (New, Open) with an empty history, saved as they
    // are; no edit is reported, `replaced` is.
    void replace(const QByteArray &markdown, const QByteArray &head, const QString &path);
    // Texts were restored by undoable edits: treated as a new document's.
    void announceReplaced() { emit replaced(); }
    // The save point: the Markdown text (and the head text, unless it did not reach its
    // file) are saved, and so is the stylesheet choice.
    void markSaved(bool headSaved = true);
    // Open: the stylesheet read back from the page is the saved one.
    void forgetStylesheetChange();

    // Save's export of the page, running in the background.
    PageExporter &exporter() { return exporter_; }

    // A command's outcome for the status bar.
    void showStatus(const QString &text);
    // What the document's status says now: the last text shown, "" after an edit.
    QString statusText() const { return status_; }
    // A save's status while its page is still being exported: `text` is what it shows
    // meanwhile, "" once the export ended.
    void setSaveInProgress(const QString &text) { saveInProgress_ = text; }
    // Whether the status shows a save whose export has not ended; nothing may cover it.
    bool saveStatusShowing() const { return !saveInProgress_.isEmpty() && status_ == saveInProgress_; }

signals:
    void pathChanged(const QString &path);
    void modifiedChanged(bool modified);
    void stylesheetChosen(const QString &path);
    // The text of either editor changed by an edit (not by replace()).
    void edited();
    // New texts took the place of the old (New, Open, a restored copy).
    void replaced();
    void saved();
    void status(const QString &text);

private:
    void updateModified();

    QsciScintillaBase *markdown_;
    QsciScintillaBase *head_;
    QWidget *window_;
    QString path_;
    QString stylesheet_;
    bool stylesheetChanged_ = false;
    QString lastFolder_;
    bool replacing_ = false;
    bool modified_ = false;
    QString status_;
    QString saveInProgress_;
    PageExporter exporter_;
};

enum class SaveResult { Cancelled, Failed, Completed };

// The head editor's text for a new document.
inline constexpr const char *kHeadTemplate = "<!--<title>PageTitle</title>-->\n";

void NewDocument(Document &document, bool skipConfirmation);
// Opens `path`, or asks for one when it is "".
void OpenDocument(Document &document, const QString &path);
SaveResult SaveDocument(Document &document);
void SaveDocumentAs(Document &document);
// Waits for the export, then asks before unsaved text is thrown away; true when it may be.
bool ConfirmDiscard(Document &document);
void OpenNewWindow(Document &document);

// The user's desktop folder, ending in "/": where the file dialogs start at first.
QString DesktopFolder();
// A name chosen in the save dialog: ".md" is added when it has no extension.
QString WithMarkdownExtension(const QString &name);
// Whether a head text must be written beside the document.
bool HeadFileNeeded(const QByteArray &headText, bool headFileExists);

enum class HeadFileOutcome { NotNeeded, Written, NotAFile, Unreadable, WriteFailed };
// Writes the head text to the head file when it is needed, but never over something it
// could not have been read from: a folder, a pipe or device, or a file it may not read.
HeadFileOutcome SaveHeadFile(const QByteArray &headText, const QString &headFile);
// What went wrong with the head file, for the status bar; "" when nothing did.
QString HeadFileProblem(HeadFileOutcome outcome, const QString &headFile);
// Why no page can be exported now, for the status bar; "" when a converter is ready.
QString ExportUnavailableReason();
// The end of the status of a save whose document was written: "done." when the head file
// and the page were written too, else what was saved and what was not, with why the page
// was not exported when that is known. (A document that was not written ends "failed.".)
QString SaveOutcomeText(const QString &headProblem, bool exported, const QString &exportReason = QString());
