#include "editor/Editor.h"

#include "core/AppState.h"
#include "editor/BidiLines.h"
#include "editor/EditorKeys.h"

#include <QAccessible>
#include <QFontDatabase>
#include <Qsci/qsciscintillabase.h>
#include <cstring>

using Sci = QsciScintillaBase;

namespace {

constexpr long kDefaultStyle = Sci::STYLE_DEFAULT;   // 32
constexpr long kHardBreakStyle = 0;
constexpr long kWhite = 0xFFFFFF;
constexpr long kBlack = 0x000000;
constexpr long kLightCyan = 0xFFFFE0;   // 0xBBGGRR
constexpr int kCtrl = Sci::SCMOD_CTRL;
constexpr int kCtrlShift = Sci::SCMOD_CTRL | Sci::SCMOD_SHIFT;

unsigned long keyDefinition(int key, int modifiers)
{
    return (unsigned long)(key + (modifiers << 16));
}

bool keepsComponentBinding(char letter)
{
    return QByteArrayView("ACDVXYZ").contains(letter);
}

// Removes the component's own Ctrl+letter and Ctrl+Shift+letter bindings, so those keys
// do what the window's shortcuts make them do, or nothing.
void clearLetterKeys(QsciScintillaBase *editor)
{
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        if (!keepsComponentBinding(letter))
            editor->SendScintilla(Sci::SCI_CLEARCMDKEY, keyDefinition(letter, kCtrl));
        editor->SendScintilla(Sci::SCI_CLEARCMDKEY, keyDefinition(letter, kCtrlShift));
    }
}

} // namespace

void SetupEditor(QsciScintillaBase *editor)
{
    editor->SendScintilla(Sci::SCI_SETCODEPAGE, (unsigned long)Sci::SC_CP_UTF8);
    editor->SendScintilla(Sci::SCI_CLEARALL);
    editor->SendScintilla(Sci::SCI_SETMARGINWIDTHN, 1UL, 0L);
    // A few pixels between the pane's edge and the text: the focus frame laid over the
    // edge must never hide the caret at the start of a line.
    editor->SendScintilla(Sci::SCI_SETMARGINLEFT, 0UL, 4L);
    // The component rejects a width below one pixel (a widget not laid out yet).
    editor->SendScintilla(Sci::SCI_SETSCROLLWIDTH, (unsigned long)qMax(1, editor->width() * 3 / 4));
    editor->SendScintilla(Sci::SCI_SETSCROLLWIDTHTRACKING, 1UL);
    editor->SendScintilla(Sci::SCI_SETMODEVENTMASK, ChangeNotificationMask());
    editor->SendScintilla(Sci::SCI_EMPTYUNDOBUFFER);
    editor->SendScintilla(Sci::SCI_SETSAVEPOINT);
    editor->SendScintilla(Sci::SCI_SETTABWIDTH, 2UL);
    editor->SendScintilla(Sci::SCI_SETUSETABS, 0UL);
    editor->SendScintilla(Sci::SCI_USEPOPUP, 1UL);
    editor->SendScintilla(Sci::SCI_SETREPRESENTATION, "\xC2\xA0", "~");
    ApplyEditorStyle(editor);
    clearLetterKeys(editor);
    InstallEditorKeys(editor);
    InstallBidiLines(editor);
    editor->SendScintilla(Sci::SCI_ASSIGNCMDKEY, keyDefinition(Sci::SCK_UP, kCtrlShift),
                          (long)Sci::SCI_MOVESELECTEDLINESUP);
    editor->SendScintilla(Sci::SCI_ASSIGNCMDKEY, keyDefinition(Sci::SCK_DOWN, kCtrlShift),
                          (long)Sci::SCI_MOVESELECTEDLINESDOWN);
    editor->setFrameShape(QFrame::NoFrame);
}

unsigned long ChangeNotificationMask()
{
    // QScintilla answers each insert or delete notification by counting the characters
    // from the start of the text for its accessibility events, so every keystroke would
    // cost time in proportion to the caret's offset (about 20 ms at the end of 5 MB).
    // The before-insert and before-delete notifications bring the same news, one per
    // insertion or deletion, without that cost. While an assistive technology listens,
    // the component keeps its own events.
    if (QAccessible::isActive())
        return Sci::SC_MOD_INSERTTEXT | Sci::SC_MOD_DELETETEXT;
    return Sci::SC_MOD_BEFOREINSERT | Sci::SC_MOD_BEFOREDELETE;
}

void ApplyEditorStyle(QsciScintillaBase *editor)
{
    const Settings &s = app().settingsStore.values();
    const QByteArray face = EditorFontFamily(s.FontName).toUtf8();
    editor->SendScintilla(Sci::SCI_STYLESETFONT, (uintptr_t)kDefaultStyle, face.constData());
    editor->SendScintilla(Sci::SCI_STYLESETSIZE, (unsigned long)kDefaultStyle, (long)s.FontSize);
    editor->SendScintilla(Sci::SCI_STYLESETBACK, (unsigned long)kDefaultStyle, kWhite);
    editor->SendScintilla(Sci::SCI_STYLESETFORE, (unsigned long)kDefaultStyle, kBlack);
    editor->SendScintilla(Sci::SCI_STYLECLEARALL);
    editor->SendScintilla(Sci::SCI_STYLESETBACK, (unsigned long)kHardBreakStyle, kLightCyan);
    editor->SendScintilla(Sci::SCI_SETWRAPMODE, (unsigned long)s.WordWrap);
}

QString EditorFontFamily(const QString &configured)
{
    if (!configured.isEmpty() && QFontDatabase::hasFamily(configured))
        return configured;
    return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
}

QByteArray GetTextRange(QsciScintillaBase *editor, long start, long end)
{
    if (end <= start || start < 0)
        return QByteArray();
    // Outside the text the component would hand back zero bytes instead of failing.
    if (end > editor->SendScintilla(Sci::SCI_GETLENGTH))
        return QByteArray();
    QByteArray bytes(end - start + 1, '\0');
    editor->SendScintilla(Sci::SCI_GETTEXTRANGE, start, end, bytes.data());
    bytes.resize(end - start);
    return bytes;
}

QByteArray EditorText(QsciScintillaBase *editor)
{
    // Copied in the two runs on either side of the component's gap: SCI_GETTEXT reads byte
    // by byte (tens of milliseconds for 5 MB), and one pointer to the whole text would move
    // the gap, which the next keystroke then pays to move back.
    const long length = editor->SendScintilla(Sci::SCI_GETLENGTH);
    const long gap = qBound(0L, editor->SendScintilla(Sci::SCI_GETGAPPOSITION), length);
    QByteArray bytes(length, Qt::Uninitialized);
    const auto copyRun = [&](long start, long size) {
        if (size <= 0)
            return;
        const auto *run = reinterpret_cast<const char *>(
            editor->SendScintilla(Sci::SCI_GETRANGEPOINTER, (unsigned long)start, size));
        std::memcpy(bytes.data() + start, run, size_t(size));
    };
    copyRun(0, gap);
    copyRun(gap, length - gap);
    return bytes;
}

void SetEditorText(QsciScintillaBase *editor, const QByteArray &bytes)
{
    editor->SendScintilla(Sci::SCI_CLEARALL);
    editor->SendScintilla(Sci::SCI_APPENDTEXT, (unsigned long)bytes.size(), bytes.constData());
}
