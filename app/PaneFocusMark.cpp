#include "app/PaneFocusMark.h"

#include <QChildEvent>
#include <QEvent>
#include <QPainter>
#include <QTimer>

FocusEdge::FocusEdge(QWidget *parent)
    : QFocusFrame(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void FocusEdge::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Active, QPalette::Highlight));
}

PaneFocusMark::PaneFocusMark(QObject *parent)
    : QObject(parent)
{
}

PaneFocusMark::~PaneFocusMark()
{
    clear();
}

void PaneFocusMark::follow(QWidget *pane)
{
    if (pane == pane_)
        return;
    clear();
    pane_ = pane;
    if (!pane)
        return;
    for (int i = 0; i < 4; ++i)
        edges_.append(new FocusEdge(pane));
    pane->installEventFilter(this);
    place();
    for (FocusEdge *edge : std::as_const(edges_))
        edge->show();
}

QList<QWidget *> PaneFocusMark::edges() const
{
    QList<QWidget *> out;
    for (const QPointer<FocusEdge> &edge : edges_)
        if (edge)
            out.append(edge.data());
    return out;
}

void PaneFocusMark::clear()
{
    if (pane_)
        pane_->removeEventFilter(this);
    for (const QPointer<FocusEdge> &edge : std::as_const(edges_))
        delete edge.data();
    edges_.clear();
    pane_.clear();
}

void PaneFocusMark::place()
{
    if (!pane_ || edges_.size() != 4)
        return;
    const int w = pane_->width();
    const int h = pane_->height();
    const QRect strips[4] = {{0, 0, w, kWidth}, {0, h - kWidth, w, kWidth}, {0, 0, kWidth, h}, {w - kWidth, 0, kWidth, h}};
    for (int i = 0; i < 4; ++i) {
        if (FocusEdge *edge = edges_.at(i)) {
            edge->setGeometry(strips[i]);
            edge->raise();
        }
    }
}

bool PaneFocusMark::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == pane_) {
        if (event->type() == QEvent::Resize) {
            place();
        } else if (event->type() == QEvent::ChildAdded) {
            // A child the pane makes later (the web view's drawing widget, a picture of
            // the page) would cover the strips: they go back on top once it is in place.
            auto *child = static_cast<QChildEvent *>(event)->child();
            if (child && child->isWidgetType() && !qobject_cast<FocusEdge *>(child))
                QTimer::singleShot(0, this, [this] { place(); });
        }
    }
    return QObject::eventFilter(watched, event);
}
