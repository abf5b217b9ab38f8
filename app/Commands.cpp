#include "app/Commands.h"

#include "core/AppState.h"
#include "app/Document.h"
#include "app/EditCommands.h"
#include "app/IdlePass.h"
#include "app/MainWindow.h"
#include "app/PreviewHost.h"
#include "app/ViewCommands.h"

#include <QAction>

void RunCommand(int id)
{
    // A command may change what the preview shows or where it stands.
    KeepIdlePassAwake();
    switch (id) {
    case CmdRefresh: RefreshCommand(); break;
    case CmdNew: NewDocument(false); break;
    case CmdNewWindow: OpenNewWindow(); break;
    case CmdSave: SaveDocument(); break;
    case CmdSaveAs: SaveDocumentAs(); break;
    case CmdOpen: OpenDocument(QString()); break;
    case CmdLoadCss: LoadStylesheet(); break;
    case CmdExit:
        if (mainWindow())
            mainWindow()->close();
        break;
    case CmdPreviewInBrowser: PreviewInBrowser(); break;
    case CmdWordWrap: ToggleWordWrap(); break;
    case CmdSyncScroll: ToggleSyncScroll(); break;
    case CmdFont: ChooseEditorFont(); break;
    case CmdAbout: ShowAbout(); break;
    case CmdFind: FindCommand(); break;
    case CmdFindNext: FindAgainCommand(FindDirection::Forwards); break;
    case CmdFindPrevious: FindAgainCommand(FindDirection::Backwards); break;
    case CmdNoBreakSpace: InsertNoBreakSpace(); break;
    case CmdBold: ToggleMarkup("**", "**"); break;
    case CmdItalic: ToggleMarkup("*", "*"); break;
    case CmdAlignPreview: AlignPreviewPane(); break;
    default:
        if (id >= CmdFirstStylesheet)
            UseStylesheetEntry(id - CmdFirstStylesheet);
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
