#include "conversion/HtmlAdjust.h"

#include "files/DocumentFiles.h"
#include "files/SafeFiles.h"
#include "settings/Paths.h"

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

QString DocumentStylesheet(const QString &document, const QString &fallback)
{
    if (document.isEmpty())
        return fallback;
    const QString linked = StylesheetLinkedBy(ReadTextFile(HtmlFileFor(document)), FolderPart(document));
    return IsStylesheetFile(linked) ? linked : fallback;
}

bool IsStylesheetFile(const QString &path)
{
    // A shipped page may name any file as its stylesheet (a private key): only a regular
    // file named "*.css", and not a link to another kind of file, is taken.
    const QString suffix = QStringLiteral(".css");
    return path.endsWith(suffix, Qt::CaseInsensitive) && IsRegularFile(path) &&
           QFileInfo(path).canonicalFilePath().endsWith(suffix, Qt::CaseInsensitive);
}
