#pragma once
// Small helpers the benchmark programs share: the median of their samples, writing a
// generated document, and Pandoc run alone as the baseline.

#include <QByteArray>
#include <QString>
#include <vector>

// The middle of `values`, or -1 when there are none.
double median(std::vector<double> values);
bool writeFile(const QString &path, const QByteArray &bytes);
// Milliseconds Pandoc takes alone to make a standalone page of `markdown`, as the program
// runs it; -1 when it fails or outlasts `limitMs`.
double pandocMs(const QString &markdown, const QString &html, int limitMs = 600000);
