#include "app/MainWindow.h"

#include "core/AppState.h"
#include "app/Commands.h"
#include "app/Document.h"
#include "app/EditorWiring.h"
#include "editor/Drops.h"
#include "editor/Editor.h"
#include "platform/Platform.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QShortcut>
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
    const Settings &s = app().settings;
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
    document_ = new Document(markdownEditor_, headEditor_, this);

    // A blank page's stand-in until the preview module has made the pane.
    previewWidget_ = new QWidget;
    previewWidget_->resize(100, 100);
    previewWidget_->setAutoFillBackground(true);
    QPalette blank = previewWidget_->palette();
    blank.setColor(QPalette::Window, Qt::white);
    previewWidget_->setPalette(blank);

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

    buildMenus();

    status_ = new QLabel;
    statusBar()->addWidget(status_, 1);
    statusBar()->setSizeGripEnabled(true);

    LayoutPanes();
    SetupEditor(markdownEditor_);
    SetupEditor(headEditor_);
    placeHeadDivider();
    buildShortcuts();
    built_ = true;
}

void MainWindow::buildMenus()
{
    const Settings &s = app().settings;
    QMenuBar *bar = menuBar();

    QMenu *file = bar->addMenu(QStringLiteral("&File"));
    addCommand(file, QStringLiteral("&New\tCtrl+N"), CmdNew);
    addCommand(file, QStringLiteral("&Open...\tCtrl+O"), CmdOpen);
    addCommand(file, QStringLiteral("&Save\tCtrl+S"), CmdSave);
    addCommand(file, QStringLiteral("Save &As..."), CmdSaveAs);
    file->addSeparator();
    addCommand(file, QStringLiteral("New &Window...\tCtrl+Shift+N"), CmdNewWindow);
    file->addSeparator();
    addCommand(file, QStringLiteral("E&xit"), CmdExit);

    QMenu *edit = bar->addMenu(QStringLiteral("&Edit"));
    addCommand(edit, QStringLiteral("&Bold\tCtrl+B"), CmdBold);
    addCommand(edit, QStringLiteral("&Italic\tCtrl+I"), CmdItalic);
    edit->addSeparator();
    addCommand(edit, QStringLiteral("&Find\tCtrl+F"), CmdFind);
    addCommand(edit, QStringLiteral("Find &Next\tF3"), CmdFindNext);
    addCommand(edit, QStringLiteral("Find &Previous\tShift+F3"), CmdFindPrevious);

    QMenu *html = bar->addMenu(QStringLiteral("&HTML"));
    addCommand(html, QStringLiteral("&Refresh\tF5"), CmdRefresh);
    addCommand(html, QStringLiteral("&Preview in Browser\tCtrl+P"), CmdPreviewInBrowser);
    html->addSeparator();
    const QStringList &sheets = app().stylesheetList;
    if (!sheets.isEmpty()) {
        QMenu *select = html->addMenu(QStringLiteral("Select &CSS"));
        for (int i = 0; i < sheets.size(); ++i) {
            QAction *item = select->addAction(sheets.at(i));
            const int id = CmdFirstStylesheet + i;
            item->setData(id);
            actions_.insert(id, item);
            connect(item, &QAction::triggered, this, [id] { RunCommand(id); });
        }
    }
    addCommand(html, QStringLiteral("&Load CSS...\tCtrl+L"), CmdLoadCss);

    QMenu *view = bar->addMenu(QStringLiteral("&View"));
    QAction *wrap = addCommand(view, QStringLiteral("&Word Wrap"), CmdWordWrap);
    wrap->setCheckable(true);
    wrap->setChecked(s.WordWrap != 0);
    QAction *sync = addCommand(view, QStringLiteral("&Sync Scroll"), CmdSyncScroll);
    sync->setCheckable(true);
    sync->setChecked(s.SyncScroll != 0);
    addCommand(view, QStringLiteral("&Font..."), CmdFont);

    QMenu *help = bar->addMenu(QStringLiteral("He&lp"));
    addCommand(help, QStringLiteral("&About Quilldown\tF1"), CmdAbout);
}

QAction *MainWindow::addCommand(QMenu *menu, const QString &text, int id)
{
    // The text after the tab is what the menu shows as the shortcut; the keys
    // themselves are bound by the shortcut table, not by the menu item.
    QAction *action = menu->addAction(text);
    action->setData(id);
    actions_.insert(id, action);
    connect(action, &QAction::triggered, this, [id] { RunCommand(id); });
    return action;
}

void MainWindow::buildShortcuts()
{
    const QList<ShortcutEntry> table = {
        {QKeySequence(Qt::Key_F5), CmdRefresh},
        {QKeySequence(Qt::Key_F1), CmdAbout},
        {QKeySequence(Qt::CTRL | Qt::Key_S), CmdSave},
        {QKeySequence(Qt::CTRL | Qt::Key_P), CmdPreviewInBrowser},
        {QKeySequence(Qt::CTRL | Qt::Key_E), CmdPreviewInBrowser},
        {QKeySequence(Qt::CTRL | Qt::Key_O), CmdOpen},
        {QKeySequence(Qt::CTRL | Qt::Key_N), CmdNew},
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N), CmdNewWindow},
        {QKeySequence(Qt::CTRL | Qt::Key_W), CmdNew},
        {QKeySequence(Qt::CTRL | Qt::Key_B), CmdBold},
        {QKeySequence(Qt::CTRL | Qt::Key_I), CmdItalic},
        {QKeySequence(Qt::CTRL | Qt::Key_F), CmdFind},
        {QKeySequence(Qt::Key_F3), CmdFindNext},
        {QKeySequence(Qt::SHIFT | Qt::Key_F3), CmdFindPrevious},
        {QKeySequence(Qt::CTRL | Qt::Key_L), CmdLoadCss},
        {QKeySequence(Qt::CTRL | Qt::Key_Space), CmdNoBreakSpace},
        {QKeySequence(Qt::CTRL | Qt::Key_Tab), CmdAlignPreview},
    };
    shortcutTable_ = table;
    for (const ShortcutEntry &entry : table) {
        auto *shortcut = new QShortcut(entry.key, this);
        shortcut->setContext(Qt::WindowShortcut);
        const int id = entry.command;
        connect(shortcut, &QShortcut::activated, this, [id] { RunCommand(id); });
        shortcuts_.append(shortcut);
    }
}

void MainWindow::suspendShortcuts(const QList<QKeySequence> &keys, bool suspended)
{
    for (QShortcut *shortcut : shortcuts_) {
        if (keys.contains(shortcut->key()))
            shortcut->setEnabled(!suspended);
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
    previewWidget_ = widget;
    preview_ = pane;
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
    Settings &s = app().settings;
    if (isMaximized()) {
        s.WinMax = 1;
        return;
    }
    s.WinMax = 0;
    s.WinX = pos().x();
    s.WinY = pos().y();
    s.WinW = width();
    s.WinH = height();
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
