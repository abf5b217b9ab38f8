#pragma once
// "Converting..." in the status bar while a preview conversion takes longer than a
// second; the status text comes back once the page is handed to the pane. A save's status
// that waits for its export is never covered.

// How long a conversion runs before the status bar says so.
inline constexpr int kConvertingNoteMs = 1000;
inline constexpr const char *kConvertingText = "Converting...";

// The worker's progress reports, on the main thread.
void ShowConversionProgress(bool running);
