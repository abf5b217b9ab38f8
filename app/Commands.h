#pragma once
// The command table: every menu item and every key of the window is one entry here, and
// the menus, the window's shortcuts and the keys the preview handles are built from it.

#include <QKeySequence>
#include <QList>
#include <QString>
#include <functional>

enum CommandId : int {
    CmdRefresh = 0,
    CmdNew = 1,
    CmdNewWindow = 2,
    CmdSave = 3,
    CmdSaveAs = 4,
    CmdOpen = 5,
    CmdLoadCss = 7,
    CmdExit = 8,
    CmdPreviewInBrowser = 9,
    CmdWordWrap = 10,
    CmdSyncScroll = 11,
    CmdFont = 12,
    CmdAbout = 13,
    CmdFind = 14,
    CmdFindNext = 15,
    CmdFindPrevious = 16,
    CmdNoBreakSpace = 17,
    CmdBold = 20,
    CmdItalic = 21,
    CmdAlignPreview = 22,
    CmdNextPane = 23,
    CmdPreviousPane = 24,
    // The stylesheets of the Select CSS submenu are 100, 101, ... in the order listed.
    CmdFirstStylesheet = 100,
};

// What a key does while the preview has the keyboard focus. The web view would take some
// keys for itself, so those are handled before it sees them.
enum class InPreview {
    AsElsewhere,   // the window's shortcut, as in the editors
    RunOnce,       // the command, once per press (an auto-repeat does nothing)
    Nothing,       // the key does nothing there
};

struct CommandKey {
    QKeySequence key;
    InPreview inPreview = InPreview::AsElsewhere;
};

class ConversionHost;
class Document;
class MainWindow;

// What a command works on.
struct CommandTarget {
    MainWindow &window;
    Document &document;
    ConversionHost &conversion;
};

struct Command {
    int id = -1;
    QString menu;              // the menu's title; empty for a command that is a key only
    QString text;              // the item's text with its mnemonic, without the key
    QList<CommandKey> keys;    // the first one is the one the menu shows
    // A checkable item's state, read whenever a command has run; null otherwise.
    std::function<bool()> checked;
    std::function<void(const CommandTarget &)> run;
    bool separatorBefore = false;
};

// The table in menu order. The entry CmdFirstStylesheet stands for the Select CSS
// submenu, filled from the stylesheet library when the menus are built.
const QList<Command> &CommandTable();
const Command *CommandById(int id);

// Runs a command by id (stylesheet entries included), then updates the check marks.
void RunCommand(int id);
// The menu's check marks as the state stands (Word Wrap, Sync Scroll).
void UpdateCommandChecks();

// What the preview's key handling does with one key: pass it on, or take it and run
// `command` (RunOnce) or nothing.
struct PreviewKeyOutcome {
    InPreview use = InPreview::AsElsewhere;
    int command = -1;
};
// Looks up `key` (a key with its modifiers) among the table's keys.
PreviewKeyOutcome PreviewKeyUse(const QKeySequence &key);
