#include "app/Commands.h"

#include "core/AppState.h"
#include "app/Document.h"
#include "app/EditCommands.h"
#include "app/IdlePass.h"
#include "app/MainWindow.h"
#include "app/PreviewHost.h"
#include "app/Startup.h"
#include "app/ViewCommands.h"

#include <QAction>

void RunCommand(int id)
{
    MainWindow *w = mainWindow();
    ConversionHost *conversion = ActiveConversionHost();
    if (!w || !conversion)
        return;
    Document &document = *w->document();
    // A command may change what the preview shows or where it stands.
    KeepIdlePassAwake();
    switch (id) {
    case CmdRefresh: RefreshCommand(*conversion); break;
    case CmdNew: NewDocument(document, false); break;
    case CmdNewWindow: OpenNewWindow(document); break;
    case CmdSave: SaveDocument(document); break;
    case CmdSaveAs: SaveDocumentAs(document); break;
    case CmdOpen: OpenDocument(document, QString()); break;
    case CmdLoadCss: LoadStylesheet(document); break;
    case CmdExit: w->close(); break;
    case CmdPreviewInBrowser: PreviewInBrowser(*conversion); break;
    case CmdWordWrap: ToggleWordWrap(document); break;
    case CmdSyncScroll: ToggleSyncScroll(); break;
    case CmdFont: ChooseEditorFont(document); break;
    case CmdAbout: ShowAbout(w); break;
    case CmdFind: FindCommand(document); break;
    case CmdFindNext: FindAgainCommand(document, FindDirection::Forwards); break;
    case CmdFindPrevious: FindAgainCommand(document, FindDirection::Backwards); break;
    case CmdNoBreakSpace: InsertNoBreakSpace(document); break;
    case CmdBold: ToggleMarkup(document, "**", "**"); break;
    case CmdItalic: ToggleMarkup(document, "*", "*"); break;
    case CmdAlignPreview: AlignPreviewPane(); break;
    default:
        if (id >= CmdFirstStylesheet)
            UseStylesheetEntry(document, id - CmdFirstStylesheet);
        break;
    }
    UpdateCommandChecks();
}

void UpdateCommandChecks()
{
    MainWindow *w = mainWindow();
    if (!w)
        return;
    const Settings &s = app().settings;
    if (QAction *item = w->commandAction(CmdWordWrap))
        item->setChecked(s.WordWrap != 0);
    if (QAction *item = w->commandAction(CmdSyncScroll))
        item->setChecked(s.SyncScroll != 0);
}
