#include "editor/BidiLines.h"

#include "editor/Editor.h"
#include "editor/Graphemes.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTextLayout>
#include <QWidget>
#include <Qsci/qsciscintillabase.h>
#include <memory>
#include <optional>

using Sci = QsciScintillaBase;

namespace {

constexpr char kOverlayName[] = "quilldown-bidi-lines";
// Longer lines are left to the component: laying one out for every repaint would cost
// more than a keystroke may.
constexpr long kLongestLine = 20000;
// Space kept between a right-aligned line and the edge of the text area.
constexpr qreal kRightGap = 4;
constexpr long kTextStyle = Sci::STYLE_DEFAULT;
constexpr long kLongestStyledRun = 256;
// The component's default selection colour.
const QColor kSelectionBack(0xC0, 0xC0, 0xC0);

QColor colourOf(long bgr)
{
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

// One right-to-left line as drawn: its layout and where it sits in the viewport.
struct BidiLine {
    long start = 0;   // position of the line's first byte
    Utf8Text text;
    std::unique_ptr<QTextLayout> layout;
    QPointF origin;   // top-left of the layout
    QRectF band;      // the rows the component gives the line
};

class BidiLineOverlay : public QWidget {
public:
    explicit BidiLineOverlay(QsciScintillaBase *editor) : QWidget(editor->viewport()), editor_(editor)
    {
        setObjectName(QLatin1String(kOverlayName));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        setGeometry(editor->viewport()->rect());
        // No repaints of its own are needed: for a moved caret or selection, an edit or a
        // blink the component repaints the whole width of the lines concerned, and this
        // widget, lying over them, is repainted with them.
        editor->viewport()->installEventFilter(this);
        raise();
        show();
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QPainter painter(this);
        const long firstDisplay = send(Sci::SCI_GETFIRSTVISIBLELINE);
        const long displayCount = send(Sci::SCI_LINESONSCREEN) + 2;
        const long lineCount = send(Sci::SCI_GETLINECOUNT);
        long previous = -1;
        for (long display = firstDisplay; display < firstDisplay + displayCount; ++display) {
            const long line = send(Sci::SCI_DOCLINEFROMVISIBLE, (unsigned long)display);
            if (line == previous || line >= lineCount)
                continue;
            previous = line;
            const std::optional<BidiLine> drawn = layOut(line, event->rect());
            if (!drawn)
                continue;
            paintLine(painter, *drawn);
        }
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != editor_->viewport())
            return false;
        switch (event->type()) {
        case QEvent::Resize:
            setGeometry(editor_->viewport()->rect());
            return false;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::MouseButtonRelease:
            return mouse(static_cast<QMouseEvent *>(event));
        default:
            return false;
        }
    }

private:
    long send(unsigned int message, unsigned long wParam = 0, long lParam = 0) const
    {
        return editor_->SendScintilla(message, wParam, lParam);
    }

    QFont textFont() const
    {
        QByteArray family(256, '\0');
        editor_->SendScintilla(Sci::SCI_STYLEGETFONT, (unsigned long)kTextStyle, family.data());
        QFont font(QString::fromUtf8(family.constData()));
        font.setPointSizeF(qMax(1L, send(Sci::SCI_STYLEGETSIZE, kTextStyle)));
        font.setBold(send(Sci::SCI_STYLEGETBOLD, kTextStyle) != 0);
        font.setItalic(send(Sci::SCI_STYLEGETITALIC, kTextStyle) != 0);
        return font;
    }

    // The line's layout and place, or nothing when the component draws the line itself or
    // the line lies outside `area`.
    std::optional<BidiLine> layOut(long line, const QRect &area) const
    {
        const long start = send(Sci::SCI_POSITIONFROMLINE, (unsigned long)line);
        const long end = send(Sci::SCI_GETLINEENDPOSITION, (unsigned long)line);
        if (end <= start || end - start > kLongestLine)
            return std::nullopt;
        const QByteArray bytes = GetTextRange(editor_, start, end);
        // A line that begins left-to-right is measured left-to-right and drawn by the component.
        if (!QString::fromUtf8(bytes).isRightToLeft())
            return std::nullopt;
        const qreal top = send(Sci::SCI_POINTYFROMPOSITION, 0, start);
        const qreal rowHeight = send(Sci::SCI_TEXTHEIGHT, (unsigned long)line);
        const long rows = qMax(1L, send(Sci::SCI_WRAPCOUNT, (unsigned long)line));
        if (top + rowHeight * rows <= area.top() || top >= area.bottom() + 1)
            return std::nullopt;
        BidiLine drawn;
        drawn.start = start;
        drawn.text = DecodeUtf8(bytes);

        const QFont font = textFont();
        QTextOption option;
        option.setTextDirection(Qt::RightToLeft);
        option.setWrapMode(QTextOption::NoWrap);
        option.setTabStopDistance(qMax(1L, send(Sci::SCI_GETTABWIDTH)) * QFontMetricsF(font, this).horizontalAdvance(QLatin1Char(' ')));
        // A no-break space shows as the component shows it.
        QString shown = drawn.text.text;
        shown.replace(QChar(0xA0), QLatin1Char('~'));
        drawn.layout = std::make_unique<QTextLayout>(shown, font, this);
        drawn.layout->setTextOption(option);
        drawn.layout->setCacheEnabled(true);
        drawn.layout->beginLayout();
        QTextLine row = drawn.layout->createLine();
        drawn.layout->endLayout();

        // Where the component's text area begins, before horizontal scrolling.
        const qreal textLeft = send(Sci::SCI_POINTXFROMPOSITION, 0, start) + send(Sci::SCI_GETXOFFSET);
        drawn.band = QRectF(textLeft, top, width() - textLeft, rowHeight * rows);

        // Aligned right; a line wider than the view slides so that the caret stays in sight.
        qreal x = width() - kRightGap - row.naturalTextWidth();
        const long caret = send(Sci::SCI_GETCURRENTPOS);
        if (caret >= start && caret <= end) {
            const qreal caretX = x + row.cursorToX(int(drawn.text.unitOfByte(caret - start)));
            if (caretX < textLeft + kRightGap)
                x += textLeft + kRightGap - caretX;
        }
        drawn.origin = QPointF(x, top + (rowHeight - row.height()) / 2);
        return drawn;
    }

    void paintLine(QPainter &painter, const BidiLine &drawn) const
    {
        painter.save();
        painter.setClipRect(drawn.band);
        // Covers what the component drew of the line from its own measurements.
        painter.fillRect(drawn.band, colourOf(send(Sci::SCI_STYLEGETBACK, kTextStyle)));
        painter.setPen(colourOf(send(Sci::SCI_STYLEGETFORE, kTextStyle)));

        QList<QTextLayout::FormatRange> selections;
        const long lineEnd = drawn.start + drawn.text.byteOfUnit.back();
        // The line's trailing run in a style of its own (the Markdown hard break's blanks)
        // keeps that style's background.
        long styledFrom = lineEnd;
        const long trailingStyle = send(Sci::SCI_GETSTYLEAT, (unsigned long)(lineEnd - 1));
        while (trailingStyle != kTextStyle && styledFrom > drawn.start && lineEnd - styledFrom < kLongestStyledRun &&
               send(Sci::SCI_GETSTYLEAT, (unsigned long)(styledFrom - 1)) == trailingStyle)
            --styledFrom;
        if (styledFrom < lineEnd) {
            QTextLayout::FormatRange styled;
            styled.start = int(drawn.text.unitOfByte(styledFrom - drawn.start));
            styled.length = int(drawn.text.text.size()) - styled.start;
            styled.format.setBackground(colourOf(send(Sci::SCI_STYLEGETBACK, (unsigned long)trailingStyle)));
            selections.append(styled);
        }
        const long selectionStart = qMax(drawn.start, send(Sci::SCI_GETSELECTIONSTART));
        const long selectionEnd = qMin(lineEnd, send(Sci::SCI_GETSELECTIONEND));
        if (selectionStart < selectionEnd) {
            QTextLayout::FormatRange selected;
            selected.start = int(drawn.text.unitOfByte(selectionStart - drawn.start));
            selected.length = int(drawn.text.unitOfByte(selectionEnd - drawn.start)) - selected.start;
            selected.format.setBackground(kSelectionBack);
            selections.append(selected);
        }
        drawn.layout->draw(&painter, drawn.origin, selections);

        const long caret = send(Sci::SCI_GETCURRENTPOS);
        if (editor_->hasFocus() && caret >= drawn.start && caret <= lineEnd) {
            painter.setPen(colourOf(send(Sci::SCI_GETCARETFORE)));
            drawn.layout->drawCursor(&painter, drawn.origin, int(drawn.text.unitOfByte(caret - drawn.start)),
                                     int(qMax(1L, send(Sci::SCI_GETCARETWIDTH))));
        }
        painter.restore();
    }

    // The position under `point` when it lies on a line drawn here.
    std::optional<long> positionAt(QPointF point) const
    {
        const long display = send(Sci::SCI_GETFIRSTVISIBLELINE) + long(point.y()) / qMax(1L, send(Sci::SCI_TEXTHEIGHT, 0));
        const long line = send(Sci::SCI_DOCLINEFROMVISIBLE, (unsigned long)display);
        if (line >= send(Sci::SCI_GETLINECOUNT))
            return std::nullopt;
        const std::optional<BidiLine> drawn = layOut(line, rect());
        if (!drawn || !drawn->band.contains(point))
            return std::nullopt;
        const int unit = drawn->layout->lineAt(0).xToCursor(point.x() - drawn->origin.x());
        return drawn->start + long(drawn->text.byteOfUnit.value(unit, drawn->text.byteOfUnit.back()));
    }

    bool mouse(QMouseEvent *event)
    {
        const QPointF point = event->position();
        if (event->type() == QEvent::MouseButtonRelease) {
            const bool mine = dragging_;
            dragging_ = false;
            return mine;
        }
        if (event->type() == QEvent::MouseMove) {
            if (!dragging_ || !(event->buttons() & Qt::LeftButton))
                return false;
            const std::optional<long> at = positionAt(point);
            const long position = at ? *at : send(Sci::SCI_POSITIONFROMPOINT, (unsigned long)point.x(), long(point.y()));
            send(Sci::SCI_SETCURRENTPOS, (unsigned long)position);
            return true;
        }
        if (event->button() != Qt::LeftButton)
            return false;
        const std::optional<long> at = positionAt(point);
        if (!at)
            return false;
        editor_->setFocus(Qt::MouseFocusReason);
        if (event->type() == QEvent::MouseButtonDblClick) {
            send(Sci::SCI_SETSEL, (unsigned long)send(Sci::SCI_WORDSTARTPOSITION, (unsigned long)*at, 1),
                 send(Sci::SCI_WORDENDPOSITION, (unsigned long)*at, 1));
        } else if (event->modifiers() & Qt::ShiftModifier) {
            send(Sci::SCI_SETCURRENTPOS, (unsigned long)*at);
        } else {
            send(Sci::SCI_SETEMPTYSELECTION, (unsigned long)*at);
        }
        send(Sci::SCI_CHOOSECARETX);
        dragging_ = event->type() == QEvent::MouseButtonPress;
        return true;
    }

    QsciScintillaBase *editor_;
    bool dragging_ = false;
};

} // namespace

void InstallBidiLines(QsciScintillaBase *editor)
{
    if (editor->viewport()->findChild<QWidget *>(QLatin1String(kOverlayName), Qt::FindDirectChildrenOnly))
        return;
    new BidiLineOverlay(editor);
}
