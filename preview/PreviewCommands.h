#pragma once
// The HTML menu's commands that need no pane: they work on the converted page files,
// so they act from the first moment, before the preview pane exists.

void RefreshCommand();       // HTML > Refresh
void PreviewInBrowser();     // HTML > Preview in Browser
