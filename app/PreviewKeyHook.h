#pragma once
// Keeps the document shortcuts working while the preview has the keyboard focus: the web
// view would otherwise take Ctrl+N, Ctrl+O and Ctrl+S for itself. Which keys it takes
// and what they do there is said by the command table (InPreview). The filter is
// installed only while the focus is inside the preview.

#include "app/Commands.h"

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

// What the hook does with one key event (a press, a release or the window's question
// whether the focus wants the key): pass it on (AsElsewhere), or take it and run the
// command once for a fresh press (RunOnce), or do nothing (Nothing).
PreviewKeyOutcome PreviewKeyAction(const QKeyEvent &event);
