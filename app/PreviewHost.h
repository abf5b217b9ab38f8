#pragma once
// The preview pane lives in a module of its own, loaded once the window is on the
// screen: the web engine behind it costs more start-up time than everything else
// together (its libraries, its OpenGL set-up, its first view). The rest of the program
// reaches the pane only through these calls, which do nothing until it exists.

#include "preview/PreviewModule.h"

class QString;

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

// The module's entry: the library already in the process (linked into a test), or
// loaded from the program's installed library folder, from beside the program, or from
// beside this library, whichever comes first; nullptr with a reason when none loads.
PreviewModuleEntry LoadPreviewModule(QString *error);

// Start-up: paints the shown window, then loads the module and creates the pane, each
// step in its own turn of the main loop so waiting requests are served in between. The
// window owns the controller the module returns; the pane wakes the idle pass and shows
// its notes in the status bar.
void StartPreviewPane();

// The calls of the rest of the program, on the window's preview controller; each does
// nothing until the pane exists.
void RefreshPreviewPane();
bool PreviewPaneBusy();
void ShowBlankPreview();
void AlignPreviewPane();
void SyncPreviewToEditorMove();
