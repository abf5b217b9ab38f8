#include "conversion/HtmlAdjust.h"

#include "core/AppState.h"
#include "conversion/ConverterRun.h"
#include "files/DocumentFiles.h"
#include "files/SafeFiles.h"
#include "settings/Paths.h"
#include "settings/Stylesheets.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace {

// The part after the first `marker` and before its second occurrence (to the end when
// there is only one); empty without any.
QByteArray BetweenFirstAndSecond(const QByteArray &text, const QByteArray &marker)
{
    const qsizetype first = text.indexOf(marker);
    if (first < 0)
        return QByteArray();
    const qsizetype start = first + marker.size();
    const qsizetype second = text.indexOf(marker, start);
    return second < 0 ? text.mid(start) : text.mid(start, second - start);
}

} // namespace

QString PageTitleFromHead(const QByteArray &headText)
{
    QByteArray title = BetweenFirstAndSecond(headText, "<title>");
    const qsizetype end = title.indexOf("</title>");
    if (end >= 0)
        title.truncate(end);
    return QString::fromUtf8(title);
}

bool ExportHtml(const QString &document, const QString &stylesheet, const QByteArray &head)
{
    AppState &s = app();
    if (s.converterState.load() < ConverterIdle)
        return true;
    if (document.isEmpty())
        return false;
    const QString name = FilePart(stylesheet);
    if (!name.isEmpty()) {
        // An edited copy beside the document is the user's: never replaced. Anything else
        // at that name (a dangling link, a pipe) gives way to a plain copy.
        const QString copy = FolderPart(document) + name;
        if (!QFileInfo(copy).isFile())
            CopyToPlainFile(stylesheet, copy);
    }
    // A converter that fails after writing part of the page must not leave that part in
    // place of the last good page.
    const QString page = HtmlFileFor(document);
    const bool hadPage = QFileInfo(page).isFile();
    const QByteArray oldPage = hadPage ? ReadTextFile(page) : QByteArray();
    // The page links the copy by its name, which a browser reads as a URI reference.
    if (RunConverter(document, page, AsUriReference(name), HeadFileFor(document), PageTitleFromHead(head)))
        return true;
    if (hadPage) {
        if (ReadTextFile(page) != oldPage)
            WriteTextFile(oldPage, page);
    } else if (QFileInfo(page).isFile()) {
        QFile::remove(page);
    }
    return false;
}

QString StylesheetLinkedBy(const QByteArray &page, const QString &documentFolder)
{
    if (page.isEmpty())
        return QString();
    QByteArray link = BetweenFirstAndSecond(BetweenFirstAndSecond(page, "stylesheet"), "href=\"");
    const qsizetype quote = link.indexOf('"');
    if (quote >= 0)
        link.truncate(quote);
    if (link.isEmpty())
        return QString();
    // Links are escaped as URI references; a page written without that escaping names
    // its file as it stands.
    const QString literal = ResolvePath(QString::fromUtf8(link), documentFolder);
    if (!link.contains('%') || QFileInfo(literal).isFile())
        return literal;
    return ResolvePath(QUrl::fromPercentEncoding(link), documentFolder);
}

void RestoreDocumentStylesheet()
{
    AppState &s = app();
    s.currentStylesheet.set(DefaultStylesheetPath(s.location));
    const QString document = s.documentPath.get();
    if (document.isEmpty())
        return;
    const QString linked = StylesheetLinkedBy(ReadTextFile(HtmlFileFor(document)), FolderPart(document));
    if (IsStylesheetFile(linked))
        s.currentStylesheet.set(linked);
}

bool IsStylesheetFile(const QString &path)
{
    // A shipped page may name any file as its stylesheet (a private key): only a regular
    // file named "*.css", and not a link to another kind of file, is taken.
    const QString suffix = QStringLiteral(".css");
    return path.endsWith(suffix, Qt::CaseInsensitive) && IsRegularFile(path) &&
           QFileInfo(path).canonicalFilePath().endsWith(suffix, Qt::CaseInsensitive);
}
