#pragma once
// The page title, stylesheet link and head fragment of generated pages, and reading a
// document's stylesheet back from its exported page.

#include <QByteArray>
#include <QString>

// The text of the first "<title>" element of a head fragment, taken as written;
// empty when there is none.
QString PageTitleFromHead(const QByteArray &headText);

// The stylesheet link of the page exported beside a document, as a path, or "" when the
// page holds none. `documentFolder` resolves a relative link.
QString StylesheetLinkedBy(const QByteArray &page, const QString &documentFolder);

// The stylesheet `document` was last exported with, or `fallback` when its page names
// none that may serve.
QString DocumentStylesheet(const QString &document, const QString &fallback);

// Whether `path` may serve as a stylesheet read back from a page: a regular file whose
// name, and whose real name behind any link, ends in ".css" in any case.
bool IsStylesheetFile(const QString &path);
