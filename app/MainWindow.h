#pragma once
// The main window: the two editors and the preview in their splitters, the menu bar,
// the keyboard shortcuts and the one-field status bar.

#include <QMainWindow>
#include <QMap>
#include <QSplitter>
#include <memory>

class Document;
class PaneFocusMark;
class PreviewController;
class PreviewPane;
class QAction;
class QLabel;
class QsciScintillaBase;
struct Command;

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

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow();
    ~MainWindow() override;

    QsciScintillaBase *markdownEditor() const { return markdownEditor_; }
    QsciScintillaBase *headEditor() const { return headEditor_; }
    // The document over the two editors; owned by the window.
    Document *document() const { return document_.get(); }
    // The preview pane, or nullptr until the preview module has made it.
    PreviewPane *preview() const { return preview_; }
    // Puts the pane (one object, as a widget and as itself) where the blank stand-in was.
    void setPreviewPane(QWidget *widget, PreviewPane *pane);
    // The preview module's controller of the pane, owned by the window from here on.
    void adoptPreviewController(std::unique_ptr<PreviewController> controller);
    PreviewController *previewController() const { return previewController_.get(); }
    RatioSplitter *paneSplitter() const { return paneSplitter_; }
    QSplitter *editorSplitter() const { return editorSplitter_; }

    QString statusText() const;
    void setStatusText(const QString &text);

    // The action of a command id (a menu item, or the window's key for a command
    // without one), or nullptr for an id the table does not have.
    QAction *commandAction(int id) const { return actions_.value(id); }
    // Which of the three panes holds the keyboard focus.
    FocusedPane focusedPane() const;
    // The widget of a pane, nullptr for None.
    QWidget *paneWidget(FocusedPane pane) const;
    // Moves the focus `step` panes on in the order Markdown, Head, Preview, wrapping
    // round (F6 and Shift+F6); from outside the panes it goes to the Markdown editor.
    void focusNextPane(int step);
    // The frame that marks the focused pane.
    const PaneFocusMark *focusMark() const { return focusMark_; }

    void LayoutPanes();
    void RecordWindowGeometry();

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // The menus and the window's keys, from the command table.
    void buildCommands();
    QAction *addCommand(QMenu *menu, const Command &command);
    void addStylesheetMenu(QMenu *menu);
    void placeHeadDivider();

    QsciScintillaBase *markdownEditor_ = nullptr;
    QsciScintillaBase *headEditor_ = nullptr;
    // Goes with the window, before its widgets (the editors it works on).
    std::unique_ptr<Document> document_;
    PreviewPane *preview_ = nullptr;
    QWidget *previewWidget_ = nullptr;
    RatioSplitter *paneSplitter_ = nullptr;
    QSplitter *editorSplitter_ = nullptr;
    QWidget *central_ = nullptr;
    QLabel *status_ = nullptr;
    QMap<int, QAction *> actions_;
    PaneFocusMark *focusMark_ = nullptr;
    std::unique_ptr<PreviewController> previewController_;
    bool built_ = false;
};

// The program's one main window: nullptr before it is built and once it is gone.
MainWindow *mainWindow();
void setMainWindow(MainWindow *window);

// Creates the main window into mainWindow(); false when it cannot be made.
bool BuildMainWindow();
