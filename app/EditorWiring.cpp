#include "app/EditorWiring.h"

#include "app/Document.h"
#include "app/IdlePass.h"
#include "app/MainWindow.h"
#include "app/PreviewHost.h"

#include <QString>

EditorHooks WindowEditorHooks()
{
    EditorHooks hooks;
    hooks.activity = [] { KeepIdlePassAwake(); };
    // The window is not registered yet while it sets its editors up; those edits clear nothing.
    hooks.edited = [] {
        if (mainWindow())
            mainWindow()->setStatusText(QString());
    };
    hooks.markdownMoved = [] { SyncPreviewToEditorMove(); };
    return hooks;
}

void OpenDroppedFile(const QString &path)
{
    OpenDocument(path);
}
