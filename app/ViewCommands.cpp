#include "app/ViewCommands.h"

#include "app/BuildInfo.h"
#include "app/ConversionHost.h"
#include "app/Document.h"
#include "core/AppState.h"
#include "platform/Platform.h"
#include "settings/Paths.h"
#include "settings/Stylesheets.h"

#include <QFileInfo>

namespace {

void useStylesheet(Document &document, const QString &path)
{
    if (!path.isEmpty() && QFileInfo(path).isFile())
        document.chooseStylesheet(path);
}

// Where the Load CSS dialog starts: the first stylesheet beside the saved document,
// else the folder of the stylesheet in use.
QString loadStylesheetStart(const Document &document)
{
    QString start;
    if (!document.path().isEmpty())
        start = FirstFileMatching(QStringLiteral("*.css"), FolderPart(document.path()));
    if (start.isEmpty())
        start = FolderPart(document.stylesheet());
    return start;
}

} // namespace

void RefreshCommand(ConversionHost &conversion)
{
    conversion.refresh();
}

void PreviewInBrowser(ConversionHost &conversion)
{
    conversion.previewInBrowser();
}

void LoadStylesheet(Document &document)
{
    const QString chosen =
        platform().openFileName(document.window(), QStringLiteral("Load CSS"), loadStylesheetStart(document),
                                QStringLiteral("CSS Files (*.css)"), OpenRule::ExistingFile);
    if (!chosen.isEmpty())
        useStylesheet(document, chosen);
}

void UseStylesheetEntry(Document &document, int index)
{
    const QStringList &list = app().stylesheetList;
    if (index >= 0 && index < list.size())
        useStylesheet(document, StylesheetFolder(app().location) + list.at(index));
}

void ToggleSyncScroll()
{
    SettingsStore &s = app().settingsStore;
    s.setSyncScroll(s.SyncScroll() == 0 ? 1 : 0);
}

QString AboutText()
{
    return QStringLiteral("Quilldown\nVersion %1 (%2)\nThe Quilldown developers\n%3")
        .arg(QLatin1String(kQuilldownVersion), QLatin1String(BuildDate()), QStringLiteral(QUILLDOWN_HOMEPAGE));
}

void ShowAbout(QWidget *window)
{
    platform().messageBox(window, MessageIcon::Information, QStringLiteral("Quilldown"), AboutText(),
                          MessageButtons::Ok);
}
