#include "BenchFigures.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <algorithm>

double median(std::vector<double> values)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

double pandocMs(const QString &markdown, const QString &html, int limitMs)
{
    QElapsedTimer clock;
    clock.start();
    QProcess pandoc;
    pandoc.start(QStringLiteral("pandoc"), {QStringLiteral("--from"), QStringLiteral("markdown_mmd"),
                                            QStringLiteral("--to"), QStringLiteral("html"), QStringLiteral("-s"),
                                            QStringLiteral("--metadata"), QStringLiteral("pagetitle=x"),
                                            QStringLiteral("-o"), html, markdown});
    if (!pandoc.waitForFinished(limitMs) || pandoc.exitCode() != 0)
        return -1;
    return clock.nsecsElapsed() / 1e6;
}
