#pragma once
// Updating a shown preview page in place: when a new page differs from the shown one
// only inside its body, the top-level blocks that changed are replaced in the page by a
// script instead of loading the page anew, which keeps the reader's offset and costs a
// fraction of a reload. Plain functions, no widget.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// A converted page cut where its body's content begins and ends.
struct PageCut {
    bool ok = false;      // false: the page cannot be patched soundly (it is reloaded)
    QByteArray html;      // the whole page as written
    // Everything before the body's content (head, title, stylesheet links, the body's
    // start tag) with the per-run script nonce masked, and everything after it.
    QByteArray head;
    QByteArray tail;
    // The body's top-level nodes as written: each element with its content, each
    // comment, each run of text between them. Offsets into `html`.
    QList<QPair<qsizetype, qsizetype>> blocks;
    // The node name the page's DOM gives each block ("P", "#text", "#comment").
    QList<QByteArray> names;
    // The head holds a script or an event handler of its own: such a page may act on
    // its body, and only a full load gives it the chance.
    bool headRunsScripts = false;
    // The head's content policy lets only scripts with the page's nonce run, so no script
    // written in the body runs on a full load either.
    bool bodyScriptsBlocked = false;

    QByteArrayView block(qsizetype i) const
    {
        return QByteArrayView(html).sliced(blocks.at(i).first, blocks.at(i).second);
    }
};

// Cuts `html`. The body must be a sequence of balanced top-level elements, comments and
// text; anything the browser's parser would rearrange (an unclosed or stray tag, a
// second body, raw text that never ends) leaves the cut not ok.
PageCut CutPage(const QByteArray &html);

// What turns the shown page into the next one: old blocks [first, first + removed)
// are replaced by the next page's blocks [first, first + added).
struct BlockPatch {
    bool ok = false;      // false: the pages differ elsewhere, or a cut was not ok
    qsizetype first = 0;
    qsizetype removed = 0;
    qsizetype added = 0;
    qsizetype oldCount = 0;
    QByteArray html;      // the added blocks' text
    // Old blocks the page must show by these names: the range and its neighbours.
    QList<qsizetype> checkAt;
    QList<QByteArray> checkNames;
    QList<QByteArray> addedNames;      // the names the added blocks must parse into
};

// The patch from `shown` to `next`: same head and tail, blocks between the common
// beginning and the common end replaced.
BlockPatch PlanPatch(const PageCut &shown, const PageCut &next);

// The script, for our own isolated world, that applies `patch` to the page and keeps the
// reader's offset. It checks first that the page's body has the nodes the shown page's
// cut says, and that the added text parses into exactly the blocks expected; it changes
// nothing and returns false otherwise, true once applied.
QString PatchScript(const BlockPatch &patch);
