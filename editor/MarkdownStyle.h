#pragma once
// Container styling of the Markdown editor: a run of two or more spaces or tabs that ends
// a line after other text (a Markdown hard line break) gets style 0, all else style 32.

#include <vector>

class QsciScintillaBase;

struct StyleRun {
    long length = 0;
    int style = 0;
    bool operator==(const StyleRun &) const = default;
};

// The styles of `count` bytes that begin at a line start, as runs (neighbours of the
// same style merged, no empty runs). A CR, LF or NUL byte each ends a line by itself.
std::vector<StyleRun> MarkdownStyleRuns(const char *bytes, long count);
// Styles bytes [start, end) of the editor; start is a line start.
void StyleMarkdownRange(QsciScintillaBase *editor, long start, long end);
