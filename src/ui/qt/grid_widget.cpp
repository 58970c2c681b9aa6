#include "grid_widget.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionHeader>
#include <QToolTip>
#include <algorithm>
#include <vector>

#include "guard.h"
#include "units.h"

namespace uiqt {

namespace {
constexpr int kTextPad = 3;     // pixels between a cell's left edge and its text
constexpr int kBorderGrip = 3;  // pixels either side of a column border that start a drag
}  // namespace

GridWidget::GridWidget(ui::FlexGrid& model, QWidget* parent) : QAbstractScrollArea(parent), m_(model) {
    setObjectName(QString::fromStdString(model.name));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFrameShape(QFrame::StyledPanel);

    m_.cellGeometry = [this](int r, int c) {
        QRect rc = cellRect(r, c);
        QPoint off = viewport()->geometry().topLeft();
        return ui::CellRect{twips(rc.left() + off.x()), twips(rc.top() + off.y()), twips(rc.width()),
                            twips(rc.height())};
    };
    m_.scrollToCurrent = [this] { ensureCurrentVisible(); };
    m_.focusRequested = [this] { setFocus(Qt::OtherFocusReason); };
    applyFont();
    updateScrollRanges();
}

GridWidget::~GridWidget() {
    m_.cellGeometry = nullptr;
    m_.scrollToCurrent = nullptr;
    m_.measureHeader = nullptr;
    m_.focusRequested = nullptr;
}

void GridWidget::applyFont() {
    QFont f = toQFont(m_.font(), designFont(8));
    viewport()->setFont(f);
    QFontMetrics fm(f);
    // The control's own row height follows its font, as the grid's designer would see it.
    m_.defaultRowHeight = static_cast<int>(twips(fm.height() + 3));
    m_.measureHeader = [fm](const std::string& h) {
        return static_cast<int>(twips(fm.horizontalAdvance(QString::fromStdString(h)) + 2 * kTextPad + 2));
    };
    appliedFont_ = m_.font();
    fontApplied_ = true;
}

void GridWidget::modelChanged() {
    if (!fontApplied_ || !(appliedFont_ == m_.font())) {
        applyFont();
        if (onFontChanged) onFontChanged();
    }
    if (resizing_ >= m_.cols()) resizing_ = -1;
    updateScrollRanges();
    viewport()->update();
}

int GridWidget::colPx(int c) const { return c >= 0 && c < m_.cols() ? px(m_.colWidth(c)) : 0; }
int GridWidget::rowPx(int r) const { return r >= 0 && r < m_.rows() ? px(m_.rowHeight(r)) : 0; }

int GridWidget::colStart(int c) const {
    int x = 0;
    for (int i = 0; i < c && i < m_.cols(); ++i) x += colPx(i);
    return x;
}

int GridWidget::rowStart(int r) const {
    int y = 0;
    for (int i = 0; i < r && i < m_.rows(); ++i) y += rowPx(i);
    return y;
}

int GridWidget::fixedHeight() const { return rowStart(std::min(m_.fixedRows, m_.rows())); }
int GridWidget::totalWidth() const { return colStart(m_.cols()); }
int GridWidget::totalHeight() const { return rowStart(m_.rows()); }

QRect GridWidget::cellRect(int r, int c) const {
    r = std::clamp(r, 0, std::max(0, m_.rows() - 1));
    c = std::clamp(c, 0, std::max(0, m_.cols() - 1));
    int x = colStart(c) - horizontalScrollBar()->value();
    int y = rowStart(r);
    if (r >= m_.fixedRows) y -= verticalScrollBar()->value();
    return QRect(x, y, colPx(c), rowPx(r));
}

bool GridWidget::cellAt(const QPoint& p, int& r, int& c) const {
    r = c = -1;
    int x = p.x() + horizontalScrollBar()->value();
    int acc = 0;
    for (int i = 0; i < m_.cols(); ++i) {
        int w = colPx(i);
        if (w > 0 && x >= acc && x < acc + w) { c = i; break; }
        acc += w;
    }
    int fh = fixedHeight();
    int y = p.y() < fh ? p.y() : p.y() + verticalScrollBar()->value();
    acc = 0;
    for (int i = 0; i < m_.rows(); ++i) {
        int h = rowPx(i);
        if (i >= m_.fixedRows && p.y() < fh) break;  // under the fixed rows nothing scrolled is hit
        if (h > 0 && y >= acc && y < acc + h) { r = i; break; }
        acc += h;
    }
    return r >= 0 && c >= 0;
}

int GridWidget::borderColumnAt(const QPoint& p) const {
    if (p.y() >= fixedHeight()) return -1;
    int x = p.x() + horizontalScrollBar()->value();
    int best = -1, bestDist = kBorderGrip + 1, acc = 0;
    for (int i = 0; i < m_.cols(); ++i) {
        int w = colPx(i);
        acc += w;
        if (w == 0) continue;  // hidden columns stay hidden
        int d = std::abs(x - acc);
        if (d <= bestDist) { best = i; bestDist = d; }
    }
    return best;
}

void GridWidget::updateScrollRanges() {
    QSize vp = viewport()->size();
    int tw = totalWidth(), th = totalHeight();
    horizontalScrollBar()->setRange(0, std::max(0, tw - vp.width()));
    horizontalScrollBar()->setPageStep(std::max(1, vp.width()));
    horizontalScrollBar()->setSingleStep(std::max(8, px(500)));
    int visible = std::max(1, vp.height() - fixedHeight());
    verticalScrollBar()->setRange(0, std::max(0, th - fixedHeight() - visible));
    verticalScrollBar()->setPageStep(visible);
    verticalScrollBar()->setSingleStep(std::max(8, rowPx(std::min(1, m_.rows() - 1))));
}

void GridWidget::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    updateScrollRanges();
}

void GridWidget::scrollContentsBy(int, int) { viewport()->update(); }

void GridWidget::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    const QPalette pal = palette();
    p.fillRect(viewport()->rect(), pal.color(QPalette::Active, QPalette::Window));
    p.setFont(viewport()->font());
    const QColor lines = pal.color(QPalette::Active, QPalette::Mid).lighter(135);
    const int fh = fixedHeight();
    const QRect area = viewport()->rect();

    // Edges of every column and row once per paint (cellRect sums them per call).
    const int hs = horizontalScrollBar()->value(), vs = verticalScrollBar()->value();
    std::vector<int> xs(static_cast<size_t>(m_.cols()) + 1, 0), ys(static_cast<size_t>(m_.rows()) + 1, 0);
    for (int c = 0; c < m_.cols(); ++c) xs[static_cast<size_t>(c) + 1] = xs[static_cast<size_t>(c)] + colPx(c);
    for (int r = 0; r < m_.rows(); ++r) ys[static_cast<size_t>(r) + 1] = ys[static_cast<size_t>(r)] + rowPx(r);

    // Data rows first, clipped below the fixed rows that cover them when scrolled.
    p.save();
    p.setClipRect(QRect(0, fh, area.width(), std::max(0, area.height() - fh)));
    for (int r = m_.fixedRows; r < m_.rows(); ++r) {
        const int top = ys[static_cast<size_t>(r)] - vs, h = rowPx(r);
        if (top > area.bottom()) break;
        if (top + h <= fh || h == 0) continue;
        for (int c = 0; c < m_.cols(); ++c) {
            QRect rc(xs[static_cast<size_t>(c)] - hs, top, colPx(c), h);
            if (rc.width() == 0 || rc.right() < 0) continue;
            if (rc.left() > area.right()) break;
            p.fillRect(rc, resolveColor(m_.backColorAt(r, c), pal));
            const std::string& t = m_.textMatrix(r, c);
            if (!t.empty()) {
                p.setPen(resolveColor(m_.foreColorAt(r, c), pal));
                QRect tr = rc.adjusted(kTextPad, 0, -1, -1);
                p.save();
                p.setClipRect(tr, Qt::IntersectClip);
                p.drawText(tr, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, QString::fromStdString(t));
                p.restore();
            }
            p.setPen(lines);
            p.drawLine(rc.right(), rc.top(), rc.right(), rc.bottom());
            p.drawLine(rc.left(), rc.bottom(), rc.right(), rc.bottom());
        }
    }
    // The current cell, as the control marks it.
    if (m_.row() >= m_.fixedRows && m_.row() < m_.rows() && m_.col() < m_.cols()) {
        QRect rc = cellRect(m_.row(), m_.col());
        if (rc.width() > 0) {
            QPen pen(pal.color(QPalette::Active, QPalette::Highlight));
            pen.setWidth(hasFocus() ? 2 : 1);
            if (!hasFocus()) pen.setStyle(Qt::DotLine);
            p.setPen(pen);
            p.setBrush(Qt::NoBrush);
            p.drawRect(hasFocus() ? rc.adjusted(1, 1, -1, -1) : rc.adjusted(0, 0, -1, -1));
        }
    }
    p.restore();

    // Fixed rows in the button look of a header.
    for (int r = 0; r < m_.fixedRows && r < m_.rows(); ++r) {
        for (int c = 0; c < m_.cols(); ++c) {
            QRect rc = cellRect(r, c);
            if (rc.width() == 0 || rc.right() < 0) continue;
            if (rc.left() > area.right()) break;
            QStyleOptionHeader opt;
            opt.initFrom(this);
            opt.state = QStyle::State_Enabled | QStyle::State_Raised | QStyle::State_Horizontal;
            opt.rect = rc;
            opt.orientation = Qt::Horizontal;
            opt.section = c;
            opt.position = QStyleOptionHeader::Middle;
            opt.textAlignment = Qt::AlignLeft | Qt::AlignVCenter;
            opt.palette = pal;
            style()->drawControl(QStyle::CE_HeaderSection, &opt, &p, this);
            p.setPen(pal.color(QPalette::Active, QPalette::ButtonText));
            QRect tr = rc.adjusted(kTextPad, 0, -2, 0);
            p.save();
            p.setClipRect(tr);
            p.drawText(tr, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                       QString::fromStdString(m_.textMatrix(r, c)));
            p.restore();
        }
    }
}

void GridWidget::report(const QMouseEvent* e, bool down) {
    QPoint pos = e->position().toPoint();
    int r, c;
    if (!cellAt(pos, r, c)) return;
    QPoint off = viewport()->geometry().topLeft();
    double x = twips(pos.x() + off.x()), y = twips(pos.y() + off.y());
    int shift = shiftState(e->modifiers());
    if (down) {
        int button = mouseButton(e->button());
        guarded([&] { m_.userMouseDown(r, c, button, shift, x, y); });
    } else {
        int buttons = 0;
        if (e->buttons() & Qt::LeftButton) buttons |= 1;
        if (e->buttons() & Qt::RightButton) buttons |= 2;
        if (e->buttons() & Qt::MiddleButton) buttons |= 4;
        guarded([&] { m_.userMouseMove(r, c, buttons, shift, x, y); });
    }
}

void GridWidget::mousePressEvent(QMouseEvent* e) {
    if (!hasFocus()) setFocus(Qt::MouseFocusReason);
    QPoint pos = e->position().toPoint();
    if (e->button() == Qt::LeftButton) {
        int bc = borderColumnAt(pos);
        if (bc >= 0) {
            resizing_ = bc;
            dragStartX_ = pos.x();
            dragStartW_ = colPx(bc);
            return;
        }
    }
    report(e, true);
    viewport()->update();
}

void GridWidget::mouseMoveEvent(QMouseEvent* e) {
    QPoint pos = e->position().toPoint();
    if (resizing_ >= 0) {
        int w = std::max(0, dragStartW_ + pos.x() - dragStartX_);
        if (w != colPx(resizing_)) {
            int col = resizing_;
            guarded([&] { m_.userResizedColumn(col, static_cast<int>(std::lround(twips(w)))); });
        }
        return;
    }
    viewport()->setCursor(borderColumnAt(pos) >= 0 ? Qt::SplitHCursor : Qt::ArrowCursor);
    report(e, false);
    if (QToolTip::isVisible() && QString::fromStdString(m_.toolTip()) != shownTip_)
        showTip(e->globalPosition().toPoint());
}

void GridWidget::mouseReleaseEvent(QMouseEvent* e) {
    if (resizing_ >= 0 && e->button() == Qt::LeftButton) {
        resizing_ = -1;
        return;
    }
    QAbstractScrollArea::mouseReleaseEvent(e);
}

void GridWidget::showTip(const QPoint& globalPos) {
    shownTip_ = QString::fromStdString(m_.toolTip());
    if (shownTip_.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(globalPos, shownTip_, viewport());
}

bool GridWidget::viewportEvent(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        showTip(static_cast<QHelpEvent*>(e)->globalPos());
        return true;
    }
    return QAbstractScrollArea::viewportEvent(e);
}

int GridWidget::nextVisibleCol(int c, int step) const {
    for (int i = c + step; i >= 0 && i < m_.cols(); i += step)
        if (colPx(i) > 0) return i;
    return c;
}

void GridWidget::moveCurrent(int r, int c) {
    // One move, so that a refused leave is asked once and leaves the current cell where it was.
    guarded([&] { m_.userMoveTo(r, c); });
    ensureCurrentVisible();
    viewport()->update();
}

void GridWidget::keyPressEvent(QKeyEvent* e) {
    const int firstRow = std::min(m_.fixedRows, m_.rows() - 1);
    const int lastRow = m_.rows() - 1;
    const int page = std::max(1, (viewport()->height() - fixedHeight()) / std::max(1, rowPx(firstRow)));
    if (lastRow >= firstRow && firstRow >= 0) {
        switch (e->key()) {
        case Qt::Key_Left: moveCurrent(m_.row(), nextVisibleCol(m_.col(), -1)); return;
        case Qt::Key_Right: moveCurrent(m_.row(), nextVisibleCol(m_.col(), 1)); return;
        case Qt::Key_Up: moveCurrent(std::max(firstRow, m_.row() - 1), m_.col()); return;
        case Qt::Key_Down: moveCurrent(std::min(lastRow, m_.row() + 1), m_.col()); return;
        case Qt::Key_PageUp: moveCurrent(std::max(firstRow, m_.row() - page), m_.col()); return;
        case Qt::Key_PageDown: moveCurrent(std::min(lastRow, m_.row() + page), m_.col()); return;
        case Qt::Key_Home:
            if (e->modifiers() & Qt::ControlModifier) moveCurrent(firstRow, m_.col());
            else moveCurrent(m_.row(), nextVisibleCol(-1, 1));
            return;
        case Qt::Key_End:
            if (e->modifiers() & Qt::ControlModifier) moveCurrent(lastRow, m_.col());
            else moveCurrent(m_.row(), nextVisibleCol(m_.cols(), -1));
            return;
        default: break;
        }
    }
    int k = keyAscii(*e);
    if (k != 0 && !(e->modifiers() & Qt::AltModifier)) {
        guarded([&] { m_.userKeyPress(k); });
        viewport()->update();
        e->accept();
        return;
    }
    QAbstractScrollArea::keyPressEvent(e);
}

void GridWidget::focusInEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusInEvent(e);
    viewport()->update();
}

void GridWidget::focusOutEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusOutEvent(e);
    m_.focusLost();
    viewport()->update();
}

void GridWidget::ensureCurrentVisible() {
    if (m_.rows() == 0 || m_.cols() == 0) return;
    QRect rc = cellRect(m_.row(), m_.col());
    QScrollBar* h = horizontalScrollBar();
    QScrollBar* v = verticalScrollBar();
    int vw = viewport()->width();
    // A cell that fits in the view together with everything left of it is shown
    // with the row's headings: a wrap to Monday shows which row it is on.
    if (h->value() + rc.right() < vw) h->setValue(0);
    else if (rc.left() < 0) h->setValue(h->value() + rc.left());
    else if (rc.right() >= vw && rc.width() < vw) h->setValue(h->value() + rc.right() - vw + 1);
    if (m_.row() >= m_.fixedRows) {
        int fh = fixedHeight();
        int vh = viewport()->height();
        if (rc.top() < fh) v->setValue(v->value() - (fh - rc.top()));
        else if (rc.bottom() >= vh) v->setValue(v->value() + rc.bottom() - vh + 1);
    }
}

}  // namespace uiqt
