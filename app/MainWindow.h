#pragma once
// The main window: the two editors and the preview in their splitters, the menu bar,
// the keyboard shortcuts and the one-field status bar.

#include <QKeySequence>
#include <QList>
#include <QMainWindow>
#include <QMap>
#include <QSplitter>

class Document;
class QAction;
class QLabel;
class QShortcut;
class QsciScintillaBase;
class PreviewPane;

// A splitter that keeps its divider at (size - handle) / ratio when resized; moving the
// divider, by the user or the program, sets a new ratio.
class RatioSplitter : public QSplitter {
    Q_OBJECT
public:
    explicit RatioSplitter(Qt::Orientation orientation, QWidget *parent = nullptr);
    void setDividerPosition(int position);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    int extent() const;
    void applyRatio();
    double ratio_ = 2.0;
};

// The pane that holds the keyboard focus.
enum class FocusedPane { None, Markdown, Head, Preview };

struct ShortcutEntry {
    QKeySequence key;
    int command;
};

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow();

    QsciScintillaBase *markdownEditor() const { return markdownEditor_; }
    QsciScintillaBase *headEditor() const { return headEditor_; }
    // The document over the two editors; owned by the window.
    Document *document() const { return document_; }
    // The preview pane, or nullptr until the preview module has made it.
    PreviewPane *preview() const { return preview_; }
    // Puts the pane (one object, as a widget and as itself) where the blank stand-in was.
    void setPreviewPane(QWidget *widget, PreviewPane *pane);
    RatioSplitter *paneSplitter() const { return paneSplitter_; }
    QSplitter *editorSplitter() const { return editorSplitter_; }

    QString statusText() const;
    void setStatusText(const QString &text);

    // The menu item of a command id, or nullptr for commands without one.
    QAction *commandAction(int id) const { return actions_.value(id); }
    const QList<ShortcutEntry> &shortcutTable() const { return shortcutTable_; }
    // Turns the window's shortcuts on these keys off (true) or back on (false).
    void suspendShortcuts(const QList<QKeySequence> &keys, bool suspended);
    // Which of the three panes holds the keyboard focus.
    FocusedPane focusedPane() const;

    void LayoutPanes();
    void RecordWindowGeometry();

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void buildMenus();
    void buildShortcuts();
    QAction *addCommand(QMenu *menu, const QString &text, int id);
    void placeHeadDivider();

    QsciScintillaBase *markdownEditor_ = nullptr;
    QsciScintillaBase *headEditor_ = nullptr;
    Document *document_ = nullptr;
    PreviewPane *preview_ = nullptr;
    QWidget *previewWidget_ = nullptr;
    RatioSplitter *paneSplitter_ = nullptr;
    QSplitter *editorSplitter_ = nullptr;
    QWidget *central_ = nullptr;
    QLabel *status_ = nullptr;
    QMap<int, QAction *> actions_;
    QList<ShortcutEntry> shortcutTable_;
    QList<QShortcut *> shortcuts_;
    bool built_ = false;
};

// The program's one main window: nullptr before it is built and once it is gone.
MainWindow *mainWindow();
void setMainWindow(MainWindow *window);

// Creates the main window into mainWindow(); false when it cannot be made.
bool BuildMainWindow();
