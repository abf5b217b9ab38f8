#pragma once
// Plain, case-insensitive search in an editor.

#include <QByteArray>

class QsciScintillaBase;

enum class FindDirection { Forwards, Backwards };

// 0 when nothing was found, else the match's start + 1. Selects the match and scrolls it
// into view, unless it is the only match and already selected. The term is UTF-8 bytes.
long FindInEditor(QsciScintillaBase *editor, const QByteArray &term, FindDirection direction);
