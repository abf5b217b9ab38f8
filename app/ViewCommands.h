#pragma once
// The HTML, View and Help menus' commands that do not work on the editors. Refresh and
// Preview in Browser work on the converted page files, so they act from the first
// moment, before the preview pane exists.

#include <QString>

void RefreshCommand();       // HTML > Refresh
void PreviewInBrowser();     // HTML > Preview in Browser
void LoadStylesheet();       // HTML > Load CSS...
// HTML > Select CSS: the library's entry `index` (menu command 100 + index).
void UseStylesheetEntry(int index);
void ToggleSyncScroll();     // View > Sync Scroll
void ShowAbout();            // Help > About
QString AboutText();
