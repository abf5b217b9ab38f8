// Start-up order, command line, fatal paths and shutdown.
#include "common/TestSupport.h"

#include "core/AppState.h"
#include "app/Commands.h"
#include "app/MainWindow.h"
#include "app/PreviewHost.h"
#include "app/Startup.h"
#include "platform/TerminationSignal.h"
#include "preview/PreviewPane.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <csignal>
#include <sys/stat.h>
#include <Qsci/qsciscintillabase.h>

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void firstStartIsCentredLaterStartsUseStoredPlace()
    {
        {
            TestApp t;
            QVERIFY(t.start());
            MainWindow *w = mainWindow();
            QCOMPARE(w->size(), QSize(800, 600));
            const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
            QCOMPARE(w->pos(), area.center() - QPoint(400, 300));
            t.shutdown();
            const QByteArray ini = readFileBytes(t.configDir() + QStringLiteral("Quilldown.ini"));
            QVERIFY(ini.contains("\r\nWinCen = 0\r\n"));
            QVERIFY(ini.contains("\r\nWinW = 800\r\n"));

            // Second start: stored place and size.
            QByteArray edited = ini;
            edited.replace(QByteArray("WinW = 800"), QByteArray("WinW = 640"));
            edited.replace(QByteArray("WinX = "), QByteArray("WinX = 21\r\nIgnored = "));
            QVERIFY(writeFileBytes(t.configDir() + QStringLiteral("Quilldown.ini"), edited));
            QVERIFY(t.start());
            QCOMPARE(mainWindow()->pos().x(), 21);
            QCOMPARE(mainWindow()->width(), 640);
        }
    }

    void failedInitialisationEndsCleanlyWithoutTouchingSettings()
    {
        TestApp t;
        // An empty default stylesheet makes start-up fail before the settings are read.
        QVERIFY(QDir().mkpath(t.binDir() + QStringLiteral("css")));
        QVERIFY(writeFileBytes(t.binDir() + QStringLiteral("css/air.css"), QByteArray()));
        QVERIFY(QDir().mkpath(t.configDir()));
        const QByteArray original = "FontSize = 15\r\n[keep]\r\nmine = 1\r\n";
        QVERIFY(writeFileBytes(t.configDir() + QStringLiteral("Quilldown.ini"), original));

        QVERIFY(!t.start());
        QCOMPARE(t.platform.messageCount(), 1);
        QCOMPARE(t.platform.lastMessage().text, QStringLiteral("Could not initialize Pandoc!"));
        QCOMPARE(t.platform.lastMessage().icon, MessageIcon::Error);
        QCOMPARE(t.platform.lastMessage().caption, QStringLiteral("Quilldown"));
        // No worker was started; shutdown ends all the same.
        QVERIFY(!ActiveConversionHost());
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(t.shutdown(), 0);
        QVERIFY(clock.elapsed() < 20000);
        QCOMPARE(readFileBytes(t.configDir() + QStringLiteral("Quilldown.ini")), original);
    }

    void unwritableSettingsFolderIsQuiet()
    {
        TestApp t;
        // The per-user folder cannot be created: a file stands where it should be.
        QVERIFY(writeFileBytes(t.root() + QStringLiteral("config/Quilldown"), "not a folder"));
        QVERIFY(t.start());
        QCOMPARE(t.shutdown(), 0);
        QCOMPARE(t.platform.messageCount(), 0);
        QCOMPARE(readFileBytes(t.root() + QStringLiteral("config/Quilldown")), QByteArray("not a folder"));
    }

    void commandLineArgument()
    {
        {
            TestApp t;
            QVERIFY(t.start({t.docsDir()}));   // a folder: new document
            QCOMPARE(document().path(), QString());
            QCOMPARE(document().lastFolder(), QString());
        }
        {
            TestApp t;
            QVERIFY(t.start({t.docsDir() + QStringLiteral("missing.md")}));
            QCOMPARE(document().path(), QString());
        }
        {
            TestApp t;
            const QString file = t.docsDir() + QStringLiteral("empty.md");
            QVERIFY(writeFileBytes(file, QByteArray()));
            QVERIFY(t.start({file, QStringLiteral("ignored.md")}));
            QCOMPARE(document().lastFolder(), t.docsDir());
            QCOMPARE(document().path(), file);
        }
        {
            // A file that cannot be read: a new document, and the reason stays in view.
            TestApp t;
            const QString pipe = t.docsDir() + QStringLiteral("pipe.md");
            QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
            QVERIFY(t.start({pipe}));
            QCOMPARE(document().path(), QString());
            QCOMPARE(mainWindow()->statusText(), QStringLiteral("Could not open 'pipe.md'."));
        }
    }

    void exitEndsTheLoop()
    {
        TestApp t;
        QVERIFY(t.start());
        QCOMPARE(app().quit.load(), 0);
        RunCommand(CmdExit);
        QCOMPARE(app().quit.load(), 1);
        QVERIFY(!mainWindow()->isVisible());
    }

    // Last: after QCoreApplication::exit() this thread's event loops end at once.
    // The process settings made before the application object: the engine's options stay
    // for the engine, which reads them later; the window system's OpenGL switch is taken
    // back once read, and a choice found in the environment is never overridden.
    void engineEnvironment()
    {
        const bool root = geteuid() == 0;
        const QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
        QVERIFY(flags.contains("--disable-gpu"));   // given by the test environment, kept
        QCOMPARE(flags.split(' ').count("--no-zygote"), root ? 1 : 0);
        QCOMPARE(flags.split(' ').count("--disable-reading-from-canvas"), 1);
        QCOMPARE(qgetenv("QTWEBENGINE_DISABLE_SANDBOX") == "1", root);
        QVERIFY(!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"));
        QVERIFY(SoftwarePreview());

        {
            EngineEnvironment again;
            QCOMPARE(qgetenv("QTWEBENGINE_CHROMIUM_FLAGS"), flags);   // never twice
            QCOMPARE(qgetenv("QT_XCB_GL_INTEGRATION"), QByteArray("none"));
            again.settle();
            QVERIFY(!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"));
        }
        {
            qputenv("QT_XCB_GL_INTEGRATION", "xcb_glx");
            EngineEnvironment chosen;
            chosen.settle();
            QCOMPARE(qgetenv("QT_XCB_GL_INTEGRATION"), QByteArray("xcb_glx"));
            qunsetenv("QT_XCB_GL_INTEGRATION");
        }
        {
            qputenv("QT_QUICK_BACKEND", "opengl");
            QVERIFY(!SoftwarePreview());
            EngineEnvironment withOpenGL;
            QVERIFY(!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"));
            withOpenGL.settle();
            qunsetenv("QT_QUICK_BACKEND");
        }
        if (root) {
            qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "");
            EngineEnvironment bare;
            QCOMPARE(qgetenv("QTWEBENGINE_CHROMIUM_FLAGS"), QByteArray("--no-zygote --disable-reading-from-canvas"));
            bare.settle();
            qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
        }
    }

    void terminationSignalEndsEvenAModalDialog()
    {
        TestApp t;
        QVERIFY(t.start());
        EndOnTerminationSignals(mainWindow());
        QTimer::singleShot(0, [] { ::raise(SIGTERM); });
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Quilldown"), QStringLiteral("waiting"),
                        QMessageBox::Ok);
        box.exec();   // returns only because the signal closed it
        QCOMPARE(app().quit.load(), 1);
        QVERIFY(!box.isVisible());
    }
};

QUILLDOWN_TEST_MAIN(TestStartup)
#include "tst_startup.moc"
