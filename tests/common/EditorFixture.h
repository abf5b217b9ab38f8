#pragma once
// The two editors as the main window sets them up, without the window: connected to the
// notification reactions (with the hooks a test gives), set up from default settings, in
// a window of their own.

#include "core/AppState.h"
#include "editor/Editor.h"

#include <QTest>
#include <QVBoxLayout>
#include <QWidget>
#include <Qsci/qsciscintillabase.h>

class EditorFixture {
public:
    explicit EditorFixture(const EditorHooks &hooks = {})
    {
        app().settings = Settings();
        window.resize(600, 800);
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(markdown);
        layout->addWidget(head);
        ConnectEditorNotifications(markdown, EditorRole::Markdown, hooks);
        ConnectEditorNotifications(head, EditorRole::Head, hooks);
        SetupEditor(markdown);
        SetupEditor(head);
    }

    // Shows the window and waits until it can take keys.
    bool showActive()
    {
        window.show();
        return QTest::qWaitForWindowActive(&window);
    }

    QWidget window;
    QsciScintillaBase *markdown = new QsciScintillaBase(&window);
    QsciScintillaBase *head = new QsciScintillaBase(&window);
};
