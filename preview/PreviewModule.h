#pragma once
// What the preview module offers the program that loads it, and what it is given. The
// program never links the module: it loads the library once its window is shown and
// asks it for this table by the one name it exports (quilldown_preview_module).

#include <QString>
#include <QtGlobal>
#include <functional>

class PreviewPane;
class QWidget;
class QsciScintillaBase;

// Whether the pane is drawn in software, the default: the web engine's software
// compositor, shown by Qt Quick's software renderer. A Qt Quick backend chosen in the
// environment (QT_QUICK_BACKEND) is respected instead.
inline bool SoftwarePreview()
{
    return qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND");
}

// What the pane is made for and how it reaches the rest of the program.
struct PreviewContext {
    QWidget *parent = nullptr;                    // the widget the pane is made for
    QsciScintillaBase *editor = nullptr;          // the Markdown editor the preview follows
    std::function<bool()> syncScroll;             // whether editor and preview scroll together
    std::function<void()> activity;               // something may have given the preview work
    std::function<void(const QString &)> note;    // a note for the reader (the status bar)
    // Puts the new pane in its place; `widget` is the pane as a widget.
    std::function<void(QWidget *widget, PreviewPane *pane)> place;
};

struct PreviewModule {
    void (*createPane)(const PreviewContext &context);   // makes the pane and places it
    void (*refresh)();                // the idle pass's preview work
    bool (*busy)();                   // a page is loading, a restore or a script is pending
    void (*showBlankPage)();
    void (*alignPreview)();           // Ctrl+Tab
    void (*syncEditorToPreview)();    // the editor moved
};

// The module's one exported function, looked up by this name once it is loaded.
using PreviewModuleEntry = const PreviewModule *(*)();
inline constexpr char kPreviewModuleEntry[] = "quilldown_preview_module";
