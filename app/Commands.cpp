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
    const auto wordWrapOn = [] { return app().settingsStore.WordWrap() != 0; };
    const auto syncScrollOn = [] { return app().settingsStore.SyncScroll() != 0; };

    return {
        {CmdNew, file, QStringLiteral("&New"), {{K(Qt::CTRL | Qt::Key_N), runOnce}, {K(Qt::CTRL | Qt::Key_W), asElsewhere}},
         {}, [](const CommandTarget &t) { NewDocument(t.document, false); }},
        {CmdOpen, file, QStringLiteral("&Open..."), {{K(Qt::CTRL | Qt::Key_O), runOnce}}, {},
         [](const CommandTarget &t) { OpenDocument(t.document, QString()); }},
        {CmdSave, file, QStringLiteral("&Save"), {{K(Qt::CTRL | Qt::Key_S), runOnce}}, {}, [](const CommandTarget &t) { SaveDocument(t.document); }},
        {CmdSaveAs, file, QStringLiteral("Save &As..."), {}, {}, [](const CommandTarget &t) { SaveDocumentAs(t.document); }},
        {CmdNewWindow, file, QStringLiteral("New &Window..."), {{K(Qt::CTRL | Qt::SHIFT | Qt::Key_N)}}, {},
         [](const CommandTarget &t) { OpenNewWindow(t.document); }, true},
        {CmdExit, file, QStringLiteral("E&xit"), {}, {},
         [](const CommandTarget &t) { t.window.close(); },
         true},

        {CmdBold, edit, QStringLiteral("&Bold"), {{K(Qt::CTRL | Qt::Key_B)}}, {}, [](const CommandTarget &t) { ToggleMarkup(t.document, "**", "**"); }},
        {CmdItalic, edit, QStringLiteral("&Italic"), {{K(Qt::CTRL | Qt::Key_I)}}, {}, [](const CommandTarget &t) { ToggleMarkup(t.document, "*", "*"); }},
        {CmdFind, edit, QStringLiteral("&Find"), {{K(Qt::CTRL | Qt::Key_F)}}, {}, [](const CommandTarget &t) { FindCommand(t.document); }, true},
        {CmdFindNext, edit, QStringLiteral("Find &Next"), {{K(Qt::Key_F3)}}, {},
         [](const CommandTarget &t) { FindAgainCommand(t.document, FindDirection::Forwards); }},
        {CmdFindPrevious, edit, QStringLiteral("Find &Previous"), {{K(Qt::SHIFT | Qt::Key_F3)}}, {},
         [](const CommandTarget &t) { FindAgainCommand(t.document, FindDirection::Backwards); }},

        {CmdRefresh, html, QStringLiteral("&Refresh"), {{K(Qt::Key_F5)}}, {}, [](const CommandTarget &t) { RefreshCommand(t.conversion); }},
        {CmdPreviewInBrowser, html, QStringLiteral("&Preview in Browser"),
         {{K(Qt::CTRL | Qt::Key_P), nothing}, {K(Qt::CTRL | Qt::Key_E), asElsewhere}}, {}, [](const CommandTarget &t) { PreviewInBrowser(t.conversion); }},
        {CmdFirstStylesheet, html, QStringLiteral("Select &CSS"), {}, {}, {}, true},
        {CmdLoadCss, html, QStringLiteral("&Load CSS..."), {{K(Qt::CTRL | Qt::Key_L), nothing}}, {},
         [](const CommandTarget &t) { LoadStylesheet(t.document); }},

        {CmdWordWrap, view, QStringLiteral("&Word Wrap"), {}, wordWrapOn, [](const CommandTarget &t) { ToggleWordWrap(t.document); }},
        {CmdSyncScroll, view, QStringLiteral("&Sync Scroll"), {}, syncScrollOn, [](const CommandTarget &) { ToggleSyncScroll(); }},
        {CmdFont, view, QStringLiteral("&Font..."), {}, {}, [](const CommandTarget &t) { ChooseEditorFont(t.document); }},

        {CmdAbout, help, QStringLiteral("&About Quilldown"), {{K(Qt::Key_F1)}}, {}, [](const CommandTarget &t) { ShowAbout(&t.window); }},

        {CmdNoBreakSpace, keyOnly, QString(), {{K(Qt::CTRL | Qt::Key_Space)}}, {}, [](const CommandTarget &t) { InsertNoBreakSpace(t.document); }},
        {CmdAlignPreview, keyOnly, QString(), {{K(Qt::CTRL | Qt::Key_Tab)}}, {}, [](const CommandTarget &) { AlignPreviewPane(); }},
        {CmdNextPane, keyOnly, QString(), {{K(Qt::Key_F6)}}, {},
         [](const CommandTarget &t) { t.window.focusNextPane(1); }},
        {CmdPreviousPane, keyOnly, QString(), {{K(Qt::SHIFT | Qt::Key_F6)}}, {},
         [](const CommandTarget &t) { t.window.focusNextPane(-1); }},
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
    MainWindow *w = mainWindow();
    ConversionHost *conversion = ActiveConversionHost();
    if (!w || !conversion)
        return;
    Document &document = *w->document();
    // A command may change what the preview shows or where it stands.
    KeepIdlePassAwake();
    const CommandTarget target{*w, document, *conversion};
    if (id >= CmdFirstStylesheet)
        UseStylesheetEntry(document, id - CmdFirstStylesheet);
    else if (const Command *command = CommandById(id); command && command->run)
        command->run(target);
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
