// Reaching the three panes by keyboard: F6 and Shift+F6, the mark on the focused pane,
// and the names screen readers announce.
#include "common/TestSupport.h"

#include "app/MainWindow.h"
#include "app/PaneFocusMark.h"
#include "preview/PreviewPane.h"

#include <QAbstractScrollArea>
#include <QAccessible>
#include <QMenuBar>
#include <Qsci/qsciscintillabase.h>

namespace {

// Presses `key` where the focus is, as the reader would.
void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget *target = QApplication::focusWidget();
    QVERIFY(target);
    QTest::keyClick(target, key, modifiers);
}

QString accessibleName(QObject *object)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(object);
    return iface ? iface->text(QAccessible::Name) : QString();
}

// The mark frames `pane`: four visible strips along its edges, inside it.
bool marks(const MainWindow *w, QWidget *pane)
{
    const PaneFocusMark *mark = w->focusMark();
    const QList<QWidget *> edges = mark->edges();
    if (mark->marked() != pane || edges.size() != 4)
        return false;
    QRegion covered;
    for (QWidget *edge : edges) {
        if (edge->parentWidget() != pane || !edge->isVisible() || !pane->rect().contains(edge->geometry()))
            return false;
        covered += edge->geometry();
    }
    // The frame runs all round the pane and leaves its inside free.
    const QRect inside = pane->rect().adjusted(PaneFocusMark::kWidth, PaneFocusMark::kWidth, -PaneFocusMark::kWidth,
                                               -PaneFocusMark::kWidth);
    return covered == QRegion(pane->rect()).subtracted(inside);
}

} // namespace

class TestPaneFocus : public QObject {
    Q_OBJECT
private slots:
    void f6CyclesThePanesWithAVisibleMarkAndNames()
    {
        TestApp t;
        QVERIFY(t.start());
        MainWindow *w = mainWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QTRY_VERIFY_WITH_TIMEOUT(w->preview(), 20000);
        // The page's renderer is up once the first page has loaded.
        QTRY_VERIFY_WITH_TIMEOUT(!w->preview()->isLoadingPage(), 20000);
        QsciScintillaBase *markdown = w->markdownEditor();
        QsciScintillaBase *head = w->headEditor();
        QWidget *preview = w->preview();
        markdown->setFocus();
        QTRY_COMPARE_WITH_TIMEOUT(w->focusedPane(), FocusedPane::Markdown, 10000);
        QVERIFY(marks(w, markdown));
        const QRect viewport = static_cast<QAbstractScrollArea *>(markdown)->viewport()->geometry();
        // The mark never hides the caret at the start of a line.
        QVERIFY(viewport.x() + markdown->SendScintilla(QsciScintillaBase::SCI_POINTXFROMPOSITION, 0UL, 0L) >
                PaneFocusMark::kWidth);

        press(Qt::Key_F6);
        QTRY_COMPARE_WITH_TIMEOUT(w->focusedPane(), FocusedPane::Head, 10000);
        QVERIFY(marks(w, head));
        // Only one pane carries the mark, and moving it moved nothing else.
        QVERIFY(markdown->findChildren<FocusEdge *>().isEmpty());
        QCOMPARE(static_cast<QAbstractScrollArea *>(markdown)->viewport()->geometry(), viewport);
        press(Qt::Key_F6);
        QTRY_COMPARE_WITH_TIMEOUT(w->focusedPane(), FocusedPane::Preview, 10000);
        QVERIFY(marks(w, preview));
        press(Qt::Key_F6);
        QTRY_COMPARE_WITH_TIMEOUT(w->focusedPane(), FocusedPane::Markdown, 10000);
        QVERIFY(marks(w, markdown));

        press(Qt::Key_F6, Qt::ShiftModifier);
        QTRY_COMPARE_WITH_TIMEOUT(w->focusedPane(), FocusedPane::Preview, 10000);
        press(Qt::Key_F6, Qt::ShiftModifier);
        QTRY_COMPARE_WITH_TIMEOUT(w->focusedPane(), FocusedPane::Head, 10000);
        press(Qt::Key_F6, Qt::ShiftModifier);
        QTRY_COMPARE_WITH_TIMEOUT(w->focusedPane(), FocusedPane::Markdown, 10000);

        // The strip follows the pane's size.
        w->paneSplitter()->setDividerPosition(w->paneSplitter()->width() / 3);
        QTRY_VERIFY_WITH_TIMEOUT(marks(w, markdown), 10000);

        // Focus outside the panes (the menu bar) leaves no mark.
        w->menuBar()->setFocus();
        QTRY_VERIFY_WITH_TIMEOUT(w->focusMark()->marked() == nullptr, 10000);

        QCOMPARE(accessibleName(markdown), QStringLiteral("Markdown"));
        QCOMPARE(accessibleName(head), QStringLiteral("Head"));
        QCOMPARE(accessibleName(preview), QStringLiteral("Preview"));
        // The web view's hidden drawing window is no unnamed "Offscreen" frame.
        QAccessibleInterface *program = QAccessible::queryAccessibleInterface(qApp);
        QVERIFY(program);
        QStringList frames;
        for (int i = 0; i < program->childCount(); ++i)
            frames << program->child(i)->text(QAccessible::Name);
        QVERIFY2(!frames.contains(QStringLiteral("Offscreen")), qPrintable(frames.join(u',')));
        QVERIFY2(frames.contains(QStringLiteral("Preview page")), qPrintable(frames.join(u',')));
    }
};

QUILLDOWN_TEST_MAIN(TestPaneFocus)
#include "tst_panefocus.moc"
