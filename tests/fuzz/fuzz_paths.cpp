// Fuzzes the path helpers with arbitrary text and checks the rules they promise.
#include "settings/Paths.h"

#include <cstdint>
#include <cstdlib>

static void check(bool condition)
{
    if (!condition)
        abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));

    check(FolderPart(path) + FilePart(path) == path);
    check(!FilePart(path).contains(u'/'));
    const QString extension = ExtensionPart(path);
    check(!extension.contains(u'.') && !extension.contains(u' ') && !extension.contains(u'/'));
    check(extension.isEmpty() || FilePart(path).endsWith(u'.' + extension));

    const QString slashed = WithTrailingSlash(path);
    check(path.isEmpty() ? slashed.isEmpty() : slashed.endsWith(u'/') && !slashed.endsWith(QLatin1String("//")));
    check(WithTrailingSlash(slashed) == slashed);

    const QString sanitized = SanitizeFileName(path);
    check(sanitized.size() == path.size());
    for (QChar c : QStringLiteral("<>\\/:*?|\""))
        check(!sanitized.contains(c));

    const QString resolved = ResolvePath(path, QStringLiteral("/base/dir"));
    check(path.isEmpty() ? resolved.isEmpty() : IsAbsolutePath(resolved));
    if (IsAbsolutePath(path)) {
        check(resolved == path);  // absolute paths come back as written
    } else if (!path.isEmpty()) {
        check(resolved.startsWith(QLatin1String("/base/dir/")));
        check(!resolved.contains(QLatin1String("/./")));
    }
    return 0;
}
