#include "preview/PreviewPane.h"

#include "app/AppState.h"
#include "conversion/ConversionWorker.h"

PreviewPage::PreviewPage(QObject *parent)
    : QWebEnginePage(parent)
{
}

bool PreviewPage::acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame)
{
    if (!isMainFrame)
        return true;
    return OnPreviewNavigate(url);
}

QWebEnginePage *PreviewPage::createWindow(WebWindowType)
{
    return nullptr;
}

void PreviewPage::javaScriptAlert(const QUrl &, const QString &) {}

bool PreviewPage::javaScriptConfirm(const QUrl &, const QString &)
{
    return false;
}

bool PreviewPage::javaScriptPrompt(const QUrl &, const QString &, const QString &, QString *)
{
    return false;
}

PreviewPane::PreviewPane(QWidget *parent)
    : QWebEngineView(parent)
    , page_(new PreviewPage(this))
{
    setPage(page_);
    setUrl(QUrl(QStringLiteral("about:blank")));
}

bool OnPreviewNavigate(const QUrl &url)
{
    return url.toString().startsWith(QLatin1String("about:"));
}

void RefreshPreview() {}

void RefreshCommand()
{
    if (!app().changeSuppression.load())
        RequestConversion();
}

void PreviewInBrowser() {}
