#include "app/EditorWiring.h"

#include "app/Document.h"
#include "app/IdlePass.h"
#include "app/PreviewHost.h"

#include <QString>

EditorHooks WindowEditorHooks()
{
    EditorHooks hooks;
    hooks.activity = [] { KeepIdlePassAwake(); };
    hooks.markdownMoved = [] { SyncPreviewToEditorMove(); };
    return hooks;
}

std::function<void(const QString &)> DroppedFileOpener(Document &document)
{
    return [&document](const QString &path) { OpenDocument(document, path); };
}
