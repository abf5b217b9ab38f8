#include "app/ViewCommands.h"

#include "app/BuildInfo.h"
#include "app/MainWindow.h"
#include "conversion/ConversionWorker.h"
#include "core/AppState.h"
#include "platform/Platform.h"
#include "settings/Paths.h"
#include "settings/Stylesheets.h"

#include <QFileInfo>
#include <QUrl>

namespace {

void useStylesheet(const QString &path)
{
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return;
    AppState &s = app();
    s.currentStylesheet.set(path);
    s.stylesheetChanged = 1;
    RequestConversion();
}

// Where the Load CSS dialog starts: the first stylesheet beside the saved document,
// else the folder of the stylesheet in use.
QString loadStylesheetStart()
{
    AppState &s = app();
    QString start;
    const QString document = s.documentPath.get();
    if (!document.isEmpty())
        start = FirstFileMatching(QStringLiteral("*.css"), FolderPart(document));
    if (start.isEmpty())
        start = FolderPart(s.currentStylesheet.get());
    return start;
}

} // namespace

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
    const QString chosen = platform().openFileName(mainWindow(), QStringLiteral("Load CSS"), loadStylesheetStart(),
                                                   QStringLiteral("CSS Files (*.css)"), OpenRule::ExistingFile);
    if (!chosen.isEmpty())
        useStylesheet(chosen);
}

void UseStylesheetEntry(int index)
{
    const QStringList &list = app().stylesheetList;
    if (index >= 0 && index < list.size())
        useStylesheet(StylesheetFolder(app().location) + list.at(index));
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
