#pragma once
// The preview's conversions for one document: a request for each change of its texts or
// its stylesheet, the finished page handed to the preview pane, failures and progress
// shown in the window, and Preview in Browser.

#include "conversion/ConversionWorker.h"

#include <QObject>
#include <QString>
#include <QTimer>

class Document;

class ConversionHost : public QObject {
    Q_OBJECT
public:
    explicit ConversionHost(QObject *parent = nullptr);
    // Stops the worker (as stop() with no document).
    ~ConversionHost() override;

    // Starts the worker with the settings in use (the converter setting is fixed from now
    // on); false when its thread cannot be made.
    bool start();
    // The document whose texts are converted: every edit asks for a page after the quiet
    // time, a replaced text, a chosen stylesheet or a new path (Save, Save As: relative
    // pictures resolve in the new folder) at once.
    void follow(Document *document);
    // Ends the worker and removes its files, keeping the document's own.
    void stop();

    // Asks for a page of the text as it is, at once (Refresh).
    void refresh();
    // Opens the page of the text as it is now in the browser: the last page when nothing
    // changed since, else the page of a request made for it, once it is ready.
    void previewInBrowser();

    // The last page shown for the newest text ("" before the first); its folder.
    QString lastPage() const { return lastPage_; }
    QString previewFolder() const { return thread_.previewFolder(); }

signals:
    // The page of the newest text is ready and was handed to the pane.
    void pageShown(const QString &path);

private:
    quint64 requestNow(int quietMs, bool forBrowser);
    void pageReady(const QString &path, quint64 id);

    ConversionThread thread_;
    Document *document_ = nullptr;
    // Edits within one turn of the event loop are taken as one request.
    QTimer editBatch_;
    // A new path is looked at once the command that set it is done: the texts replaced
    // with it (New, Open) are asked for already.
    QTimer pathCheck_;
    QString requestedPath_;    // the document path of the newest request
    quint64 shownId_ = 0;      // the request of the last page shown
    quint64 browserId_ = 0;    // the request whose page goes to the browser, 0 for none
    QString lastPage_;
};
