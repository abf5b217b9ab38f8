#include "conversion/HtmlAdjust.h"

#include "app/AppState.h"
#include "settings/Stylesheets.h"

QString PageTitleFromHead(const QByteArray &)
{
    return QString();
}

bool ExportHtml()
{
    return false;
}

void RestoreDocumentStylesheet()
{
    app().currentStylesheet.set(DefaultStylesheetPath());
}
