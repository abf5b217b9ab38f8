// The main loop's idle pass rests while nothing happens and wakes for every kind of work
// the preview gets, with the real worker and the real Pandoc.
#include "common/TestSupport.h"

#include "core/AppState.h"
#include "app/IdlePass.h"
#include "app/MainWindow.h"
#include "conversion/ConversionWorker.h"
#include "preview/PreviewPane.h"
#include "preview/PreviewReload.h"

#include <QDir>

namespace {

constexpr int kWait = 20000;

// The last converted page is the one the pane shows, fully loaded and in place.
bool showsLatestPage()
{
    const QString latest = lastPage();
    return !latest.isEmpty() && app().previewReadyPath.isEmpty() && !mainWindow()->preview()->isLoadingPage() &&
           !mainWindow()->previewController()->reload().restorePending() &&
           !mainWindow()->previewController()->reload().patchPending() && mainWindow()->preview()->shownPage() == latest;
}

} // namespace

class TestIdlePass : public QObject {
    Q_OBJECT
private slots:
    void restsWhenIdleAndWakesForEditsAndPages()
    {
        TestApp t;
        QVERIFY(QDir().mkpath(t.docsDir()));
        const QString path = t.docsDir() + QStringLiteral("notes.md");
        QVERIFY(writeFileBytes(path, "# Notes\n\nFirst words.\n"));
        QVERIFY(t.start({path}));
        QTRY_VERIFY_WITH_TIMEOUT(showsLatestPage(), kWait);
        QTRY_VERIFY_WITH_TIMEOUT(!IdlePassAwake(), kWait);

        // An edit while resting: its page is converted and shown.
        const QString first = lastPage();
        type(markdown(), "More ");
        QTRY_VERIFY_WITH_TIMEOUT(lastPage() != first && showsLatestPage(), kWait);
        QTRY_VERIFY_WITH_TIMEOUT(!IdlePassAwake(), kWait);

        // A conversion without any edit: only the finished page itself can wake the
        // loop, and it must, or the page would never be shown.
        const QString second = lastPage();
        ActiveConversionHost()->refresh();
        QTRY_VERIFY_WITH_TIMEOUT(lastPage() != second && showsLatestPage(), kWait);
        QTRY_VERIFY_WITH_TIMEOUT(!IdlePassAwake(), kWait);
        QCOMPARE(t.shutdown(), 0);
    }
};

QUILLDOWN_TEST_MAIN(TestIdlePass)
#include "tst_idlepass.moc"
