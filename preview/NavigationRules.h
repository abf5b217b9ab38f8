#pragma once
// Which navigations of the preview are allowed and where the others go: decisions on
// addresses, files and times only, no widget involved.

#include <QString>
#include <QUrl>
#include <cstdint>

// How long after the user's click or key a navigation counts as following it.
inline constexpr int kGestureMs = 1000;

// Whether two URLs name the same navigation (local files compared as paths).
bool SameNavigation(const QUrl &a, const QUrl &b);

// The navigation hook: true when the pane itself loads `url`; web addresses and other
// local files are handed to the system instead (a local file only as LocalHandOff allows).
// `pageInitiated` is true for navigations a page script started without the user
// (redirects): those are cancelled without handing anything to the system. A refusal the
// reader should hear of leaves its text in `note`.
bool OnPreviewNavigate(const QUrl &url, bool pageInitiated = false, QString *note = nullptr);

// Whether the desktop's opener might run the file at `path` instead of showing it: a
// launcher under any name, a program, script or library, a Java or Windows program,
// anything with an execute bit, a name with control characters, and anything that is not
// a readable regular file. Judged as the desktop judges: by the name (also as an opener
// that decodes percent escapes once more would read it) and by the content, as the
// shared MIME database types them; either one refusing is enough. Never blocks on a pipe.
bool DesktopMightRun(const QString &path);

// The address to hand the desktop for the local file `path`: built from the file's
// canonical path, so the opener decodes exactly the path that was checked. Empty when
// `path` is not a regular file or DesktopMightRun refuses it.
QUrl LocalHandOff(const QString &path);

// Whether a navigation of the shown page (`linkClicked`: the page reports a link) at
// `now` may still follow the user's gesture made at `gestureAt` (-1: none pending).
bool MayFollowGesture(bool linkClicked, std::int64_t gestureAt, std::int64_t now);

// Whether a navigation that arrived at `at` is the very link the page said the user
// pressed (`gestureLink`) at `gestureAt`.
bool FollowsGesture(const QUrl &url, std::int64_t at, std::int64_t gestureAt, const QUrl &gestureLink);

// Whether following `url` from the page at `shown` leaves that page (another place in
// the same page keeps it as it is).
bool LeavesPage(const QUrl &url, const QUrl &shown);
