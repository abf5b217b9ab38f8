#pragma once
// The services the program asks of the desktop: dialogs, message boxes, starting
// programs, opening URLs and files, and the millisecond clock. The program talks to
// them only through Platform, so tests can install a scripted one that answers
// dialogs and records what would have been opened.

#include <QFont>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <cstdint>

class QWidget;

enum class MessageIcon { Information, Warning, Error };
enum class MessageButtons { Ok, YesNoCancel, YesNo };
enum class MessageAnswer { Ok, Yes, No, Cancel };
// What an open-file dialog accepts: only an existing file, or also a name not yet taken
// in an existing folder (a document that starts empty under that name).
enum class OpenRule { ExistingFile, NewNameAllowed };

class Platform {
public:
    virtual ~Platform() = default;

    virtual MessageAnswer messageBox(QWidget *parent, MessageIcon icon, const QString &caption,
                                     const QString &text, MessageButtons buttons) = 0;
    // Open-file dialog; `start` is a folder or a file to preselect. "" when cancelled.
    virtual QString openFileName(QWidget *parent, const QString &title, const QString &start,
                                 const QString &filter, OpenRule rule) = 0;
    // Save-file dialog that does not ask before replacing a file. "" when cancelled.
    virtual QString saveFileName(QWidget *parent, const QString &title, const QString &start,
                                 const QString &filter) = 0;
    // Font chooser; returns false when cancelled.
    virtual bool chooseFont(QWidget *parent, const QFont &initial, QFont *chosen) = 0;
    // Small modal text input; "" when cancelled.
    virtual QString inputText(QWidget *parent, const QString &caption, const QString &prompt) = 0;
    // Starts a program without waiting for it.
    virtual bool startDetached(const QString &program, const QStringList &arguments) = 0;
    // Hands a URL (web address or file URL) to the system's default handler without waiting.
    virtual bool openUrl(const QUrl &url) = 0;
    // Monotonic milliseconds since the program started.
    virtual std::int64_t milliseconds() = 0;
};

// The platform in use. Safe to call from any thread; only milliseconds() and openUrl()
// are called from the conversion worker.
Platform &platform();
// Installs a platform (tests); nullptr restores the real one. Not owned.
void setPlatform(Platform *replacement);
