#pragma once
// Shared test helpers: a scripted platform that answers dialogs and records what would
// have been opened, a sandboxed application (temporary settings, data and program
// folders), and a test main() that runs headless as root too.

#include "app/BackgroundExport.h"
#include "app/ConversionHost.h"
#include "app/Document.h"
#include "app/PreviewHost.h"
#include "app/Startup.h"
#include "platform/Platform.h"
#include "settings/Settings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QList>
#include <QMutex>
#include <QQueue>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <memory>
#include <unistd.h>

struct RecordedMessage {
    MessageIcon icon;
    QString caption;
    QString text;
    MessageButtons buttons;
};

struct RecordedDialog {
    QString kind;   // "open" or "save"
    QString title;
    QString start;
    QString filter;
    OpenRule rule = OpenRule::ExistingFile;   // open dialogs only
};

class ScriptedPlatform : public Platform {
public:
    ScriptedPlatform() { clock.start(); }

    // Answers, used in order; when a queue is empty: Cancel / "" / no font.
    QQueue<MessageAnswer> messageAnswers;
    QQueue<QString> fileAnswers;
    QQueue<QString> inputAnswers;
    bool fontAccepted = false;
    QFont fontAnswer;

    // What happened.
    QList<RecordedMessage> messages;
    QList<RecordedDialog> dialogs;
    QList<QFont> fontRequests;
    QStringList inputPrompts;
    QList<QStringList> started;   // program followed by its arguments

    QList<QUrl> openedUrls() const
    {
        QMutexLocker locker(&lock);
        return opened;
    }
    int messageCount() const
    {
        QMutexLocker locker(&lock);
        return messages.size();
    }
    RecordedMessage lastMessage() const
    {
        QMutexLocker locker(&lock);
        return messages.isEmpty() ? RecordedMessage{} : messages.last();
    }

    MessageAnswer messageBox(QWidget *, MessageIcon icon, const QString &caption, const QString &text,
                             MessageButtons buttons) override
    {
        QMutexLocker locker(&lock);
        messages.append({icon, caption, text, buttons});
        if (!messageAnswers.isEmpty())
            return messageAnswers.dequeue();
        return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
    }
    QString openFileName(QWidget *, const QString &title, const QString &start, const QString &filter,
                         OpenRule rule) override
    {
        dialogs.append({QStringLiteral("open"), title, start, filter, rule});
        return fileAnswers.isEmpty() ? QString() : fileAnswers.dequeue();
    }
    QString saveFileName(QWidget *, const QString &title, const QString &start, const QString &filter) override
    {
        dialogs.append({QStringLiteral("save"), title, start, filter});
        return fileAnswers.isEmpty() ? QString() : fileAnswers.dequeue();
    }
    bool chooseFont(QWidget *, const QFont &initial, QFont *chosen) override
    {
        fontRequests.append(initial);
        if (fontAccepted)
            *chosen = fontAnswer;
        return fontAccepted;
    }
    QString inputText(QWidget *, const QString &caption, const QString &prompt) override
    {
        inputPrompts.append(caption + u'|' + prompt);
        return inputAnswers.isEmpty() ? QString() : inputAnswers.dequeue();
    }
    bool startDetached(const QString &program, const QStringList &arguments) override
    {
        started.append(QStringList{program} + arguments);
        return true;
    }
    bool openUrl(const QUrl &url) override
    {
        QMutexLocker locker(&lock);
        opened.append(url);
        return true;
    }
    std::int64_t milliseconds() override { return clock.elapsed(); }

private:
    mutable QMutex lock;
    QList<QUrl> opened;
    QElapsedTimer clock;
};

// One life of the program inside temporary folders: settings in <root>/config,
// per-user data in <root>/data, recovery copies under <root>/state, the "executable folder" <root>/bin. Installs a
// ScriptedPlatform. The destructor shuts the program down.
// Counts the paint events a widget receives: it shows that the widget kept drawing.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget *widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

// The id of a process that has ended (and been reaped): no program runs under it now.
qint64 endedPid();

class TestApp {
public:
    TestApp();
    ~TestApp();

    // Writes files before start() as needed, then starts with these extra arguments.
    bool start(const QStringList &arguments = {});
    // Writes the settings file the next start() reads.
    bool writeSettings(const Settings &settings);
    // The same, with a converter that can never start: no page is converted or exported.
    bool useMissingConverter(Settings settings = Settings());
    int shutdown();

    QString root() const { return dir.path() + u'/'; }
    QString configDir() const { return root() + QStringLiteral("config/Quilldown/"); }
    QString binDir() const { return root() + QStringLiteral("bin/"); }
    QString docsDir() const { return root() + QStringLiteral("docs/"); }

    ScriptedPlatform platform;

private:
    QTemporaryDir dir;
    bool running = false;
    QByteArray savedConfig, savedData, savedState, savedPath;
};

// The running program's two editors, and small ways to drive them.
class QsciScintillaBase;
QsciScintillaBase *markdown();
QsciScintillaBase *head();
// The running program's document, and the last page the preview was given ("" before).
class Document;
Document &document();
QString lastPage();
long send(QsciScintillaBase *editor, unsigned int message, unsigned long wParam = 0, long lParam = 0);
// Adds text at the caret, as typing would.
void type(QsciScintillaBase *editor, const QByteArray &text);

// Converter arguments with the fresh file Pandoc writes ("-o <folder>/.<page>.<random>.part",
// which then replaces the page) given as the page's own name, "" when it is not of that form.
QStringList withPageNames(QStringList arguments);

QByteArray readFileBytes(const QString &path);
bool writeFileBytes(const QString &path, const QByteArray &bytes);

// Runs a Qt Test class in a QApplication set up for WebEngine as the program sets
// itself up.
// `prelude` runs first, before any thread exists.
#define QUILLDOWN_TEST_MAIN_WITH(TestClass, prelude)                                       \
    int main(int argc, char **argv)                                                        \
    {                                                                                      \
        prelude;                                                                           \
        EngineEnvironment engine;                                                          \
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);                        \
        QApplication application(argc, argv);                                              \
        engine.settle();                                                                   \
        TestClass test;                                                                    \
        return QTest::qExec(&test, argc, argv);                                            \
    }
#define QUILLDOWN_TEST_MAIN(TestClass) QUILLDOWN_TEST_MAIN_WITH(TestClass, (void)0)
