#include "editor/MarkdownStyle.h"

#include "editor/Editor.h"

#include <Qsci/qsciscintillabase.h>

using Sci = QsciScintillaBase;

namespace {

constexpr int kText = Sci::STYLE_DEFAULT;   // 32
constexpr int kHardBreak = 0;

void appendRun(std::vector<StyleRun> &runs, long length, int style)
{
    if (length <= 0)
        return;
    if (!runs.empty() && runs.back().style == style)
        runs.back().length += length;
    else
        runs.push_back({length, style});
}

// Blanks count as a hard break only when there are two or more of them after text;
// otherwise they join the text run.
void settleBlanks(long &textRun, long &blankRun)
{
    if (!(textRun > 0 && blankRun >= 2)) {
        textRun += blankRun;
        blankRun = 0;
    }
}

} // namespace

std::vector<StyleRun> MarkdownStyleRuns(const char *bytes, long count)
{
    std::vector<StyleRun> runs;
    long textRun = 0;
    long blankRun = 0;
    for (long p = 0; p < count; ++p) {
        const unsigned char c = static_cast<unsigned char>(bytes[p]);
        if (c == ' ' || c == '\t') {
            ++blankRun;
        } else if (c == '\r' || c == '\n' || c == 0) {
            settleBlanks(textRun, blankRun);
            appendRun(runs, textRun, kText);
            appendRun(runs, blankRun, kHardBreak);
            appendRun(runs, 1, kText);
            textRun = 0;
            blankRun = 0;
        } else {
            textRun += blankRun + 1;
            blankRun = 0;
        }
    }
    settleBlanks(textRun, blankRun);
    appendRun(runs, textRun, kText);
    appendRun(runs, blankRun, kHardBreak);
    return runs;
}

void StyleMarkdownRange(QsciScintillaBase *editor, long start, long end)
{
    editor->SendScintilla(Sci::SCI_STARTSTYLING, (unsigned long)start, 31L);
    if (end <= start)
        return;
    // One request for the whole range instead of one per byte.
    const QByteArray bytes = GetTextRange(editor, start, end);
    for (const StyleRun &run : MarkdownStyleRuns(bytes.constData(), bytes.size()))
        editor->SendScintilla(Sci::SCI_SETSTYLING, (unsigned long)run.length, (long)run.style);
}
