#include "common/TestSupport.h"

#include "core/AppState.h"
#include "app/ConversionHost.h"
#include "app/MainWindow.h"
#include "app/Startup.h"
#include "settings/Paths.h"

#include <QProcess>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <Qsci/qsciscintillabase.h>

TestApp::TestApp()
{
    savedConfig = qgetenv("XDG_CONFIG_HOME");
    savedData = qgetenv("XDG_DATA_HOME");
    savedState = qgetenv("XDG_STATE_HOME");
    QDir().mkpath(root() + QStringLiteral("config"));
    QDir().mkpath(root() + QStringLiteral("data"));
    QDir().mkpath(binDir());
    QDir().mkpath(docsDir());
    qputenv("XDG_CONFIG_HOME", (root() + QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", (root() + QStringLiteral("data")).toUtf8());
    qputenv("XDG_STATE_HOME", (root() + QStringLiteral("state")).toUtf8());
    SetBaseDirectoryOverride(binDir());
    setPlatform(&platform);
}

TestApp::~TestApp()
{
    shutdown();
    setPlatform(nullptr);
    SetBaseDirectoryOverride(QString());
    qputenv("XDG_CONFIG_HOME", savedConfig);
    qputenv("XDG_DATA_HOME", savedData);
    qputenv("XDG_STATE_HOME", savedState);
}

bool TestApp::start(const QStringList &arguments)
{
    running = true;
    if (!StartApplication(QStringList{QStringLiteral("quilldown")} + arguments))
        return false;
    // The preview pane follows the shown window a few turns of the main loop later.
    return QTest::qWaitFor([] { return !mainWindow() || mainWindow()->preview(); }, 30000);
}

bool TestApp::writeSettings(const Settings &settings)
{
    QDir().mkpath(configDir());
    return WriteSettingsFile(configDir() + QString::fromLatin1(kSettingsFileName), settings);
}

bool TestApp::useMissingConverter(Settings settings)
{
    settings.PandocExe = root() + QStringLiteral("no-such-pandoc");
    return writeSettings(settings);
}

int TestApp::shutdown()
{
    if (!running)
        return 0;
    running = false;
    return Shutdown();
}

QsciScintillaBase *markdown()
{
    return mainWindow()->markdownEditor();
}

QsciScintillaBase *head()
{
    return mainWindow()->headEditor();
}

Document &document()
{
    return *mainWindow()->document();
}

QString lastPage()
{
    const ConversionHost *host = ActiveConversionHost();
    return host ? host->lastPage() : QString();
}

long send(QsciScintillaBase *editor, unsigned int message, unsigned long wParam, long lParam)
{
    return editor->SendScintilla(message, wParam, lParam);
}

void type(QsciScintillaBase *editor, const QByteArray &text)
{
    editor->SendScintilla(QsciScintillaBase::SCI_ADDTEXT, (unsigned long)text.size(), text.constData());
}

QByteArray readFileBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

bool writeFileBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    return file.write(bytes) == bytes.size();
}

QStringList withPageNames(QStringList arguments)
{
    static const QRegularExpression fresh(QStringLiteral("^(.*/)\\.([^/]+)\\.[0-9a-z]+\\.part$"));
    const qsizetype output = arguments.indexOf(QStringLiteral("-o")) + 1;
    if (output > 0 && output < arguments.size()) {
        const QRegularExpressionMatch match = fresh.match(arguments.at(output));
        arguments[output] = match.hasMatch() ? match.captured(1) + match.captured(2) : QString();
    }
    return arguments;
}

qint64 endedPid()
{
    QProcess p;
    p.start(QStringLiteral("true"), {});
    p.waitForStarted();
    const qint64 pid = p.processId();
    p.waitForFinished();
    return pid;
}
