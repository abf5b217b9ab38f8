#pragma once
// The document: new, open, save, save as, the question before discarding, a second window.

#include "files/DocumentFiles.h"

#include <QByteArray>
#include <QString>

enum class SaveResult { Cancelled, Failed, Completed };

// The head editor's text for a new document.
inline constexpr const char *kHeadTemplate = "<!--<title>PageTitle</title>-->\n";

void NewDocument(bool skipConfirmation);
void OpenDocument(const QString &path);
SaveResult SaveDocument();
void SaveDocumentAs();
bool ConfirmDiscard();
bool DocumentIsUnsaved();
void OpenNewWindow();

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
// The end of the save status: "done.", "failed.", or what went wrong with the head file.
QString SaveOutcomeText(const QString &headProblem, bool exportFailed);
