#pragma once
// Files dropped on the editors or the preview open as the document; text drops are refused.

#include <QStringList>
#include <functional>

class QMimeData;
class QWidget;

// The local file paths of a drop, in the order the source lists them; empty when the
// drop is anything but a list of local files.
QStringList DroppedFilePaths(const QMimeData *data);

// Makes `pane` accept file-list drops only (and nothing else). For a QAbstractScrollArea
// the viewport is covered too, for a web view its render widget. The first dropped path
// goes to `openPath`, from the event loop once the drop is over.
void InstallDropHandling(QWidget *pane, std::function<void(const QString &)> openPath);
