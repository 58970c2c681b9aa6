// Draws a ui::FlexGrid and reports the user's clicks, moves, keys and column
// drags back to it. Row 0 (the fixed rows) stays at the top while the data
// rows scroll under it.
#pragma once

#include <QAbstractScrollArea>
#include <QRect>
#include <functional>

#include "ui/flexgrid.h"

namespace uiqt {

class GridWidget : public QAbstractScrollArea {
    Q_OBJECT
public:
    GridWidget(ui::FlexGrid& model, QWidget* parent = nullptr);
    ~GridWidget() override;

    // Re-reads the model: font, scroll ranges, repaint.
    void modelChanged();
    // A cell in viewport pixels as drawn now (scrolled); empty for a hidden column.
    QRect cellRect(int r, int c) const;
    // The cell at a viewport point; false outside every cell.
    bool cellAt(const QPoint& p, int& r, int& c) const;
    void ensureCurrentVisible();
    ui::FlexGrid& model() { return m_; }

    // Raised after the model's font changed and was applied.
    std::function<void()> onFontChanged;

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void focusInEvent(QFocusEvent*) override;
    void focusOutEvent(QFocusEvent*) override;
    bool viewportEvent(QEvent*) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    int colPx(int c) const;
    int rowPx(int r) const;
    int colStart(int c) const;
    int rowStart(int r) const;
    int fixedHeight() const;
    int totalWidth() const;
    int totalHeight() const;
    int borderColumnAt(const QPoint& p) const;  // column whose right border is under p in the fixed rows
    void updateScrollRanges();
    void applyFont();
    void moveCurrent(int r, int c);
    int nextVisibleCol(int c, int step) const;
    void report(const QMouseEvent* e, bool down);
    void showTip(const QPoint& globalPos);

    ui::FlexGrid& m_;
    ui::Font appliedFont_;
    bool fontApplied_ = false;
    int resizing_ = -1;  // column being dragged
    int dragStartX_ = 0, dragStartW_ = 0;
    QString shownTip_;
};

}  // namespace uiqt
