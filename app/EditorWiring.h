#pragma once
// What the window's editors and panes report upwards: their notification hooks and the
// files dropped on them.

#include "editor/Editor.h"

class QString;

// Hooks of the window's editors: activity keeps the idle pass awake, an edit empties the
// status bar, a move of the Markdown editor brings the preview along.
EditorHooks WindowEditorHooks();
// A file dropped on an editor or the preview opens as the document.
void OpenDroppedFile(const QString &path);
