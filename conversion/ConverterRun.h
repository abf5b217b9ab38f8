#pragma once
// One run of the converter on files: its arguments, the run under the converter lock,
// and the page shown instead when it failed.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

// The converter's arguments; `headFile` empty means no "-H".
QStringList ConverterArguments(const QString &format, const QString &htmlFile, const QString &stylesheetRef,
                               const QString &headFile, const QString &title, const QString &markdownFile,
                               const QStringList &pageArguments = {});

// Runs the converter found at start-up once, reading `format`, under the converter lock,
// and waits for it (at most the converter time limit). Fails at once while no usable
// converter has been found. True only when it ended with status 0 and wrote `htmlFile`.
// On failure `errorText`, when given, receives why, with the converter's error output.
// When `overtaken` answers true once the lock is taken or during the run, the run is
// given up (its processes ended) and false returned. `pageArguments` go to the converter
// as well (the preview's own template).
bool RunConverter(const QString &format, const QString &markdownFile, const QString &htmlFile, const QString &stylesheetRef,
                  const QString &headFile, const QString &title, QString *errorText = nullptr,
                  const std::function<bool()> &overtaken = {}, const QStringList &pageArguments = {});

// The short page shown in the preview when a conversion failed.
QByteArray ConversionErrorPage(const QString &errorText);
