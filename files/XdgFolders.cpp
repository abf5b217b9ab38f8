#include "files/XdgFolders.h"

#include <QDir>

namespace {

struct BaseRule {
    const char *variable;
    const char *underHome;
};

BaseRule ruleFor(XdgBase base)
{
    switch (base) {
    case XdgBase::Config:
        return {"XDG_CONFIG_HOME", ".config"};
    case XdgBase::Data:
        return {"XDG_DATA_HOME", ".local/share"};
    case XdgBase::State:
        break;
    }
    return {"XDG_STATE_HOME", ".local/state"};
}

QString asFolder(const QString &path)
{
    const QString clean = QDir::cleanPath(path);
    return clean.endsWith(u'/') ? clean : clean + u'/';
}

} // namespace

QString XdgBaseFolder(XdgBase base)
{
    const BaseRule rule = ruleFor(base);
    const QString root = qEnvironmentVariable(rule.variable);
    if (root.startsWith(u'/'))
        return asFolder(root);
    const QString home = qEnvironmentVariable("HOME");
    if (home.startsWith(u'/'))
        return asFolder(home + u'/' + QLatin1String(rule.underHome));
    return QString();
}

QString XdgUserFolder(XdgBase base, const QString &subfolder)
{
    const QString root = XdgBaseFolder(base);
    if (root.isEmpty())
        return QString();
    return root + subfolder + u'/';
}
