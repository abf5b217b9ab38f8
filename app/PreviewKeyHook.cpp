#include "app/PreviewKeyHook.h"

#include "core/AppState.h"
#include "app/Commands.h"
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

namespace {

// The window shortcuts the hook takes over while the preview has the focus.
const QList<QKeySequence> &hookedKeys()
{
    static const QList<QKeySequence> keys = {
        QKeySequence(Qt::CTRL | Qt::Key_N), QKeySequence(Qt::CTRL | Qt::Key_O), QKeySequence(Qt::CTRL | Qt::Key_S),
        QKeySequence(Qt::CTRL | Qt::Key_P), QKeySequence(Qt::CTRL | Qt::Key_L)};
    return keys;
}

} // namespace

void PreviewKeyHook::updateForFocus()
{
    MainWindow *w = mainWindow();
    const bool inPreview = w && w->focusedPane() == FocusedPane::Preview;
    if (inPreview && !installed_) {
        w->suspendShortcuts(hookedKeys(), true);
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
    if (MainWindow *w = mainWindow())
        w->suspendShortcuts(hookedKeys(), false);
}

int PreviewKeyAction(const QKeyEvent &event)
{
    // Ctrl+Shift combinations (Ctrl+Shift+N: New Window) keep their own meaning.
    const Qt::KeyboardModifiers mods = event.modifiers();
    if (!(mods & Qt::ControlModifier) || (mods & Qt::ShiftModifier))
        return -1;
    const bool fresh = event.type() == QEvent::KeyPress && !event.isAutoRepeat();
    switch (event.key()) {
    case Qt::Key_N: return fresh ? CmdNew : 0;
    case Qt::Key_O: return fresh ? CmdOpen : 0;
    case Qt::Key_S: return fresh ? CmdSave : 0;
    case Qt::Key_P:
    case Qt::Key_L: return 0;
    default: return -1;
    }
}

bool PreviewKeyHook::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return QObject::eventFilter(watched, event);
    // The view forwards keys to inner objects; act where the key first arrives.
    if (watched != QApplication::focusWidget())
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    const int action = PreviewKeyAction(*key);
    if (action < 0)
        return false;
    if (action > 0) {
        QMetaObject::invokeMethod(qApp, [action] { RunCommand(action); }, Qt::QueuedConnection);
    }
    return true;
}
