#include "conversion/ConverterRun.h"

#include "core/AppState.h"
#include "conversion/ConverterProcess.h"
#include "files/SafeFiles.h"
#include "settings/Paths.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <mutex>

namespace {

QString escapeHtml(const QString &text)
{
    return text.toHtmlEscaped();
}

} // namespace

QStringList ConverterArguments(const QString &format, const QString &htmlFile, const QString &stylesheetRef,
                               const QString &headFile, const QString &title, const QString &markdownFile,
                               const QStringList &pageArguments)
{
    QStringList arguments{QStringLiteral("--from"), format, QStringLiteral("--to"), QStringLiteral("html"),
                          QStringLiteral("-s"),     QStringLiteral("-o"), htmlFile};
    if (!stylesheetRef.isEmpty())
        arguments << QStringLiteral("--css") << stylesheetRef;
    if (!headFile.isEmpty())
        arguments << QStringLiteral("-H") << headFile;
    arguments << pageArguments;
    arguments << QStringLiteral("--metadata") << QStringLiteral("pagetitle=") + title << markdownFile;
    return arguments;
}

bool RunConverter(const QString &format, const QString &markdownFile, const QString &htmlFile, const QString &stylesheetRef,
                  const QString &headFile, const QString &title, QString *errorText,
                  const std::function<bool()> &overtaken, const QStringList &pageArguments)
{
    AppState &s = app();
    auto fail = [errorText](const QString &why) {
        if (errorText)
            *errorText = why;
        return false;
    };
    if (s.converterState.load() < ConverterIdle)
        return fail(QStringLiteral("Pandoc could not be initialized."));
    // Runs take turns; the one holding the lock ends within the time limit, at once on
    // quit, and an overtaken run that waited here gives up before it starts.
    std::lock_guard<std::mutex> guard(s.converterLock);
    if (s.quit.load() || (overtaken && overtaken()))
        return false;
    if (markdownFile.isEmpty() || !QFileInfo(markdownFile).isFile())
        return fail(QStringLiteral("The Markdown file %1 could not be read.").arg(markdownFile));

    // Absolute paths: a file name beginning with "-" must never be read as an option.
    const QString input = QFileInfo(markdownFile).absoluteFilePath();
    const QString page = QFileInfo(htmlFile).absoluteFilePath();
    // Pandoc writes a fresh file that replaces the page only when complete: it would
    // follow a link planted at the page's name.
    const QString output = FreshNameBeside(page);
    // Pandoc reads a header file's name as a URI reference. A folder or pipe in its place
    // is no head: reading a pipe would hold Pandoc until its time limit.
    const QString head = (!headFile.isEmpty() && IsRegularFile(headFile))
                             ? AsUriReference(QFileInfo(headFile).absoluteFilePath())
                             : QString();
    const QStringList arguments =
        ConverterArguments(format, output, stylesheetRef, head, title, input, pageArguments);

    const QFileInfo before(output);
    const bool existedBefore = before.exists();
    const QDateTime modifiedBefore = before.lastModified();
    const qint64 sizeBefore = before.size();

    const QString program = s.converterPath.get();
    const ProcessOutcome outcome = RunProcess(program, arguments, FolderPart(input), overtaken);
    if (outcome.stopped) {
        QFile::remove(output);
        return false;
    }

    QString why;
    if (!outcome.started)
        why = QStringLiteral("Pandoc could not be started (%1).").arg(program);
    else if (outcome.timedOut)
        why = QStringLiteral("Pandoc did not finish within %1 seconds and was stopped.")
                  .arg(ConverterTimeLimit() / 1000.0);
    else if (outcome.crashed)
        why = QStringLiteral("Pandoc ended abnormally.");
    else if (outcome.exitCode != 0 && outcome.errorOutput.contains("Heap exhausted"))
        why = QStringLiteral("Pandoc needed more than the %1 MB of memory a conversion may take and was stopped.")
                  .arg(ConverterMemoryLimit());
    else if (outcome.exitCode != 0)
        why = QStringLiteral("Pandoc ended with exit status %1.").arg(outcome.exitCode);
    else {
        const QFileInfo after(output);
        const bool written = after.isFile() && after.size() > 0 &&
                             (!existedBefore || after.lastModified() != modifiedBefore || after.size() != sizeBefore);
        if (!written)
            why = QStringLiteral("Pandoc wrote no page.");
        else if (!MoveIntoPlace(output, page))
            why = QStringLiteral("The page %1 could not be written.").arg(page);
    }
    if (why.isEmpty())
        return true;
    QFile::remove(output);
    const QString details = QString::fromUtf8(outcome.errorOutput).trimmed();
    return fail(details.isEmpty() ? why : why + u'\n' + details);
}

QByteArray ConversionErrorPage(const QString &errorText)
{
    // The converter's output can be long; the start says why.
    QString shown = errorText;
    if (shown.size() > 20000)
        shown = shown.left(20000) + QStringLiteral("\n...");
    const QString page = QStringLiteral("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
                                        "<title>Conversion failed</title>\n</head>\n<body>\n"
                                        "<h1>Conversion failed</h1>\n<pre>") +
                         escapeHtml(shown) + QStringLiteral("</pre>\n</body>\n</html>\n");
    return page.toUtf8();
}
