// The status bar of keyed panels: raised "button" panels and sunken text
// panels, as wide as their text or taking the width that is left.
#pragma once

#include <QWidget>
#include <vector>

#include "ui/controls.h"

namespace uiqt {

class StatusBarWidget : public QWidget {
    Q_OBJECT
public:
    StatusBarWidget(ui::StatusBar& model, QWidget* parent = nullptr);
    ~StatusBarWidget() override;
    void sync();
    // Panel rectangles in widget pixels, in panel order.
    std::vector<QRect> panelRects() const;
    int panelAt(const QPoint& p) const;  // 0-based; -1 outside every panel
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    bool event(QEvent*) override;

private:
    ui::StatusBar& m_;
    int pressed_ = -1;
};

}  // namespace uiqt
