#include "app/ViewCommands.h"

#include "app/BuildInfo.h"
#include "app/MainWindow.h"
#include "conversion/ConversionWorker.h"
#include "core/AppState.h"
#include "platform/Platform.h"
#include "settings/Stylesheets.h"

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

void LoadStylesheet()
{
    const QString chosen = platform().openFileName(mainWindow(), QStringLiteral("Load CSS"), LoadStylesheetStart(),
                                                   QStringLiteral("CSS Files (*.css)"), OpenRule::ExistingFile);
    if (!chosen.isEmpty())
        UseStylesheet(chosen);
}

void UseStylesheetEntry(int index)
{
    const QStringList &list = app().stylesheetList;
    if (index >= 0 && index < list.size())
        UseStylesheet(StylesheetFolder() + list.at(index));
}

void ToggleSyncScroll()
{
    Settings &s = app().settings;
    s.SyncScroll = s.SyncScroll == 0 ? 1 : 0;
}

QString AboutText()
{
    return QStringLiteral("Quilldown\nVersion 1.7 (%1)\nThe Quilldown developers\n%2")
        .arg(QString::fromLatin1(BuildDate()), QStringLiteral(QUILLDOWN_HOMEPAGE));
}

void ShowAbout()
{
    platform().messageBox(mainWindow(), MessageIcon::Information, QStringLiteral("Quilldown"), AboutText(),
                          MessageButtons::Ok);
}
