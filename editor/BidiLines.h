#pragma once
// Lines that begin with right-to-left text (Arabic, Hebrew, ...), laid out and drawn by Qt
// on top of the component.
//
// The component (QScintilla 2.13) measures each run of a line with a QTextLayout whose
// direction follows the run's first strong character. A run that begins right-to-left is
// laid out right-to-left, so its last character ends at x = 0: the component reads the run
// as zero pixels wide and never draws it, and its caret positions inside the run run
// backwards. Nothing in the component's interface changes that (it has no bidirectional
// mode on this platform, and its text measurement is not reachable from outside), so such
// lines are drawn here: the line's own right-to-left QTextLayout aligned right, its
// selection and caret, and clicks on it placed through the same layout. Keys still move
// the caret in the text's logical order; such a line does not wrap but slides to keep the
// caret in sight. Lines that begin left-to-right are measured left-to-right and stay the
// component's.

class QsciScintillaBase;

// Draws the editor's right-to-left lines from now on; installing again changes nothing.
void InstallBidiLines(QsciScintillaBase *editor);
