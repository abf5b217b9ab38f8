#pragma once
// Files dropped on the editors or the preview open as the document; text drops are refused.

class QWidget;

// Makes `pane` accept file-list drops only (and nothing else).
void InstallDropHandling(QWidget *pane);
