#include "app/Document.h"

#include "app/AppState.h"
#include "app/MainWindow.h"
#include "conversion/ConversionWorker.h"
#include "conversion/HtmlAdjust.h"
#include "editor/Editor.h"

#include <QFile>
#include <Qsci/qsciscintillabase.h>

void NewDocument(bool skipConfirmation)
{
    if (!skipConfirmation && !ConfirmDiscard())
        return;
    AppState &s = app();
    MainWindow *w = s.window;
    s.changeSuppression = 1;
    SetupEditor(w->markdownEditor());
    SetupEditor(w->headEditor());
    SetEditorText(w->headEditor(), QByteArray(kHeadTemplate));
    w->headEditor()->SendScintilla(QsciScintillaBase::SCI_SETSAVEPOINT);
    w->headEditor()->SendScintilla(QsciScintillaBase::SCI_EMPTYUNDOBUFFER);
    w->setStatusText(QString());
    s.documentPath.set(QString());
    s.freshDocument = 1;
    RestoreDocumentStylesheet();
    RequestConversion();
}

void OpenDocument(const QString &) {}

SaveResult SaveDocument()
{
    return SaveResult::Cancelled;
}

void SaveDocumentAs() {}

bool DocumentIsUnsaved()
{
    return false;
}

bool ConfirmDiscard()
{
    return true;
}

void OpenNewWindow() {}

QByteArray ReadTextFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}
