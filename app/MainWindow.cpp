#include "app/MainWindow.h"

#include "core/AppState.h"
#include "app/Commands.h"
#include "app/Document.h"
#include "app/EditorWiring.h"
#include "app/PaneFocusMark.h"
#include "editor/Drops.h"
#include "editor/Editor.h"
#include "platform/Platform.h"
#include "preview/PreviewModule.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <Qsci/qsciscintillabase.h>

// ---------------------------------------------------------------- RatioSplitter

RatioSplitter::RatioSplitter(Qt::Orientation orientation, QWidget *parent)
    : QSplitter(orientation, parent)
{
    setChildrenCollapsible(false);
    connect(this, &QSplitter::splitterMoved, this, [this](int position) {
        if (position > 0 && extent() > 0)
            ratio_ = double(extent()) / position;
    });
}

int RatioSplitter::extent() const
{
    const int size = orientation() == Qt::Horizontal ? width() : height();
    return size - handleWidth();
}

void RatioSplitter::setDividerPosition(int position)
{
    if (position > 0 && extent() > 0)
        ratio_ = double(extent()) / position;
    applyRatio();
}

void RatioSplitter::applyRatio()
{
    if (count() != 2 || extent() <= 0)
        return;
    const int first = int(extent() / ratio_);
    setSizes({first, extent() - first});
}

void RatioSplitter::resizeEvent(QResizeEvent *event)
{
    QSplitter::resizeEvent(event);
    applyRatio();
}

// ---------------------------------------------------------------- MainWindow

MainWindow::MainWindow()
{
    const Settings &s = app().settingsStore.values();
    setWindowTitle(QStringLiteral("Quilldown"));
    central_ = new QWidget(this);
    setCentralWidget(central_);

    // A hand-edited size far beyond the desktop cannot be painted (its buffers cannot be
    // allocated, and the preview then crashes): hold it to twice the desktop's size. One
    // too small to show any pane takes the default instead.
    QSize size(s.WinW, s.WinH);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableVirtualGeometry().size() * 2);
    if (size.width() < 100)
        size.setWidth(Settings().WinW);
    if (size.height() < 100)
        size.setHeight(Settings().WinH);
    if (s.WinCen != 0) {
        resize(size);
        if (const QScreen *screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            move(area.center() - QPoint(size.width() / 2, size.height() / 2));
        }
    } else {
        // Window systems place windows within 16-bit coordinates; a hand-edited position
        // far beyond would overflow the geometry arithmetic, so it is held at that range.
        constexpr int kFarthest = 32767;
        move(qBound(-kFarthest, s.WinX, kFarthest), qBound(-kFarthest, s.WinY, kFarthest));
        resize(size);
    }

    markdownEditor_ = new QsciScintillaBase;
    headEditor_ = new QsciScintillaBase;
    markdownEditor_->resize(100, 100);
    headEditor_->resize(100, 100);
    ConnectEditorNotifications(markdownEditor_, EditorRole::Markdown, WindowEditorHooks());
    ConnectEditorNotifications(headEditor_, EditorRole::Head, WindowEditorHooks());
    // Screen readers announce the panes by these names.
    markdownEditor_->setAccessibleName(QStringLiteral("Markdown"));
    headEditor_->setAccessibleName(QStringLiteral("Head"));
    document_ = std::make_unique<Document>(markdownEditor_, headEditor_, this);

    // A blank page's stand-in until the preview module has made the pane.
    previewWidget_ = new QWidget;
    previewWidget_->resize(100, 100);
    previewWidget_->setAutoFillBackground(true);
    QPalette blank = previewWidget_->palette();
    blank.setColor(QPalette::Window, Qt::white);
    previewWidget_->setPalette(blank);
    previewWidget_->setAccessibleName(QStringLiteral("Preview"));

    editorSplitter_ = new QSplitter(Qt::Vertical);
    editorSplitter_->setChildrenCollapsible(false);
    editorSplitter_->addWidget(markdownEditor_);
    editorSplitter_->addWidget(headEditor_);
    // The head editor keeps its height when the window is resized.
    editorSplitter_->setStretchFactor(0, 1);
    editorSplitter_->setStretchFactor(1, 0);

    paneSplitter_ = new RatioSplitter(Qt::Horizontal, central_);
    paneSplitter_->addWidget(editorSplitter_);
    paneSplitter_->addWidget(previewWidget_);

    InstallDropHandling(markdownEditor_, DroppedFileOpener(*document_));
    InstallDropHandling(headEditor_, DroppedFileOpener(*document_));

    buildCommands();
    // The check marks follow the settings, however they change.
    SettingsStore &settings = app().settingsStore;
    connect(&settings, &SettingsStore::WordWrapChanged, this, [] { UpdateCommandChecks(); });
    connect(&settings, &SettingsStore::SyncScrollChanged, this, [] { UpdateCommandChecks(); });

    status_ = new QLabel;
    statusBar()->addWidget(status_, 1);
    statusBar()->setSizeGripEnabled(true);

    LayoutPanes();
    SetupEditor(markdownEditor_);
    SetupEditor(headEditor_);
    placeHeadDivider();

    focusMark_ = new PaneFocusMark(this);
    connect(qApp, &QApplication::focusChanged, this, [this] { focusMark_->follow(paneWidget(focusedPane())); });
    built_ = true;
}

MainWindow::~MainWindow()
{
    // The panes go with the window's children, after this: focus changes then must not
    // reach the members.
    disconnect(qApp, nullptr, this, nullptr);
}

void MainWindow::buildCommands()
{
    QMap<QString, QMenu *> menus;
    bool separatorPending = false;
    for (const Command &command : CommandTable()) {
        if (command.menu.isEmpty()) {
            // A key of the window without a menu item.
            addCommand(nullptr, command);
            continue;
        }
        QMenu *&menu = menus[command.menu];
        if (!menu)
            menu = menuBar()->addMenu(command.menu);
        separatorPending = separatorPending || command.separatorBefore;
        if (command.id == CmdFirstStylesheet) {
            // An empty library gives no submenu; its separator goes to the next item.
            if (app().stylesheetList.isEmpty())
                continue;
        }
        if (separatorPending)
            menu->addSeparator();
        separatorPending = false;
        if (command.id == CmdFirstStylesheet)
            addStylesheetMenu(menu);
        else
            addCommand(menu, command);
    }
}

QAction *MainWindow::addCommand(QMenu *menu, const Command &command)
{
    // The item's text is its name alone: the key is the action's own shortcut, which
    // the menu shows beside it and the window listens for, once.
    QAction *action = menu ? menu->addAction(command.text) : new QAction(command.text, this);
    if (!menu)
        addAction(action);
    QList<QKeySequence> keys;
    for (const CommandKey &key : command.keys)
        keys.append(key.key);
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    action->setCheckable(bool(command.checked));
    if (command.checked)
        action->setChecked(command.checked());
    const int id = command.id;
    action->setData(id);
    actions_.insert(id, action);
    connect(action, &QAction::triggered, this, [id] { RunCommand(id); });
    return action;
}

void MainWindow::addStylesheetMenu(QMenu *menu)
{
    const Command *entry = CommandById(CmdFirstStylesheet);
    QMenu *select = menu->addMenu(entry ? entry->text : QString());
    const QStringList &sheets = app().stylesheetList;
    for (int i = 0; i < sheets.size(); ++i) {
        QAction *item = select->addAction(sheets.at(i));
        const int id = CmdFirstStylesheet + i;
        item->setData(id);
        actions_.insert(id, item);
        connect(item, &QAction::triggered, this, [id] { RunCommand(id); });
    }
}

// The head editor starts where a 100-pixel splitter with the divider in the middle
// leaves it after the first layout, then the divider moves to three quarters.
void MainWindow::placeHeadDivider()
{
    const int handle = editorSplitter_->handleWidth();
    const int height = paneSplitter_->geometry().height();
    const int initialUpper = (100 - handle) / 2;
    const int lower = 100 - handle - initialUpper;
    const int upper = qMax(0, height - handle - lower);
    const int moved = upper * 3 / 4;
    editorSplitter_->setSizes({moved, qMax(0, height - handle - moved)});
}

QString MainWindow::statusText() const
{
    return status_->text();
}

void MainWindow::setStatusText(const QString &text)
{
    // A new status (a save, an edit) takes the place of a "Converting..." note.
    statusBar()->clearMessage();
    status_->setText(text);
}

void MainWindow::setPreviewPane(QWidget *widget, PreviewPane *pane)
{
    const QList<int> sizes = paneSplitter_->sizes();
    QWidget *standIn = paneSplitter_->replaceWidget(1, widget);
    delete standIn;
    paneSplitter_->setSizes(sizes);
    InstallDropHandling(widget, DroppedFileOpener(*document_));
    widget->setAccessibleName(QStringLiteral("Preview"));
    previewWidget_ = widget;
    preview_ = pane;
    focusMark_->follow(paneWidget(focusedPane()));
}

void MainWindow::adoptPreviewController(std::unique_ptr<PreviewController> controller)
{
    previewController_ = std::move(controller);
}

QWidget *MainWindow::paneWidget(FocusedPane pane) const
{
    switch (pane) {
    case FocusedPane::Markdown: return markdownEditor_;
    case FocusedPane::Head: return headEditor_;
    case FocusedPane::Preview: return previewWidget_;
    case FocusedPane::None: break;
    }
    return nullptr;
}

void MainWindow::focusNextPane(int step)
{
    static constexpr FocusedPane kOrder[] = {FocusedPane::Markdown, FocusedPane::Head, FocusedPane::Preview};
    constexpr int count = int(std::size(kOrder));
    const FocusedPane current = focusedPane();
    int next = 0;
    for (int i = 0; i < count; ++i) {
        if (kOrder[i] == current)
            next = ((i + step) % count + count) % count;
    }
    if (QWidget *widget = paneWidget(kOrder[next]))
        widget->setFocus(Qt::ShortcutFocusReason);
}

FocusedPane MainWindow::focusedPane() const
{
    const QWidget *focus = QApplication::focusWidget();
    if (!focus)
        return FocusedPane::None;
    if (focus == markdownEditor_ || markdownEditor_->isAncestorOf(focus))
        return FocusedPane::Markdown;
    if (focus == headEditor_ || headEditor_->isAncestorOf(focus))
        return FocusedPane::Head;
    if (focus == previewWidget_ || previewWidget_->isAncestorOf(focus))
        return FocusedPane::Preview;
    return FocusedPane::None;
}

void MainWindow::LayoutPanes()
{
    const int menuHeight = menuBar()->sizeHint().height();
    const int statusHeight = statusBar()->sizeHint().height();
    paneSplitter_->setGeometry(5, 5, width() - 10, height() - statusHeight - menuHeight - 10);
}

void MainWindow::RecordWindowGeometry()
{
    if (isMinimized())
        return;
    SettingsStore &s = app().settingsStore;
    if (isMaximized()) {
        s.setWinMax(1);
        return;
    }
    s.setWinMax(0);
    s.setWinX(pos().x());
    s.setWinY(pos().y());
    s.setWinW(width());
    s.setWinH(height());
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (app().quit.load() || ConfirmDiscard(*document_)) {
        app().quit = 1;
        event->accept();
        QCoreApplication::quit();
    } else {
        event->ignore();
    }
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    if (!built_)
        return;
    LayoutPanes();
    RecordWindowGeometry();
}

void MainWindow::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
    if (built_)
        RecordWindowGeometry();
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (built_ && event->type() == QEvent::WindowStateChange)
        RecordWindowGeometry();
}

// ---------------------------------------------------------------- commands

namespace {
MainWindow *theMainWindow = nullptr;
}

MainWindow *mainWindow()
{
    return theMainWindow;
}

void setMainWindow(MainWindow *window)
{
    theMainWindow = window;
}

bool BuildMainWindow()
{
    auto *window = new MainWindow;
    setMainWindow(window);
    return true;
}
