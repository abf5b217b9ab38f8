#include "settings/Stylesheets.h"

#include "app/AppState.h"
#include "settings/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QString StylesheetFolder()
{
    return BaseDirectory() + QStringLiteral("css/");
}

QString DefaultStylesheetPath()
{
    return StylesheetFolder() + QStringLiteral("air.css");
}

QByteArray DefaultStylesheetText()
{
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
    return info.isFile() && info.size() > 0;
}

void UseStylesheet(const QString &) {}

void LoadStylesheet() {}

void UseStylesheetEntry(int index)
{
    const QStringList &list = app().stylesheetList;
    if (index >= 0 && index < list.size())
        UseStylesheet(StylesheetFolder() + list.at(index));
}
