#include "settings/Stylesheets.h"

#include "app/AppState.h"
#include "settings/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

QString StylesheetFolder()
{
    return BaseDirectory() + QStringLiteral("css/");
}

QString DefaultStylesheetPath()
{
    return StylesheetFolder() + QStringLiteral("air.css");
}

// The resource file is compiled into a static library, so it must be registered by hand.
static void registerResources()
{
    Q_INIT_RESOURCE(resources);
}

QByteArray DefaultStylesheetText()
{
    registerResources();
    QFile resource(QStringLiteral(":/air.css"));
    if (!resource.open(QIODevice::ReadOnly))
        return QByteArray();
    return resource.readAll();
}

bool PrepareStylesheetFolder()
{
    QDir().mkdir(StylesheetFolder());
    const QString path = DefaultStylesheetPath();
    if (!QFileInfo::exists(path)) {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(DefaultStylesheetText());
    }
    const QFileInfo info(path);
    if (!info.isFile() || info.size() <= 0)
        return false;
    // Folders named like a stylesheet are listed too; choosing one does nothing.
    QStringList names = QDir(StylesheetFolder()).entryList({QStringLiteral("*.css")},
                                                           QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    app().stylesheetList = names;
    return true;
}

void UseStylesheet(const QString &) {}

void LoadStylesheet() {}

void UseStylesheetEntry(int index)
{
    const QStringList &list = app().stylesheetList;
    if (index >= 0 && index < list.size())
        UseStylesheet(StylesheetFolder() + list.at(index));
}
