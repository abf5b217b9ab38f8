#pragma once
// The conversion worker's ties to the window: where its texts come from and what a
// published page, a failure and its progress do.

#include "conversion/ConversionWorker.h"

// The hooks of the running program: both editors of the main window (empty texts while
// there is none), the preview pane, the idle pass, the status bar and a message box.
ConversionHooks WindowConversionHooks();

// Starts the worker with those hooks; false as InitConversion.
bool StartConversion();
