#pragma once
// The command table: every menu item and shortcut runs a command id through RunCommand.

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
    CmdFirstStylesheet = 100,
};

void RunCommand(int id);
// The menu's check marks as the settings stand (Word Wrap, Sync Scroll).
void UpdateCommandChecks();
