#include "preview/ScrollSync.h"

double EditorScrollPercent(QsciScintillaBase *)
{
    return 0;
}

void SetEditorScrollPercent(QsciScintillaBase *, double) {}

double PreviewScrollPercent()
{
    return 0;
}

void SetPreviewScrollPercent(double) {}

void SyncEditorToPreview() {}

void SyncPreviewToEditor() {}

void AlignPreview() {}
