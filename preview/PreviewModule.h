#pragma once
// What the preview module offers the program that loads it, and what it is given. The
// program never links the module: it loads the library once its window is shown and
// calls the one function it exports (quilldown_preview_module), which makes the pane and
// returns its controller. The program reaches the pane through that object only.

#include <QString>
#include <QtGlobal>
#include <functional>

class PreviewPane;
class PreviewReload;
class ScrollSync;
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
    // The address of the link under the pointer or focus, "" once there is none.
    std::function<void(const QString &)> hover;
    // Puts the new pane in its place; `widget` is the pane as a widget.
    std::function<void(QWidget *widget, PreviewPane *pane)> place;
};

// The preview as the program drives it: one pane with its reload and its scroll sync.
// Made by the module's entry, owned by the caller, main thread only. Every call does
// nothing once the pane has gone.
class PreviewController {
public:
    virtual ~PreviewController() = default;

    virtual PreviewPane *pane() const = 0;
    // The idle pass's preview work: a finished page, a pending restore, or the preview's
    // scrolling mirrored into the editor.
    virtual void refresh() = 0;
    // A page is loading, a restore or one of our scripts is pending.
    virtual bool busy() const = 0;
    virtual void showBlankPage() = 0;
    // Ctrl+Tab: the preview to where the editor stands.
    virtual void alignPreview() = 0;
    // The Markdown editor moved: the preview follows when Sync Scroll is on.
    virtual void editorMoved() = 0;

    // The parts, for tests and benchmarks, which link the module.
    virtual PreviewReload &reload() = 0;
    virtual ScrollSync &scrollSync() = 0;
};

// The module's one exported function, looked up by this name once it is loaded: makes
// the pane, places it (PreviewContext::place) and returns its controller, or nullptr
// when no pane could be made.
using PreviewModuleEntry = PreviewController *(*)(const PreviewContext &context);
inline constexpr char kPreviewModuleEntry[] = "quilldown_preview_module";
