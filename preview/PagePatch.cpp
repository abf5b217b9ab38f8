#include "preview/PagePatch.h"

#include "conversion/PreviewTemplate.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isVoid(const QByteArray &name)
{
    static const QList<QByteArray> names = {"area", "base", "br",    "col",   "embed", "hr",    "img",  "input",
                                            "link", "meta", "param", "source", "track", "wbr", "keygen"};
    return names.contains(name);
}

// Elements whose content is text up to their own end tag.
bool isRawText(const QByteArray &name)
{
    static const QList<QByteArray> names = {"script",   "style",    "textarea", "title",   "xmp",
                                            "iframe",   "noembed",  "noframes", "noscript"};
    return names.contains(name);
}

// Tags the parser treats as part of the page's frame wherever they stand, or that never end.
bool isRefusedInBody(const QByteArray &name)
{
    return name == "html" || name == "head" || name == "body" || name == "frameset" || name == "frame" ||
           name == "plaintext";
}

bool isForeignRoot(const QByteArray &name)
{
    return name == "svg" || name == "math";
}

struct Tag {
    bool ok = false;
    bool end = false;
    bool selfClosing = false;
    QByteArray name;      // lower case
    qsizetype next = 0;   // just past the ">"
};

// Reads the tag at `i`, where "<" is followed by a letter or by "/" and a letter.
Tag readTag(const QByteArray &html, qsizetype i)
{
    Tag tag;
    const qsizetype n = html.size();
    qsizetype p = i + 1;
    if (p < n && html.at(p) == '/') {
        tag.end = true;
        ++p;
    }
    const qsizetype nameStart = p;
    while (p < n && !isSpace(html.at(p)) && html.at(p) != '/' && html.at(p) != '>')
        ++p;
    tag.name = html.mid(nameStart, p - nameStart).toLower();
    while (p < n) {
        const char c = html.at(p);
        if (c == '>') {
            tag.ok = true;
            tag.next = p + 1;
            return tag;
        }
        if (c == '/') {
            tag.selfClosing = p + 1 < n && html.at(p + 1) == '>';
            ++p;
            continue;
        }
        if (isSpace(c)) {
            ++p;
            continue;
        }
        tag.selfClosing = false;
        // An attribute's name (its first character may be "="), then its value.
        qsizetype q = p + 1;
        while (q < n && !isSpace(html.at(q)) && html.at(q) != '/' && html.at(q) != '>' && html.at(q) != '=')
            ++q;
        p = q;
        while (p < n && isSpace(html.at(p)))
            ++p;
        if (p < n && html.at(p) == '=') {
            ++p;
            while (p < n && isSpace(html.at(p)))
                ++p;
            if (p < n && (html.at(p) == '"' || html.at(p) == '\'')) {
                const qsizetype close = html.indexOf(html.at(p), p + 1);
                if (close < 0)
                    return tag;
                p = close + 1;
            } else {
                while (p < n && !isSpace(html.at(p)) && html.at(p) != '>')
                    ++p;
            }
        }
    }
    return tag;
}

// Where the comment or other "<!" / "<?" markup at `i` ends, -1 when it never does.
qsizetype markupDeclarationEnd(const QByteArray &html, qsizetype i)
{
    if (html.sliced(i).startsWith("<!--")) {
        if (html.mid(i + 4, 1) == ">")
            return i + 5;
        if (html.mid(i + 4, 2) == "->")
            return i + 6;
        const qsizetype a = html.indexOf("-->", i + 4);
        const qsizetype b = html.indexOf("--!>", i + 4);
        if (a < 0 && b < 0)
            return -1;
        return (b < 0 || (a >= 0 && a < b)) ? a + 3 : b + 4;
    }
    const qsizetype close = html.indexOf('>', i + 2);
    return close < 0 ? -1 : close + 1;
}

// The end of the raw text element whose start tag ends at `from`: just past its end tag.
qsizetype rawTextEnd(const QByteArray &html, const QByteArray &lower, const QByteArray &name, qsizetype from)
{
    const QByteArray close = "</" + name;
    for (qsizetype at = lower.indexOf(close, from); at >= 0; at = lower.indexOf(close, at + 1)) {
        const qsizetype after = at + close.size();
        if (after < html.size() && (isSpace(html.at(after)) || html.at(after) == '/' || html.at(after) == '>')) {
            const Tag tag = readTag(html, at);
            return tag.ok ? tag.next : -1;
        }
    }
    return -1;
}

QByteArray maskNonces(const QByteArray &head)
{
    static const QRegularExpression policyNonce(QStringLiteral("'nonce-[^']*'"));
    static const QRegularExpression attributeNonce(QStringLiteral("nonce=\"[^\"]*\""));
    QString text = QString::fromLatin1(head);
    text.replace(policyNonce, QStringLiteral("'nonce-'"));
    text.replace(attributeNonce, QStringLiteral("nonce=\"\""));
    return text.toLatin1();
}

QByteArray nodeName(const QByteArray &tagName)
{
    return isForeignRoot(tagName) ? tagName : tagName.toUpper();
}

// Finds the end of the body's start tag; -1 when the page has none where the parser
// would see it.
qsizetype bodyContentStart(const QByteArray &html, const QByteArray &lower)
{
    const qsizetype n = html.size();
    qsizetype i = 0;
    while (i < n) {
        const qsizetype lt = html.indexOf('<', i);
        if (lt < 0 || lt + 1 >= n)
            return -1;
        const char c = html.at(lt + 1);
        if (c == '!' || c == '?') {
            i = markupDeclarationEnd(html, lt);
            if (i < 0)
                return -1;
            continue;
        }
        if (!isLetter(c) && !(c == '/' && lt + 2 < n && isLetter(html.at(lt + 2)))) {
            i = lt + 1;
            continue;
        }
        const Tag tag = readTag(html, lt);
        if (!tag.ok)
            return -1;
        if (!tag.end && tag.name == "body")
            return tag.next;
        i = tag.next;
        if (!tag.end && isRawText(tag.name)) {
            i = rawTextEnd(html, lower, tag.name, i);
            if (i < 0)
                return -1;
        }
    }
    return -1;
}

} // namespace

PageCut CutPage(const QByteArray &html)
{
    PageCut cut;
    cut.html = html;
    // The browser and the script's text would mend broken bytes each their own way.
    if (!QByteArrayView(html).isValidUtf8())
        return cut;
    const QByteArray lower = html.toLower();
    const qsizetype start = bodyContentStart(html, lower);
    const qsizetype end = lower.lastIndexOf("</body");
    if (start < 0 || end < start)
        return cut;
    cut.head = maskNonces(html.left(start));
    cut.tail = html.sliced(end);
    const QByteArray head = lower.left(start);
    cut.headRunsScripts = head.contains("<script") || !InlineHandlers(cut.head).isEmpty();
    cut.bodyScriptsBlocked = head.contains("http-equiv=\"content-security-policy\"") && head.contains("'nonce-");

    // Shared, so a page of many blocks does not allocate a name for each.
    static const QByteArray kText("#text"), kComment("#comment");
    QList<QByteArray> open;
    int foreign = 0;
    qsizetype textStart = -1;
    auto closeText = [&](qsizetype at) {
        if (textStart >= 0 && at > textStart) {
            cut.blocks.append({textStart, at - textStart});
            cut.names.append(kText);
        }
        textStart = -1;
    };
    auto addBlock = [&](qsizetype from, qsizetype to, const QByteArray &name) {
        cut.blocks.append({from, to - from});
        cut.names.append(name);
    };

    qsizetype i = start;
    qsizetype blockStart = -1;
    QByteArray blockName;
    while (i < end) {
        const char c = html.at(i);
        const char d = i + 1 < end ? html.at(i + 1) : '\0';
        const bool markup = c == '<' && (isLetter(d) || d == '!' || d == '?' || d == '/');
        if (!markup) {
            if (open.isEmpty() && textStart < 0)
                textStart = i;
            ++i;
            continue;
        }
        if (d == '!' || d == '?') {
            // A doctype in the body is dropped by the parser: it makes no node.
            if (lower.sliced(i).startsWith("<!doctype"))
                return cut;
            const qsizetype after = markupDeclarationEnd(html, i);
            if (after < 0 || after > end)
                return cut;
            if (open.isEmpty()) {
                closeText(i);
                addBlock(i, after, kComment);
            }
            i = after;
            continue;
        }
        if (d == '/' && !(i + 2 < end && isLetter(html.at(i + 2))))
            return cut;
        const Tag tag = readTag(html, i);
        if (!tag.ok || tag.next > end || isRefusedInBody(tag.name))
            return cut;
        if (tag.end) {
            // Only strictly nested elements: the parser repairs anything else its own way.
            if (open.isEmpty() || open.last() != tag.name)
                return cut;
            open.removeLast();
            if (isForeignRoot(tag.name))
                --foreign;
            i = tag.next;
            if (open.isEmpty())
                addBlock(blockStart, i, blockName);
            continue;
        }
        if (open.isEmpty()) {
            closeText(i);
            blockStart = i;
            blockName = nodeName(tag.name);
        }
        i = tag.next;
        const bool ends = isVoid(tag.name) || (tag.selfClosing && (foreign > 0 || isForeignRoot(tag.name)));
        if (!ends && foreign == 0 && isRawText(tag.name)) {
            i = rawTextEnd(html, lower, tag.name, i);
            if (i < 0 || i > end)
                return cut;
        } else if (!ends) {
            open.append(tag.name);
            if (isForeignRoot(tag.name))
                ++foreign;
            continue;
        }
        if (open.isEmpty())
            addBlock(blockStart, i, blockName);
    }
    if (!open.isEmpty())
        return cut;
    closeText(end);
    cut.ok = true;
    return cut;
}

BlockPatch PlanPatch(const PageCut &shown, const PageCut &next)
{
    BlockPatch patch;
    if (!shown.ok || !next.ok || next.headRunsScripts || !next.bodyScriptsBlocked || shown.head != next.head ||
        shown.tail != next.tail)
        return patch;
    const qsizetype n0 = shown.blocks.size();
    const qsizetype n1 = next.blocks.size();
    // The common end first: the page's last text merges with what follows the body, so
    // a block that stays at the end must stay the same node.
    qsizetype same = 0;
    while (same < n0 && same < n1 && shown.block(n0 - 1 - same) == next.block(n1 - 1 - same))
        ++same;
    qsizetype first = 0;
    while (first < n0 - same && first < n1 - same && shown.block(first) == next.block(first))
        ++first;
    patch.first = first;
    patch.removed = n0 - same - first;
    patch.added = n1 - same - first;
    patch.oldCount = n0;
    for (qsizetype i = qMax<qsizetype>(0, first - 1); i < qMin(n0, first + patch.removed + 1); ++i) {
        patch.checkAt.append(i);
        patch.checkNames.append(shown.names.at(i));
    }
    if (patch.added > 0) {
        const qsizetype from = next.blocks.at(first).first;
        const auto &last = next.blocks.at(first + patch.added - 1);
        patch.html = next.html.mid(from, last.first + last.second - from);
        patch.addedNames = next.names.mid(first, patch.added);
    }
    patch.ok = true;
    return patch;
}

QString PatchScript(const BlockPatch &patch)
{
    QJsonArray checkAt, checkNames, added;
    for (qsizetype i = 0; i < patch.checkAt.size(); ++i) {
        checkAt.append(double(patch.checkAt.at(i)));
        checkNames.append(QString::fromLatin1(patch.checkNames.at(i)));
    }
    for (const QByteArray &name : patch.addedNames)
        added.append(QString::fromLatin1(name));
    const QJsonArray values{double(patch.first), double(patch.removed), double(patch.oldCount),
                            QString::fromUtf8(patch.html), checkAt, checkNames, added};
    const QString arguments = QString::fromUtf8(QJsonDocument(values).toJson(QJsonDocument::Compact));
    // The added text is parsed by insertAdjacentHTML in the body's context, as the page's
    // parser parsed it: its scripts never run, and its event handlers stay under the
    // page's policy. The offset stays where the reader had it.
    return QStringLiteral(
               "(function(a){var first=a[0],removed=a[1],oldCount=a[2],html=a[3],at=a[4],names=a[5],added=a[6];"
               "var b=document.body;if(!b)return false;var k=b.childNodes,n=k.length,i;"
               // The body's last text takes in the blanks after its end tag, so each block is
               // one node; a page whose body ends otherwise is loaded instead.
               "if(n!==oldCount)return false;"
               "for(i=0;i<at.length;++i){if(!k[at[i]]||k[at[i]].nodeName!==names[i])return false;}"
               "var e=document.scrollingElement||document.documentElement,x=window.scrollX,y=window.scrollY,"
               "atEnd=y>0&&y>=e.scrollHeight-e.clientHeight-1,after=k[first+removed]||null,count=n;"
               "if(html.length){"
               "if(!after)b.insertAdjacentHTML('beforeend',html);"
               "else if(after.nodeType===1)after.insertAdjacentHTML('beforebegin',html);"
               "else{var m=document.createElement('span');b.insertBefore(m,after);"
               "m.insertAdjacentHTML('beforebegin',html);m.remove();}}"
               "var got=k.length-count,ok=got===added.length;"
               "for(i=0;ok&&i<got;++i)ok=k[first+removed+i].nodeName===added[i];"
               "if(!ok){for(i=0;i<got;++i)k[first+removed].remove();return false;}"
               "for(i=0;i<removed;++i)k[first].remove();"
               // A reader at the very end stays at the end as the page grows.
               "if(atEnd)window.scrollTo(x,e.scrollHeight);else if(window.scrollY!==y)window.scrollTo(x,y);"
               "return true;})(%1)")
        .arg(arguments);
}
