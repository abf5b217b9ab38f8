#include "app/PreviewKeyHook.h"

#include "core/AppState.h"
#include "app/MainWindow.h"

#include <QApplication>
#include <QKeyEvent>

PreviewKeyHook::PreviewKeyHook(QObject *parent)
    : QObject(parent)
{
    connect(qApp, &QApplication::focusChanged, this, [this] { updateForFocus(); });
}

PreviewKeyHook::~PreviewKeyHook()
{
    uninstall();
}

void PreviewKeyHook::updateForFocus()
{
    MainWindow *w = mainWindow();
    const bool inPreview = w && w->focusedPane() == FocusedPane::Preview;
    if (inPreview && !installed_) {
        qApp->installEventFilter(this);
        installed_ = true;
    } else if (!inPreview && installed_) {
        uninstall();
    }
}

void PreviewKeyHook::uninstall()
{
    if (!installed_)
        return;
    qApp->removeEventFilter(this);
    installed_ = false;
}

PreviewKeyOutcome PreviewKeyAction(const QKeyEvent &event)
{
    // The keypad flag and the like are not part of a shortcut.
    constexpr Qt::KeyboardModifiers kShortcutModifiers =
        Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    const QKeySequence key(QKeyCombination(event.modifiers() & kShortcutModifiers, Qt::Key(event.key())));
    PreviewKeyOutcome outcome = PreviewKeyUse(key);
    const bool fresh = event.type() == QEvent::KeyPress && !event.isAutoRepeat();
    if (outcome.use == InPreview::RunOnce && !fresh)
        outcome.use = InPreview::Nothing;
    return outcome;
}

bool PreviewKeyHook::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride)
        return QObject::eventFilter(watched, event);
    // The view forwards keys to inner objects; act where the key first arrives.
    if (watched != QApplication::focusWidget())
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    const PreviewKeyOutcome outcome = PreviewKeyAction(*key);
    if (outcome.use == InPreview::AsElsewhere)
        return false;
    if (type == QEvent::ShortcutOverride) {
        // Claiming the key keeps the window's shortcut from firing: the press that
        // follows comes here, and only here is the command run.
        event->accept();
        return true;
    }
    if (outcome.use == InPreview::RunOnce) {
        const int command = outcome.command;
        QMetaObject::invokeMethod(qApp, [command] { RunCommand(command); }, Qt::QueuedConnection);
    }
    return true;
}
