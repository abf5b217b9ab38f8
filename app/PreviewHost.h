#pragma once
// The preview pane lives in a module of its own, loaded once the window is on the
// screen: the web engine behind it costs more start-up time than everything else
// together (its libraries, its OpenGL set-up, its first view). The rest of the program
// reaches the pane only through these calls, which do nothing until it exists.

class QString;

// Whether the pane is drawn in software, the default: the web engine's software
// compositor, shown by Qt Quick's software renderer. A Qt Quick backend chosen in the
// environment (QT_QUICK_BACKEND) is respected instead.
bool SoftwarePreview();

// Process settings the web engine and the window system read once, early.
// - As root, Chromium's sandbox cannot run, so it is turned off; its zygote processes
//   then serve no purpose and are left out (--no-zygote), which saves their start-up
//   and their memory.
// - With the preview drawn in software nothing in the program uses OpenGL, yet the
//   engine would load the system's OpenGL driver (with llvmpipe, all of LLVM) just to
//   create contexts it never draws with; the window system's OpenGL support is turned
//   off for the process instead.
// - A page may draw local pictures but never read their pixels back
//   (--disable-reading-from-canvas).
// Made before the application object; settle() after it, before any other thread
// starts, takes back the OpenGL variable once Qt has read it, so that programs started
// later (a browser, Pandoc) see the environment the program was given.
class EngineEnvironment
{
public:
    EngineEnvironment();
    void settle();

private:
    bool setOpenGLOff_ = false;
};

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
