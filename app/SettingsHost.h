#pragma once
// The process-wide settings: where they live, the store read at start-up and written at
// the end, and the stylesheet library listed in the menu.

// Decides the settings location for the executable's folder (first thing at start-up).
void InitSettingsLocation();
// Reads the settings file into the process-wide store (app().settingsStore).
void LoadAppSettings();
// Writes the process-wide store to the settings file.
bool SaveAppSettings();
// Shows, once, what loading the settings file had to replace (a MarkdownVersion that is no
// Pandoc format, say) in the status bar, unless the status bar already says something.
void ShowSettingsNotes();
// Prepares the stylesheet library and keeps its list for the menu; false when the
// default stylesheet is missing.
bool PrepareStylesheetLibrary();
