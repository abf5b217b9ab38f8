#include "app/Commands.h"

#include "core/AppState.h"
#include "app/Document.h"
#include "app/EditCommands.h"
#include "app/IdlePass.h"
#include "app/MainWindow.h"
#include "app/PreviewHost.h"
#include "app/ViewCommands.h"

#include <QAction>

namespace {

QList<Command> buildTable()
{
    const QString file = QStringLiteral("&File");
    const QString edit = QStringLiteral("&Edit");
    const QString html = QStringLiteral("&HTML");
    const QString view = QStringLiteral("&View");
    const QString help = QStringLiteral("He&lp");
    const QString keyOnly;
    using K = QKeySequence;
    const InPreview runOnce = InPreview::RunOnce;
    const InPreview nothing = InPreview::Nothing;
    const InPreview asElsewhere = InPreview::AsElsewhere;

    // The two check marks read the settings here and nowhere else.
    const auto wordWrapOn = [] { return app().settings.WordWrap != 0; };
    const auto syncScrollOn = [] { return app().settings.SyncScroll != 0; };

    return {
        {CmdNew, file, QStringLiteral("&New"), {{K(Qt::CTRL | Qt::Key_N), runOnce}, {K(Qt::CTRL | Qt::Key_W), asElsewhere}},
         {}, [] { NewDocument(false); }},
        {CmdOpen, file, QStringLiteral("&Open..."), {{K(Qt::CTRL | Qt::Key_O), runOnce}}, {},
         [] { OpenDocument(QString()); }},
        {CmdSave, file, QStringLiteral("&Save"), {{K(Qt::CTRL | Qt::Key_S), runOnce}}, {}, [] { SaveDocument(); }},
        {CmdSaveAs, file, QStringLiteral("Save &As..."), {}, {}, [] { SaveDocumentAs(); }},
        {CmdNewWindow, file, QStringLiteral("New &Window..."), {{K(Qt::CTRL | Qt::SHIFT | Qt::Key_N)}}, {},
         [] { OpenNewWindow(); }, true},
        {CmdExit, file, QStringLiteral("E&xit"), {}, {},
         [] {
             if (MainWindow *w = mainWindow())
                 w->close();
         },
         true},

        {CmdBold, edit, QStringLiteral("&Bold"), {{K(Qt::CTRL | Qt::Key_B)}}, {}, [] { ToggleMarkup("**", "**"); }},
        {CmdItalic, edit, QStringLiteral("&Italic"), {{K(Qt::CTRL | Qt::Key_I)}}, {}, [] { ToggleMarkup("*", "*"); }},
        {CmdFind, edit, QStringLiteral("&Find"), {{K(Qt::CTRL | Qt::Key_F)}}, {}, [] { FindCommand(); }, true},
        {CmdFindNext, edit, QStringLiteral("Find &Next"), {{K(Qt::Key_F3)}}, {},
         [] { FindAgainCommand(FindDirection::Forwards); }},
        {CmdFindPrevious, edit, QStringLiteral("Find &Previous"), {{K(Qt::SHIFT | Qt::Key_F3)}}, {},
         [] { FindAgainCommand(FindDirection::Backwards); }},

        {CmdRefresh, html, QStringLiteral("&Refresh"), {{K(Qt::Key_F5)}}, {}, [] { RefreshCommand(); }},
        {CmdPreviewInBrowser, html, QStringLiteral("&Preview in Browser"),
         {{K(Qt::CTRL | Qt::Key_P), nothing}, {K(Qt::CTRL | Qt::Key_E), asElsewhere}}, {}, [] { PreviewInBrowser(); }},
        {CmdFirstStylesheet, html, QStringLiteral("Select &CSS"), {}, {}, {}, true},
        {CmdLoadCss, html, QStringLiteral("&Load CSS..."), {{K(Qt::CTRL | Qt::Key_L), nothing}}, {},
         [] { LoadStylesheet(); }},

        {CmdWordWrap, view, QStringLiteral("&Word Wrap"), {}, wordWrapOn, [] { ToggleWordWrap(); }},
        {CmdSyncScroll, view, QStringLiteral("&Sync Scroll"), {}, syncScrollOn, [] { ToggleSyncScroll(); }},
        {CmdFont, view, QStringLiteral("&Font..."), {}, {}, [] { ChooseEditorFont(); }},

        {CmdAbout, help, QStringLiteral("&About Quilldown"), {{K(Qt::Key_F1)}}, {}, [] { ShowAbout(); }},

        {CmdNoBreakSpace, keyOnly, QString(), {{K(Qt::CTRL | Qt::Key_Space)}}, {}, [] { InsertNoBreakSpace(); }},
        {CmdAlignPreview, keyOnly, QString(), {{K(Qt::CTRL | Qt::Key_Tab)}}, {}, [] { AlignPreviewPane(); }},
        {CmdNextPane, keyOnly, QString(), {{K(Qt::Key_F6)}}, {},
         [] {
             if (MainWindow *w = mainWindow())
                 w->focusNextPane(1);
         }},
        {CmdPreviousPane, keyOnly, QString(), {{K(Qt::SHIFT | Qt::Key_F6)}}, {},
         [] {
             if (MainWindow *w = mainWindow())
                 w->focusNextPane(-1);
         }},
    };
}

} // namespace

const QList<Command> &CommandTable()
{
    // Built once: the table is constant for the life of the process.
    static const QList<Command> table = buildTable();
    return table;
}

const Command *CommandById(int id)
{
    for (const Command &command : CommandTable())
        if (command.id == id)
            return &command;
    return nullptr;
}

void RunCommand(int id)
{
    // A command may change what the preview shows or where it stands.
    KeepIdlePassAwake();
    if (id >= CmdFirstStylesheet)
        UseStylesheetEntry(id - CmdFirstStylesheet);
    else if (const Command *command = CommandById(id); command && command->run)
        command->run();
    UpdateCommandChecks();
}

void UpdateCommandChecks()
{
    MainWindow *w = mainWindow();
    if (!w)
        return;
    for (const Command &command : CommandTable()) {
        if (!command.checked)
            continue;
        if (QAction *item = w->commandAction(command.id))
            item->setChecked(command.checked());
    }
}

PreviewKeyOutcome PreviewKeyUse(const QKeySequence &key)
{
    for (const Command &command : CommandTable())
        for (const CommandKey &bound : command.keys)
            if (bound.key == key)
                return {bound.inPreview, command.id};
    return {};
}
