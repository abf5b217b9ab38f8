#include "BenchPrelude.h"

#include "app/PreviewHost.h"
#include "settings/Paths.h"
#include "settings/Settings.h"

#include <QDir>

BenchApplication::BenchApplication(int &argc, char **argv, const BenchPreludeOptions &options)
{
    if (options.forceOffscreen || qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (options.engine) {
        if (!options.keepChromiumFlags || qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
            qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --disable-logging");
        qputenv("QT_LOGGING_RULES", options.quietWarnings ? "qt.webenginecontext.info=false;*.warning=false"
                                                          : "qt.webenginecontext.info=false");
        engine_ = std::make_unique<EngineEnvironment>();
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    }
    application_ = std::make_unique<QApplication>(argc, argv);
    if (engine_)
        engine_->settle();
}

BenchApplication::~BenchApplication() = default;

BenchSandbox::BenchSandbox()
{
    for (const char *folder : {"config/Quilldown", "data", "bin", "docs"})
        QDir().mkpath(root() + QLatin1String(folder));
    qputenv("XDG_CONFIG_HOME", (root() + QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", (root() + QStringLiteral("data")).toUtf8());
    qputenv("XDG_STATE_HOME", (root() + QStringLiteral("state")).toUtf8());
    SetBaseDirectoryOverride(root() + QStringLiteral("bin"));
}

BenchSandbox::~BenchSandbox()
{
    SetBaseDirectoryOverride(QString());
}

QString BenchSandbox::settingsFile() const
{
    return root() + QStringLiteral("config/Quilldown/") + QString::fromLatin1(kSettingsFileName);
}
