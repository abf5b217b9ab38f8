// Fuzzes the editor operations on a real editing component with arbitrary bytes:
// hard-break styling, Bold/Italic toggling and find. The first bytes choose the
// operation and positions; the rest is the document.
#include "editor/Find.h"
#include "editor/Formatting.h"
#include "editor/MarkdownStyle.h"

#include <QApplication>
#include <Qsci/qsciscintillabase.h>
#include <cstdint>
#include <cstdlib>

using Sci = QsciScintillaBase;

// Both live until the process ends: destroying them from exit handlers after libFuzzer
// finishes would run Qt's teardown in an undefined order.
static QApplication *application = nullptr;
static QsciScintillaBase *editor = nullptr;

static void check(bool condition)
{
    if (!condition)
        abort();
}

static QByteArray text()
{
    const long length = editor->SendScintilla(Sci::SCI_GETLENGTH);
    QByteArray bytes(length + 1, '\0');
    editor->SendScintilla(Sci::SCI_GETTEXT, (unsigned long)(length + 1), bytes.data());
    bytes.resize(length);
    return bytes;
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    application = new QApplication(*argc, *argv);
    editor = new QsciScintillaBase;
    editor->SendScintilla(Sci::SCI_SETCODEPAGE, Sci::SC_CP_UTF8);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    const int operation = data[0] % 4;
    const QByteArray document(reinterpret_cast<const char *>(data + 4), qsizetype(size - 4));
    editor->SendScintilla(Sci::SCI_CLEARALL);
    editor->SendScintilla(Sci::SCI_APPENDTEXT, (unsigned long)document.size(), document.constData());
    editor->SendScintilla(Sci::SCI_EMPTYUNDOBUFFER);
    const long length = editor->SendScintilla(Sci::SCI_GETLENGTH);
    check(text() == document);
    const long anchor = length ? data[1] % (length + 1) : 0;
    const long caret = length ? data[2] % (length + 1) : 0;
    editor->SendScintilla(Sci::SCI_SETSEL, (unsigned long)anchor, (long)caret);

    switch (operation) {
    case 0: {
        // The styled runs cover every byte exactly once.
        long total = 0;
        for (const StyleRun &run : MarkdownStyleRuns(document.constData(), document.size())) {
            check(run.length > 0 && (run.style == 0 || run.style == 32));
            total += run.length;
        }
        check(total == document.size());
        StyleMarkdownRange(editor, 0, length);
        break;
    }
    case 1:
    case 2: {
        // Toggling twice gives the text back, and one undo undoes one toggle.
        const QByteArray marker = operation == 1 ? QByteArray("**") : QByteArray("*");
        ToggleMarkupIn(editor, marker, marker);
        const QByteArray once = text();
        check(once.size() == document.size() + 2 * marker.size() || once.size() == document.size() - 2 * marker.size());
        editor->SendScintilla(Sci::SCI_UNDO);
        check(text() == document);
        break;
    }
    case 3: {
        // A match is a case-insensitive occurrence of the term, inside the text.
        const int termLength = 1 + data[3] % 4;
        const QByteArray term = document.left(termLength);
        const long found = FindInEditor(editor, term, data[3] & 0x80 ? FindDirection::Backwards : FindDirection::Forwards);
        check(found >= 0 && found <= length);
        if (found > 0)
            check(found - 1 + term.size() <= length);
        break;
    }
    }
    return 0;
}
