#pragma once
// Keeps the document shortcuts working while the preview has the keyboard focus: the web
// view would otherwise take Ctrl+N, Ctrl+O and Ctrl+S for itself. Ctrl+P and Ctrl+L do
// nothing there. The filter is installed only while the focus is inside the preview.

#include <QObject>

class QKeyEvent;

class PreviewKeyHook : public QObject {
    Q_OBJECT
public:
    explicit PreviewKeyHook(QObject *parent = nullptr);
    ~PreviewKeyHook() override;

    bool installed() const { return installed_; }
    // Install while the focus is inside the preview, remove otherwise.
    void updateForFocus();
    void uninstall();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool installed_ = false;
};

// What the hook does with one key event; -1 = pass it on, 0 = swallow,
// otherwise swallow and run that command.
int PreviewKeyAction(const QKeyEvent &event);
