// Fuzzes the settings reader: any bytes load, and what is written from them reads back
// to the same values.
#include "settings/Settings.h"

#include <QDateTime>
#include <cstdint>
#include <cstdlib>

static bool same(const Settings &a, const Settings &b)
{
    return a.WinMax == b.WinMax && a.WinX == b.WinX && a.WinY == b.WinY && a.WinW == b.WinW && a.WinH == b.WinH
        && a.FontName == b.FontName && a.FontSize == b.FontSize && a.WordWrap == b.WordWrap
        && a.SyncScroll == b.SyncScroll && a.LastPath == b.LastPath && a.UpdateMilliseconds == b.UpdateMilliseconds
        && a.MarkdownVersion == b.MarkdownVersion && a.PandocExe == b.PandocExe;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const Settings first = ParseSettings(bytes);
    if (first.SyncScroll != 0 && first.SyncScroll != 1)
        abort();
    const QByteArray written = FormatSettings(first, QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)));
    if (written.count("\r\n") != 18 && !written.isEmpty()) {
        // A text value holding a line break would break the layout; values never do,
        // because reading stops every value at the end of its line.
        abort();
    }
    const Settings second = ParseSettings(written);
    if (!same(first, second) || second.WinCen != 0)
        abort();
    return 0;
}
