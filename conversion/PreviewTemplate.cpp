#include "conversion/PreviewTemplate.h"

#include "files/SafeFiles.h"

#include <QCryptographicHash>
#include <QFile>

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Decodes the character references a browser decodes in an attribute value.
QByteArray decodeReferences(const QByteArray &value)
{
    if (!value.contains('&'))
        return value;
    static const QList<QPair<QByteArray, QByteArray>> named = {
        {"amp;", "&"}, {"lt;", "<"}, {"gt;", ">"}, {"quot;", "\""}, {"apos;", "'"}};
    QByteArray out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value.at(i) != '&') {
            out += value.at(i);
            continue;
        }
        const QByteArray rest = value.mid(i + 1, 12);
        bool done = false;
        for (const auto &[name, text] : named) {
            if (rest.startsWith(name)) {
                out += text;
                i += name.size();
                done = true;
                break;
            }
        }
        if (!done && rest.startsWith('#')) {
            const qsizetype end = rest.indexOf(';');
            const bool hex = rest.size() > 1 && (rest.at(1) == 'x' || rest.at(1) == 'X');
            bool ok = false;
            const uint code = end > 0 ? rest.mid(hex ? 2 : 1, end - (hex ? 2 : 1)).toUInt(&ok, hex ? 16 : 10) : 0;
            if (ok && code > 0 && code <= 0x10FFFF) {
                const char32_t ch = code;
                out += QString::fromUcs4(&ch, 1).toUtf8();
                i += end + 1;
                done = true;
            }
        }
        if (!done)
            out += '&';
    }
    return out;
}

} // namespace

QByteArray PreviewTemplateText()
{
    QFile file(QStringLiteral(":/preview-template.html"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString WritePreviewTemplate(const QString &folder)
{
    const QByteArray text = PreviewTemplateText();
    const QString path = folder + QStringLiteral("preview-template.html");
    if (text.isEmpty() || !WritePlainFile(text, path))
        return QString();
    return path;
}

QStringList PreviewTemplateArguments(const QString &templateFile, const QByteArray &policy, const QString &base)
{
    QStringList arguments{QStringLiteral("--template"), templateFile, QStringLiteral("--variable"),
                          QStringLiteral("quilldown-policy=") + QString::fromLatin1(policy)};
    // Fully encoded, so it holds no quote to end the attribute.
    if (!base.isEmpty() && !base.contains(u'"'))
        arguments << QStringLiteral("--variable") << QStringLiteral("quilldown-base=") + base;
    return arguments;
}

QByteArray PreviewPolicy(const QByteArray &nonce, const QByteArray &headText)
{
    QByteArray policy = "script-src 'nonce-" + nonce + "' 'strict-dynamic' 'unsafe-eval'";
    QList<QByteArray> hashes;
    for (const QByteArray &handler : InlineHandlers(headText)) {
        const QByteArray hash = QCryptographicHash::hash(handler, QCryptographicHash::Sha256).toBase64();
        if (!hashes.contains(hash))
            hashes << hash;
    }
    if (!hashes.isEmpty()) {
        policy += " 'unsafe-hashes'";
        for (const QByteArray &hash : std::as_const(hashes))
            policy += " 'sha256-" + hash + '\'';
    }
    return policy;
}

QByteArray WithScriptNonces(const QByteArray &head, const QByteArray &nonce)
{
    // Byte-wise, so that the fragment's bytes stay exactly as written.
    QByteArray result;
    const QByteArray lower = head.toLower();
    const QByteArray tag = "<script";
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = lower.indexOf(tag, from);
        if (at < 0)
            break;
        const qsizetype after = at + tag.size();
        result += head.mid(from, after - from);
        const char next = after < head.size() ? head.at(after) : '\0';
        if (next == '>' || next == '/' || isSpace(next))
            result += " nonce=\"" + nonce + '"';
        from = after;
    }
    result += head.mid(from);
    return result;
}

QList<QByteArray> InlineHandlers(const QByteArray &html)
{
    QList<QByteArray> handlers;
    const QByteArray lower = html.toLower();
    const qsizetype n = html.size();
    qsizetype i = 0;
    while (i < n) {
        if (html.mid(i, 4) == "<!--") {
            const qsizetype end = html.indexOf("-->", i + 4);
            i = end < 0 ? n : end + 3;
            continue;
        }
        if (html.at(i) != '<' || i + 1 >= n || !isLetter(html.at(i + 1))) {
            ++i;
            continue;
        }
        // A start tag: its name, then its attributes up to ">".
        qsizetype p = i + 1;
        while (p < n && !isSpace(html.at(p)) && html.at(p) != '>' && html.at(p) != '/')
            ++p;
        const QByteArray tagName = lower.mid(i + 1, p - i - 1);
        while (p < n && html.at(p) != '>') {
            while (p < n && (isSpace(html.at(p)) || html.at(p) == '/'))
                ++p;
            const qsizetype nameStart = p;
            while (p < n && !isSpace(html.at(p)) && html.at(p) != '=' && html.at(p) != '>' && html.at(p) != '/')
                ++p;
            const QByteArray name = lower.mid(nameStart, p - nameStart);
            while (p < n && isSpace(html.at(p)))
                ++p;
            QByteArray value;
            bool hasValue = false;
            if (p < n && html.at(p) == '=') {
                hasValue = true;
                ++p;
                while (p < n && isSpace(html.at(p)))
                    ++p;
                if (p < n && (html.at(p) == '"' || html.at(p) == '\'')) {
                    const char quote = html.at(p);
                    const qsizetype end = html.indexOf(quote, p + 1);
                    value = html.mid(p + 1, (end < 0 ? n : end) - p - 1);
                    p = end < 0 ? n : end + 1;
                } else {
                    const qsizetype start = p;
                    while (p < n && !isSpace(html.at(p)) && html.at(p) != '>')
                        ++p;
                    value = html.mid(start, p - start);
                }
            }
            if (hasValue && name.size() > 2 && name.startsWith("on"))
                handlers << decodeReferences(value);
            if (name.isEmpty() && !hasValue && p < n && html.at(p) != '>')
                ++p;   // a stray character; never loop on it
        }
        i = p + 1;
        // The text of a script or style element is not markup.
        if (tagName == "script" || tagName == "style") {
            const qsizetype end = lower.indexOf("</" + tagName, i);
            i = end < 0 ? n : end;
        }
    }
    return handlers;
}
