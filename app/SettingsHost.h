#pragma once
// The process-wide settings: where they live, the record read at start-up and written at
// the end, and the stylesheet library listed in the menu.

// Decides the settings location for the executable's folder (first thing at start-up).
void InitSettingsLocation();
// Reads the settings file into the process-wide record.
void LoadAppSettings();
// Writes the process-wide record to the settings file.
bool SaveAppSettings();
// Prepares the stylesheet library and keeps its list for the menu; false when the
// default stylesheet is missing.
bool PrepareStylesheetLibrary();
