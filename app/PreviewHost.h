#pragma once
// The preview pane lives in a module of its own, loaded once the window is on the
// screen: the web engine behind it costs more start-up time than everything else
// together (its libraries, its OpenGL set-up, its first view). The rest of the program
// reaches the pane only through these calls, which do nothing until it exists.

class QString;

// What the module offers; it registers this table when it is loaded.
struct PreviewModule {
    void (*createPane)();             // makes the pane and hands it to the main window
    void (*refresh)();                // the idle pass's preview work
    bool (*busy)();                   // a page is loading, a restore or a script is pending
    void (*showBlankPage)();
    void (*alignPreview)();           // Ctrl+Tab
    void (*syncEditorToPreview)();    // the editor moved
};

void RegisterPreviewModule(const PreviewModule *module);
// The registered module, or nullptr.
const PreviewModule *LoadedPreviewModule();
// Loads the module from beside the program (or its installed library folder) unless
// it is registered already; false with a reason when it cannot be loaded.
bool LoadPreviewModule(QString *error);

// Start-up: paints the shown window, then loads the module and creates the pane, each
// step in its own turn of the main loop so waiting requests are served in between.
void StartPreviewPane();

// The calls of the rest of the program.
void RefreshPreviewPane();
bool PreviewPaneBusy();
void ShowBlankPreview();
void AlignPreviewPane();
void SyncPreviewToEditorMove();
