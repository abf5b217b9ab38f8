#include "preview/PreviewCommands.h"

#include "core/AppState.h"
#include "conversion/ConversionWorker.h"
#include "platform/Platform.h"

#include <QFileInfo>
#include <QUrl>

void RefreshCommand()
{
    if (!app().changeSuppression.load())
        RequestConversion();
}

void PreviewInBrowser()
{
    AppState &s = app();
    if (s.changePending.load()) {
        s.openInBrowser = 1;
        s.lastChangeTime = -10000;
        return;
    }
    if (s.converterState.load() == ConverterConverting) {
        s.openInBrowser = 1;
        return;
    }
    const QString last = s.lastPreviewFile.get();
    if (!last.isEmpty() && QFileInfo(last).isFile())
        platform().openUrl(QUrl::fromLocalFile(last));
}
