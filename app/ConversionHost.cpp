#include "app/ConversionHost.h"

#include "app/ConversionStatus.h"
#include "app/IdlePass.h"
#include "app/MainWindow.h"
#include "app/PreviewHost.h"
#include "editor/Editor.h"
#include "platform/Platform.h"

ConversionHooks WindowConversionHooks()
{
    ConversionHooks hooks;
    hooks.readMarkdown = [] {
        MainWindow *w = mainWindow();
        return w ? EditorText(w->markdownEditor()) : QByteArray();
    };
    hooks.readHead = [] {
        MainWindow *w = mainWindow();
        return w ? EditorText(w->headEditor()) : QByteArray();
    };
    hooks.pageReady = [] {
        // The main loop may be resting: it has a page to show now.
        KeepIdlePassAwake();
        RefreshPreviewPane();
    };
    hooks.showError = [](const QString &message) {
        platform().messageBox(mainWindow(), MessageIcon::Error, QStringLiteral("Quilldown"), message,
                              MessageButtons::Ok);
    };
    hooks.progress = ShowConversionProgress;
    return hooks;
}

bool StartConversion()
{
    return InitConversion(WindowConversionHooks());
}
