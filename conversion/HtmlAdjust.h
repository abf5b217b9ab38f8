#pragma once
// The page title, stylesheet link and head fragment of generated pages; the export
// beside a saved document, and reading a document's stylesheet back from it.

#include <QByteArray>
#include <QString>

QString PageTitleFromHead(const QByteArray &headText);
bool ExportHtml();
void RestoreDocumentStylesheet();
