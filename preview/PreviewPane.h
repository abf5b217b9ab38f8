#pragma once
// The preview pane: a web view that shows the converted page, keeps the reader's
// scroll position across reloads and decides which navigations it allows.

#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>

// A page in silent mode: no script dialogs, no new windows; every navigation is asked of
// OnPreviewNavigate first.
class PreviewPage : public QWebEnginePage {
    Q_OBJECT
public:
    explicit PreviewPage(QObject *parent = nullptr);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage *createWindow(WebWindowType type) override;
    void javaScriptAlert(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptConfirm(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptPrompt(const QUrl &securityOrigin, const QString &msg, const QString &defaultValue,
                          QString *result) override;
};

class PreviewPane : public QWebEngineView {
    Q_OBJECT
public:
    explicit PreviewPane(QWidget *parent = nullptr);
    PreviewPage *previewPage() const { return page_; }

private:
    PreviewPage *page_;
};

bool OnPreviewNavigate(const QUrl &url);
// Idle work of the main loop: loads a finished page, restores the scroll offset, or
// mirrors the preview's scrolling into the editor.
void RefreshPreview();
void RefreshCommand();       // HTML > Refresh
void PreviewInBrowser();     // HTML > Preview in Browser
