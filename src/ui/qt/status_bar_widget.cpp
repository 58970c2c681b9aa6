#include "status_bar_widget.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <qdrawutil.h>

#include "guard.h"
#include "units.h"

namespace uiqt {

namespace {
constexpr int kGap = 2;      // between panels
constexpr int kPad = 6;      // text padding inside a panel
constexpr int kMargin = 2;   // around the panels
}  // namespace

StatusBarWidget::StatusBarWidget(ui::StatusBar& model, QWidget* parent) : QWidget(parent), m_(model) {
    setObjectName(qs(model.name));
    m_.viewChanged = [this] { sync(); };
    setAttribute(Qt::WA_Hover);
}

StatusBarWidget::~StatusBarWidget() { m_.viewChanged = nullptr; }

void StatusBarWidget::sync() {
    if (isHidden() == m_.visible()) setVisible(m_.visible());
    update();
}

QSize StatusBarWidget::sizeHint() const {
    return QSize(200, fontMetrics().height() + 2 * kMargin + 6);
}

std::vector<QRect> StatusBarWidget::panelRects() const {
    std::vector<QRect> rects;
    const int n = static_cast<int>(m_.panels.size());
    if (n == 0) return rects;
    const QFontMetrics fm = fontMetrics();
    const int inner = width() - 2 * kMargin - (n - 1) * kGap;
    std::vector<int> w(static_cast<size_t>(n), 0);
    int fixed = 0, springs = 0;
    for (int i = 0; i < n; ++i) {
        const auto& p = m_.panels[static_cast<size_t>(i)];
        if (p.autoFit) {
            w[static_cast<size_t>(i)] = fm.horizontalAdvance(qs(p.text)) + 2 * kPad;
            fixed += w[static_cast<size_t>(i)];
        } else {
            ++springs;
        }
    }
    int rest = std::max(0, inner - fixed);
    for (int i = 0, given = 0, seen = 0; i < n; ++i) {
        if (m_.panels[static_cast<size_t>(i)].autoFit) continue;
        ++seen;
        int share = seen == springs ? rest - given : rest / springs;
        w[static_cast<size_t>(i)] = std::max(2 * kPad, share);
        given += share;
    }
    int x = kMargin;
    for (int i = 0; i < n; ++i) {
        rects.emplace_back(x, kMargin, w[static_cast<size_t>(i)], height() - 2 * kMargin);
        x += w[static_cast<size_t>(i)] + kGap;
    }
    return rects;
}

int StatusBarWidget::panelAt(const QPoint& p) const {
    auto rects = panelRects();
    for (size_t i = 0; i < rects.size(); ++i)
        if (rects[i].contains(p)) return static_cast<int>(i);
    return -1;
}

void StatusBarWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPalette pal = palette();
    p.fillRect(rect(), pal.color(QPalette::Window));
    auto rects = panelRects();
    for (size_t i = 0; i < rects.size(); ++i) {
        const auto& panel = m_.panels[i];
        QRect r = rects[i];
        bool down = pressed_ == static_cast<int>(i) && panel.raised;
        if (panel.raised) p.fillRect(r, pal.color(down ? QPalette::Mid : QPalette::Button));
        qDrawShadePanel(&p, r, pal, !panel.raised || down, 1);
        p.setPen(pal.color(panel.raised ? QPalette::ButtonText : QPalette::WindowText));
        QRect tr = r.adjusted(kPad, 0, -kPad / 2, 0);
        if (down) tr.translate(1, 1);
        p.drawText(tr, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   fontMetrics().elidedText(qs(panel.text), Qt::ElideRight, tr.width()));
    }
}

void StatusBarWidget::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    pressed_ = panelAt(e->position().toPoint());
    update();
}

void StatusBarWidget::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    int i = panelAt(e->position().toPoint());
    bool click = i >= 0 && i == pressed_;
    pressed_ = -1;
    update();
    if (click && m_.enabled() && m_.onPanelClick) {
        std::string key = m_.panels[static_cast<size_t>(i)].key;
        guarded([&] { m_.onPanelClick(key); });
    }
}

bool StatusBarWidget::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        auto* he = static_cast<QHelpEvent*>(e);
        int i = panelAt(he->pos());
        if (i >= 0 && !m_.panels[static_cast<size_t>(i)].toolTip.empty())
            QToolTip::showText(he->globalPos(), qs(m_.panels[static_cast<size_t>(i)].toolTip), this,
                               panelRects()[static_cast<size_t>(i)]);
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(e);
}

}  // namespace uiqt
