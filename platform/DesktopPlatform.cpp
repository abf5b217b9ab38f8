// The real desktop services, built on Qt's dialogs and QDesktopServices.
#include "platform/Platform.h"

#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QMetaObject>
#include <QProcess>
#include <QThread>
#include <QCoreApplication>
#include <atomic>

namespace {

QMessageBox::Icon toQtIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Error: return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

// Takes a name not yet taken as well as an existing file, but only in a folder that exists.
class OpenOrNewDialog final : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    void accept() override
    {
        const QStringList chosen = selectedFiles();
        if (!chosen.isEmpty()) {
            const QFileInfo info(chosen.first());
            if (!info.exists() && !QFileInfo(info.absolutePath()).isDir()) {
                QMessageBox::warning(this, windowTitle(),
                                     QStringLiteral("The folder '%1' does not exist.")
                                         .arg(QDir::toNativeSeparators(info.absolutePath())));
                return;
            }
        }
        QFileDialog::accept();
    }
};

class DesktopPlatform final : public Platform {
public:
    DesktopPlatform() { clock_.start(); }

    MessageAnswer messageBox(QWidget *parent, MessageIcon icon, const QString &caption,
                             const QString &text, MessageButtons buttons) override
    {
        QMessageBox box(toQtIcon(icon), caption, text, QMessageBox::NoButton, parent);
        if (buttons == MessageButtons::YesNoCancel) {
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            box.setEscapeButton(QMessageBox::Cancel);
        } else if (buttons == MessageButtons::YesNo) {
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            // Escape, or the box closed by a signal, is no answer at all: never taken for No.
            QPushButton *none = box.addButton(QMessageBox::Cancel);
            none->hide();
            box.setEscapeButton(none);
        } else {
            box.setStandardButtons(QMessageBox::Ok);
        }
        switch (box.exec()) {
        case QMessageBox::Yes: return MessageAnswer::Yes;
        case QMessageBox::No: return MessageAnswer::No;
        case QMessageBox::Ok: return MessageAnswer::Ok;
        default: return MessageAnswer::Cancel;
        }
    }

    QString openFileName(QWidget *parent, const QString &title, const QString &start,
                         const QString &filter, OpenRule rule) override
    {
        if (rule == OpenRule::ExistingFile)
            return QFileDialog::getOpenFileName(parent, title, start, filter);
        // The desktop's own open dialogs take existing files only; Qt's takes any name.
        OpenOrNewDialog dialog(parent, title, start, filter);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::AnyFile);
        if (dialog.exec() != QDialog::Accepted)
            return QString();
        return dialog.selectedFiles().value(0);
    }

    QString saveFileName(QWidget *parent, const QString &title, const QString &start,
                         const QString &filter) override
    {
        return QFileDialog::getSaveFileName(parent, title, start, filter, nullptr,
                                            QFileDialog::DontConfirmOverwrite);
    }

    bool chooseFont(QWidget *parent, const QFont &initial, QFont *chosen) override
    {
        bool ok = false;
        QFont font = QFontDialog::getFont(&ok, initial, parent);
        if (ok)
            *chosen = font;
        return ok;
    }

    QString inputText(QWidget *parent, const QString &caption, const QString &prompt) override
    {
        bool ok = false;
        QString text = QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, QString(), &ok);
        return ok ? text : QString();
    }

    bool startDetached(const QString &program, const QStringList &arguments) override
    {
        return QProcess::startDetached(program, arguments);
    }

    bool openUrl(const QUrl &url) override
    {
        // QDesktopServices belongs to the GUI thread; the worker hands the call over.
        if (QThread::currentThread() != qApp->thread()) {
            QMetaObject::invokeMethod(qApp, [url] { QDesktopServices::openUrl(url); },
                                      Qt::QueuedConnection);
            return true;
        }
        return QDesktopServices::openUrl(url);
    }

    std::int64_t milliseconds() override { return clock_.elapsed(); }

private:
    QElapsedTimer clock_;
};

DesktopPlatform &desktop()
{
    static DesktopPlatform instance;
    return instance;
}

std::atomic<Platform *> installed{nullptr};

} // namespace

Platform &platform()
{
    Platform *p = installed.load();
    return p ? *p : desktop();
}

void setPlatform(Platform *replacement)
{
    installed.store(replacement);
}
