#pragma once
// A thin frame in the highlight colour around the pane that holds the keyboard focus.
// The frame is four strips laid over the pane's edges as its children: the layout does
// not move when the focus does, and typing repaints at most the few pixels of a strip
// that a changed line touches.

#include <QFocusFrame>
#include <QList>
#include <QObject>
#include <QPointer>

// One strip. A QFocusFrame, so that screen readers leave it out of the pane's children.
class FocusEdge : public QFocusFrame {
    Q_OBJECT
public:
    explicit FocusEdge(QWidget *parent);

protected:
    void paintEvent(QPaintEvent *event) override;
};

class PaneFocusMark : public QObject {
    Q_OBJECT
public:
    explicit PaneFocusMark(QObject *parent = nullptr);
    ~PaneFocusMark() override;

    // Frames `pane`, or nobody when it is nullptr.
    void follow(QWidget *pane);
    QWidget *marked() const { return pane_.data(); }
    // The strips, for tests: empty when no pane is framed.
    QList<QWidget *> edges() const;

    static constexpr int kWidth = 2;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void place();
    void clear();

    QPointer<QWidget> pane_;
    QList<QPointer<FocusEdge>> edges_;
};
