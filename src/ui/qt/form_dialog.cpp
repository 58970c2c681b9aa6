#include "form_dialog.h"

#include <QApplication>
#include <QKeyEvent>

#include "control_views.h"
#include "guard.h"
#include "units.h"

namespace uiqt {

namespace {
// The forms are designed with outer sizes that include a title bar and borders.
constexpr int kDesignBorderPx = 6;
constexpr int kDesignCaptionPx = 25;
}  // namespace

FormDialog::FormDialog(ui::Form& form, QWidget* parent) : QDialog(parent), form_(form) {
    setObjectName(qs(form.caption()));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    setModal(true);
    // The dialogs were laid out for an 8-point face; the application's face at that size fits them.
    QFont f = designFont(8);
    setFont(f);
    std::vector<QWidget*> behind;
    for (ui::Control* c : form.controls()) {
        QWidget* w = makeControlView(*c, this, f);
        if (!w) continue;
        views_.emplace_back(c, w);
        if (dynamic_cast<ui::Frame*>(c) || dynamic_cast<ui::TabStrip*>(c)) behind.push_back(w);
    }
    // Frames and tab panes are drawn under the controls placed on them.
    for (auto it = behind.rbegin(); it != behind.rend(); ++it) (*it)->lower();
    form_.viewChanged = [this] { syncForm(); };
    syncForm();
}

FormDialog::~FormDialog() {
    form_.viewChanged = nullptr;
    // The views unbind their models as they are destroyed with the dialog.
}

QWidget* FormDialog::controlWidget(const std::string& name) const {
    for (const auto& [c, w] : views_)
        if (c->name == name) return w;
    return nullptr;
}

void FormDialog::resizeToForm() {
    const double k = logicalDpi() / 96.0;
    int w = px(form_.width()) - static_cast<int>(kDesignBorderPx * k);
    int h = px(form_.height()) - static_cast<int>(kDesignCaptionPx * k);
    // Never cut a control off, whatever the designed size says.
    int right = 0, bottom = 0, left = 1 << 20, top = 1 << 20;
    for (const auto& [c, wdg] : views_) {
        if (!c->visible()) continue;
        QRect g = wdg->geometry();
        right = std::max(right, g.right() + 1);
        bottom = std::max(bottom, g.bottom() + 1);
        left = std::min(left, g.left());
        top = std::min(top, g.top());
    }
    if (right > 0) w = std::max(w, right + std::clamp(left, 4, 12));
    if (bottom > 0) h = std::max(h, bottom + std::clamp(top, 4, 12));
    QSize s(std::max(w, 60), std::max(h, 40));
    if (size() != s) setFixedSize(s);
}

void FormDialog::syncForm() {
    QString title = qs(form_.caption());
    if (windowTitle() != title) setWindowTitle(title);
    resizeToForm();
}

void FormDialog::finish() {
    finished_ = true;
    if (isVisible()) done(0);
}

void FormDialog::reject() {
    for (const auto& [c, w] : views_) {
        auto* b = dynamic_cast<ui::Button*>(c);
        if (b && b->isCancel && b->visible() && b->enabled()) {
            guarded([&] { b->click(); });
            return;  // the button's handler hides the form, or keeps it open
        }
    }
    bool cancel = false;
    guarded([&] { form_.Form_QueryUnload(cancel, 0); });
    if (cancel) return;
    guarded([&] { form_.Form_Unload(cancel); });
    if (cancel) return;
    form_.unloadForm();
    finish();
}

void FormDialog::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        // Esc presses the cancel button; a form without one ignores it.
        for (const auto& [c, w] : views_) {
            auto* b = dynamic_cast<ui::Button*>(c);
            if (b && b->isCancel && b->visible() && b->enabled()) {
                guarded([&] { b->click(); });
                break;
            }
        }
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

}  // namespace uiqt
