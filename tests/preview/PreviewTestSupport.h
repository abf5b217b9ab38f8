#pragma once
// The program started with a converter that cannot run, so no conversion ever publishes
// a page by itself: the tests publish their own pages through the hand-over slot.

#include "common/TestSupport.h"

#include "core/AppState.h"
#include "app/IdlePass.h"
#include "app/MainWindow.h"
#include "preview/PreviewPane.h"
#include "preview/PreviewModule.h"
#include "preview/PreviewReload.h"
#include "preview/ScrollSync.h"
#include "settings/Settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <Qsci/qsciscintillabase.h>

inline constexpr int kWait = 20000;

// The running window's preview: its controller and the parts it holds.
inline PreviewController *previewController()
{
    return mainWindow()->previewController();
}
inline PreviewPane *previewPane()
{
    return mainWindow()->preview();
}
inline PreviewReload &previewReload()
{
    return previewController()->reload();
}
inline ScrollSync &scrollSync()
{
    return previewController()->scrollSync();
}

// An HTML page of `paragraphs` numbered paragraphs, about 100 bytes each. It has no
// content policy, so publishing it always loads it (its body's scripts would run).
inline QByteArray pageHtml(int paragraphs, const QByteArray &extraBody = {})
{
    QByteArray html = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>t</title></head><body>\n";
    html += extraBody;
    for (int i = 0; i < paragraphs; ++i)
        html += "<p>Paragraph " + QByteArray::number(i) +
                ": the quick brown fox jumps over the lazy dog, again and again.</p>\n";
    html += "</body></html>\n";
    return html;
}

class PreviewSession {
public:
    TestApp t;
    QTemporaryDir pages;

    bool start()
    {
        Settings settings;
        settings.WinW = 1000;
        settings.WinH = 700;
        if (!t.useMissingConverter(settings))
            return false;
        if (!t.start())
            return false;
        // The start-up page is never converted here (no converter).
        app().freshDocument = 0;
        return true;
    }

    PreviewPane *pane() const { return mainWindow()->preview(); }
    QsciScintillaBase *editor() const { return mainWindow()->markdownEditor(); }

    QString writePage(const QString &name, const QByteArray &html)
    {
        const QString path = pages.path() + u'/' + name;
        return writeFileBytes(path, html) ? path : QString();
    }

    // Publishes a page as the worker would, waking the main loop's idle pass.
    void publish(const QString &path)
    {
        app().previewReadyPath.set(path);
        KeepIdlePassAwake();
    }

    // True once `path` is shown, loaded or patched in, and any restore is done.
    bool shows(const QString &path) const
    {
        return app().previewReadyPath.isEmpty() && !previewReload().restorePending() &&
               !previewReload().patchPending() && !pane()->isLoadingPage() && pane()->shownPage() == path;
    }
};

// Scrolls the page the way a reader would, bypassing the program's own setters.
inline void userScrollPreview(PreviewPane *pane, int offset)
{
    pane->page()->runJavaScript(QStringLiteral("window.scrollTo(0,%1);").arg(offset));
}
