#pragma once
// The HTML, View and Help menus' commands that do not work on the editors. Refresh and
// Preview in Browser work on the converted page files, so they act from the first
// moment, before the preview pane exists.

#include <QString>

class ConversionHost;
class Document;
class QWidget;

void RefreshCommand(ConversionHost &conversion);    // HTML > Refresh
void PreviewInBrowser(ConversionHost &conversion);  // HTML > Preview in Browser
void LoadStylesheet(Document &document);            // HTML > Load CSS...
// HTML > Select CSS: the library's entry `index` (menu command 100 + index).
void UseStylesheetEntry(Document &document, int index);
void ToggleSyncScroll();     // View > Sync Scroll
void ShowAbout(QWidget *window);                     // Help > About
QString AboutText();
