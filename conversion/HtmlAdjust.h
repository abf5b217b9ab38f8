#pragma once
// The page title, stylesheet link and head fragment of generated pages; the export
// beside a saved document, and reading a document's stylesheet back from it.

#include <QByteArray>
#include <QString>

// The text of the first "<title>" element of a head fragment, taken as written;
// empty when there is none.
QString PageTitleFromHead(const QByteArray &headText);

// Writes the exported page beside `document`, with a copy of `stylesheet` (made only when
// no file of that name is there yet) and the page title taken from `headText`. True when
// the page was written, and also when there is nothing to do because the converter is
// starting or failed; false when the conversion failed (the older page, if any, then
// stays). Touches no widget, so it may run on any thread.
bool ExportHtml(const QString &document, const QString &stylesheet, const QByteArray &headText);

// The stylesheet link of the page exported beside a document, as a path, or "" when the
// page holds none. `documentFolder` resolves a relative link.
QString StylesheetLinkedBy(const QByteArray &page, const QString &documentFolder);

// Selects the stylesheet the document was last exported with, or the default one.
void RestoreDocumentStylesheet();

// Whether `path` may serve as a stylesheet read back from a page: a regular file whose
// name, and whose real name behind any link, ends in ".css" in any case.
bool IsStylesheetFile(const QString &path);
