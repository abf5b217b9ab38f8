#pragma once
// Keeps editor and preview at the same relative scroll position.

class QsciScintillaBase;

double EditorScrollPercent(QsciScintillaBase *editor);
void SetEditorScrollPercent(QsciScintillaBase *editor, double percent);
double PreviewScrollPercent();
void SetPreviewScrollPercent(double percent);

void SyncEditorToPreview();   // on every update notification of the Markdown editor
void SyncPreviewToEditor();   // on idle passes
void AlignPreview();          // Ctrl+Tab
