#pragma once
// A reproducible Markdown document of about `size` bytes for the benchmarks: headings,
// list items with emphasis, code and links, and paragraphs of ordinary words.

#include <QByteArray>

inline QByteArray GeneratedMarkdown(qsizetype size, unsigned seed = 12345)
{
    static const char *words[] = {"alpha", "quill", "markdown", "preview", "stylesheet", "render", "pandoc",
                                  "editor", "window", "paragraph", "example", "text", "with", "and", "the"};
    QByteArray out;
    int line = 0;
    auto word = [&] {
        seed = seed * 1103515245u + 12345u;
        return QByteArray(words[(seed >> 16) % (sizeof words / sizeof *words)]);
    };
    while (out.size() < size) {
        if (line % 25 == 0)
            out += "## Section " + QByteArray::number(line / 25) + "\n\n";
        else if (line % 7 == 0)
            out += "- item *" + word() + "* with `code` and [a link](http://example.com/" + word() + ")\n\n";
        else {
            for (int i = 0; i < 14; ++i)
                out += (i == 3 ? "**" + word() + "**" : word()) + ' ';
            out += "\n\n";
        }
        ++line;
    }
    out.truncate(size);
    return out;
}
