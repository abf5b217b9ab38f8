#include "editor/EditorKeys.h"

#include "editor/Graphemes.h"

#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <Qsci/qsciscintillabase.h>

using Sci = QsciScintillaBase;

namespace {

constexpr char kFilterName[] = "quilldown-editor-keys";

long send(QsciScintillaBase *editor, unsigned int message, unsigned long wParam = 0, long lParam = 0)
{
    return editor->SendScintilla(message, wParam, lParam);
}

bool hasSelection(QsciScintillaBase *editor)
{
    return send(editor, Sci::SCI_GETSELECTIONEMPTY) == 0;
}

void placeCaret(QsciScintillaBase *editor, long position, bool extend)
{
    if (extend)
        send(editor, Sci::SCI_SETCURRENTPOS, (unsigned long)position);
    else
        send(editor, Sci::SCI_SETEMPTYSELECTION, (unsigned long)position);
    send(editor, Sci::SCI_CHOOSECARETX);
    send(editor, Sci::SCI_SCROLLCARET);
}

class EditorKeyFilter : public QObject {
public:
    explicit EditorKeyFilter(QsciScintillaBase *editor) : QObject(editor), editor_(editor)
    {
        setObjectName(QLatin1String(kFilterName));
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != editor_)
            return false;
        if (event->type() == QEvent::KeyPress)
            return keyPress(static_cast<QKeyEvent *>(event));
        if (event->type() == QEvent::InputMethod && !static_cast<QInputMethodEvent *>(event)->commitString().isEmpty())
            leaveCluster();
        return false;
    }

private:
    bool keyPress(QKeyEvent *event)
    {
        if (IsCtrlChordText(event->modifiers(), event->text()))
            return passWithoutText(event);
        const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
        const bool plain = modifiers == Qt::NoModifier;
        const bool shifted = modifiers == Qt::ShiftModifier;
        switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right:
            return (plain || shifted) && step(event->key() == Qt::Key_Right, shifted);
        case Qt::Key_Backspace:
        case Qt::Key_Delete:
            return plain && erase(event->key() == Qt::Key_Delete);
        default:
            if (!event->text().isEmpty() && event->text().at(0).isPrint())
                leaveCluster();
            return false;
        }
    }

    // The key goes on to the component as the same key with no text: its bindings act,
    // nothing is typed.
    bool passWithoutText(QKeyEvent *event)
    {
        QKeyEvent bare(event->type(), event->key(), event->modifiers(), event->nativeScanCode(),
                       event->nativeVirtualKey(), event->nativeModifiers(), QString(), event->isAutoRepeat(),
                       event->count());
        QCoreApplication::sendEvent(editor_, &bare);
        event->accept();
        return true;
    }

    // Where one step from the caret lands when it differs from the component's own step,
    // which stops inside a grapheme; -1 when the two agree.
    long graphemeStep(bool forward) const
    {
        const long caret = send(editor_, Sci::SCI_GETCURRENTPOS);
        const long byCodePoint = send(editor_, forward ? Sci::SCI_POSITIONAFTER : Sci::SCI_POSITIONBEFORE,
                                      (unsigned long)caret);
        const long byGrapheme = forward ? NextGraphemePosition(editor_, caret) : PreviousGraphemePosition(editor_, caret);
        return byGrapheme == byCodePoint ? -1 : byGrapheme;
    }

    // Left or Right over a whole grapheme where the component would stop inside one.
    bool step(bool forward, bool extend)
    {
        if (hasSelection(editor_) && !extend)
            return false;   // the component collapses the selection
        const long to = graphemeStep(forward);
        if (to < 0)
            return false;
        placeCaret(editor_, to, extend);
        return true;
    }

    // Backspace or Delete of a whole grapheme.
    bool erase(bool forward)
    {
        if (hasSelection(editor_) || send(editor_, Sci::SCI_GETREADONLY))
            return false;
        const long caret = send(editor_, Sci::SCI_GETCURRENTPOS);
        const long to = graphemeStep(forward);
        if (to < 0)
            return false;
        const long start = qMin(caret, to);
        send(editor_, Sci::SCI_DELETERANGE, (unsigned long)start, qAbs(to - caret));
        placeCaret(editor_, start, false);
        return true;
    }

    // Typed text goes after the grapheme the caret stands in, never inside it.
    void leaveCluster()
    {
        if (hasSelection(editor_))
            return;
        const long caret = send(editor_, Sci::SCI_GETCURRENTPOS);
        if (!IsGraphemePosition(editor_, caret))
            placeCaret(editor_, NextGraphemePosition(editor_, caret), false);
    }

    QsciScintillaBase *editor_;
};

} // namespace

bool IsCtrlChordText(Qt::KeyboardModifiers modifiers, const QString &text)
{
    return (modifiers & Qt::ControlModifier) && !(modifiers & Qt::AltModifier) && !text.isEmpty();
}

void InstallEditorKeys(QsciScintillaBase *editor)
{
    if (editor->findChild<EditorKeyFilter *>(QLatin1String(kFilterName), Qt::FindDirectChildrenOnly))
        return;
    editor->installEventFilter(new EditorKeyFilter(editor));
}
