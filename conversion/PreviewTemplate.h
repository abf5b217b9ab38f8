#pragma once
// The preview's page is made with a template of our own whose first element after the
// character set is the content policy: nothing the document's metadata says (a title
// prefix, a language, a font) can come before the policy, so no metadata can open a
// comment or a tag around it. Each block of the page takes its writing direction from
// its own text. The exported page keeps the converter's default template.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The template's text, as shipped in the program's resources.
QByteArray PreviewTemplateText();

// Writes the template into `folder` (ending in "/") as a plain file and returns its path;
// "" when it could not be written.
QString WritePreviewTemplate(const QString &folder);

// The converter's arguments that make a page with the template at `templateFile`,
// `policy` as its content policy and, unless empty, `base` (an encoded address of the
// document's folder) as the base of its relative addresses.
QStringList PreviewTemplateArguments(const QString &templateFile, const QByteArray &policy,
                                     const QString &base = QString());

// The content policy of one preview page: scripts run only when they carry `nonce` (and
// what those load), and the event handlers written in the head fragment `headText`
// itself run by their hashes, so the usual "onload=" of a math renderer's script tag
// works. Handlers in the document's body never run.
QByteArray PreviewPolicy(const QByteArray &nonce, const QByteArray &headText);

// The head fragment with `nonce` on each of its own script tags, its bytes otherwise as
// written.
QByteArray WithScriptNonces(const QByteArray &headText, const QByteArray &nonce);

// The values of the event-handler attributes ("on..." attributes) of the tags in an HTML
// fragment, with character references decoded as the browser decodes them.
QList<QByteArray> InlineHandlers(const QByteArray &html);
