#pragma once
// What a page in the preview may load and where its links may lead. A document may come
// from anyone: its page must not read the user's files, hand addresses to the desktop by
// itself, or show local files in frames.

#include <QString>
#include <QUrl>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>

// Whether a page may load the local file `path` as a resource of `type`: only regular
// files (a pipe or device would keep the page loading for good, a folder would be
// listed), and only as what a page shows or runs (pictures, media, fonts, "*.css"
// stylesheets, "*.js" scripts), never as content handed to a script (requests, frames,
// objects, workers).
bool LocalRequestAllowed(const QString &path, QWebEngineUrlRequestInfo::ResourceType type);

// Refuses every local request LocalRequestAllowed does not allow.
class LocalResourceGuard : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo &info) override;
};

// Whether a frame inside the page may load `url`: web pages (embedded videos, maps) and
// the engine's own blank and inline frames, never a local file.
bool FrameMayLoad(const QUrl &url);

// A script for the page's isolated world that answers the address of the link drawn
// visibly at the point (x, y) of the view, in CSS pixels, or, when `atPoint` is false, of
// the focused link if the user focused it (UserFocusScript) and it is drawn visibly; ""
// otherwise. Drawn visibly at a point: the page's hit test finds the link (or something
// inside it) there, neither it nor anything around it is hidden or fully transparent,
// something of the link is painted there (text in a colour that shows, a picture, a
// background), and nothing the hit test passes over (pointer-events: none) is painted
// over it.
QString LinkQueryScript(bool atPoint, double x = 0, double y = 0);

// A script for the page's isolated world, run as each document is made: it remembers
// the element the user last focused by Tab or click (a script's focus() clears it).
QString UserFocusScript();

// The status bar's notes about refused navigations.
QString BlockedByPageNote();
QString BlockedProgramNote(const QString &path);
