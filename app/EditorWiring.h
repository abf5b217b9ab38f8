#pragma once
// What the window's editors and panes report upwards: their notification hooks and the
// files dropped on them.

#include "editor/Editor.h"

#include <functional>

class Document;
class QString;

// Hooks of the window's editors: activity keeps the idle pass awake, a move of the
// Markdown editor brings the preview along. (An edit empties the status bar through the
// document's `edited`, which replaced texts do not emit.)
EditorHooks WindowEditorHooks();
// What a file dropped on an editor or the preview does: it opens as `document`.
std::function<void(const QString &)> DroppedFileOpener(Document &document);
