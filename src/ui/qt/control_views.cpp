#include "control_views.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>

#include "guard.h"
#include "units.h"

namespace uiqt {

void applyControl(QWidget* w, const ui::Control& c) {
    QRect r(px(c.left()), px(c.top()), std::max(0, px(c.width())), std::max(0, px(c.height())));
    if (w->geometry() != r) w->setGeometry(r);
    if (w->isHidden() == c.visible()) w->setVisible(c.visible());
    if (w->isEnabled() != c.enabled()) w->setEnabled(c.enabled());
    QString tip = qs(c.toolTip());
    if (w->toolTip() != tip) w->setToolTip(tip);
}

QString plainCaption(const std::string& caption) {
    QString in = qs(caption), out;
    for (int i = 0; i < in.size(); ++i) {
        if (in[i] == '&') {
            if (i + 1 < in.size() && in[i + 1] == '&') {
                out += '&';
                ++i;
            }
            continue;
        }
        out += in[i];
    }
    return out;
}

namespace {

// Multi-line text boxes keep Windows line ends in the model.
QString toDisplay(const std::string& s) { return qs(s).replace("\r\n", "\n").replace('\r', '\n'); }
std::string fromDisplay(const QString& s) {
    QString t = s;
    return ss(t.replace("\n", "\r\n"));
}

template <class M, class W>
void bindHooks(M& m, W* w) {
    m.viewChanged = [w] { w->sync(); };
    m.focusRequested = [w] {
        // A hidden control cannot take the focus (the logic ignores that); one in a
        // dialog not on screen yet gets it when the dialog appears.
        if (w->isHidden() || !w->isEnabled()) return;
        w->setFocus(Qt::OtherFocusReason);
    };
}

void unbindHooks(ui::Control& m) {
    m.viewChanged = nullptr;
    m.focusRequested = nullptr;
}

}  // namespace

// ---- Text box ----

LineEditView::LineEditView(ui::TextBox& model, QWidget* parent) : QLineEdit(parent), m_(model) {
    setObjectName(qs(model.name));
    setMinimumSize(0, 0);
    bindHooks(m_, this);
    connect(this, &QLineEdit::textEdited, this, [this](const QString& t) {
        if (applying_) return;
        guarded([&] { m_.userEdited(ss(t)); });
        pushSelection();
    });
    connect(this, &QLineEdit::cursorPositionChanged, this, [this] { pushSelection(); });
    connect(this, &QLineEdit::selectionChanged, this, [this] { pushSelection(); });
    sync();
}

LineEditView::~LineEditView() { unbindHooks(m_); }

void LineEditView::sync() {
    if (applying_) return;
    applying_ = true;
    applyControl(this, m_);
    setMaxLength(m_.maxLength > 0 ? m_.maxLength : 32767);
    setReadOnly(m_.locked);
    QString t = qs(m_.text());
    if (text() != t) setText(t);
    int start = hasSelectedText() ? selectionStart() : cursorPosition();
    int len = hasSelectedText() ? int(selectedText().size()) : 0;
    if (start != m_.selStart() || len != m_.selLength()) {
        if (m_.selLength() > 0)
            setSelection(m_.selStart(), m_.selLength());
        else
            setCursorPosition(m_.selStart());
    }
    applying_ = false;
}

void LineEditView::pushSelection() {
    if (applying_) return;
    int start = hasSelectedText() ? selectionStart() : cursorPosition();
    int len = hasSelectedText() ? int(selectedText().size()) : 0;
    if (start == m_.selStart() && len == m_.selLength()) return;
    applying_ = true;
    m_.setSelStart(start);
    m_.setSelLength(len);
    applying_ = false;
}

bool LineEditView::event(QEvent* ev) {
    // Tab and Shift+Tab would move the focus before any key handler saw them; a text box
    // with a key handler is asked first (as character 9) and keeps the focus when it consumes them.
    if (ev->type() == QEvent::KeyPress && m_.onKeyPress) {
        auto* e = static_cast<QKeyEvent*>(ev);
        if ((e->key() == Qt::Key_Tab || e->key() == Qt::Key_Backtab) &&
            !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            pushSelection();
            int key = 9;
            guarded([&] { m_.onKeyPress(key); });
            if (key == 0) {
                e->accept();
                return true;
            }
        }
    }
    return QLineEdit::event(ev);
}

void LineEditView::keyPressEvent(QKeyEvent* e) {
    int k = keyAscii(*e);
    if (k != 0 && !(e->modifiers() & Qt::AltModifier) && m_.onKeyPress) {
        pushSelection();
        int key = k;
        guarded([&] { m_.onKeyPress(key); });
        if (key == 0) {
            e->accept();
            return;
        }
        if (key != k) {  // the handler typed another character instead
            if (key == 8) backspace();
            else if (key >= 32 && key != 127) insert(QString(QChar(key)));
            if (!applying_) guarded([&] { m_.userEdited(ss(text())); });
            e->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(e);
}

void LineEditView::mouseDoubleClickEvent(QMouseEvent* e) {
    QLineEdit::mouseDoubleClickEvent(e);
    if (m_.onDblClick) guarded([&] { m_.onDblClick(); });
}

void LineEditView::focusOutEvent(QFocusEvent* e) {
    QLineEdit::focusOutEvent(e);
    m_.focusLost();
}

PlainTextView::PlainTextView(ui::TextBox& model, QWidget* parent) : QPlainTextEdit(parent), m_(model) {
    setObjectName(qs(model.name));
    setMinimumSize(0, 0);
    // A text box of the designed height shows its lines without a scroll bar.
    document()->setDocumentMargin(1);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    bindHooks(m_, this);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (applying_) return;
        std::string t = fromDisplay(toPlainText());
        if (m_.maxLength > 0 && static_cast<int>(t.size()) > m_.maxLength) {
            t.resize(static_cast<size_t>(m_.maxLength));
            applying_ = true;
            setPlainText(toDisplay(t));
            moveCursor(QTextCursor::End);
            applying_ = false;
        }
        guarded([&] { m_.userEdited(t); });
    });
    sync();
}

PlainTextView::~PlainTextView() { unbindHooks(m_); }

void PlainTextView::sync() {
    if (applying_) return;
    applying_ = true;
    applyControl(this, m_);
    setReadOnly(m_.locked);
    QString t = toDisplay(m_.text());
    if (toPlainText() != t) {
        setPlainText(t);
        QTextCursor c = textCursor();
        c.setPosition(std::min<int>(m_.selStart(), t.size()));
        c.setPosition(std::min<int>(m_.selStart() + m_.selLength(), t.size()), QTextCursor::KeepAnchor);
        setTextCursor(c);
    }
    applying_ = false;
}

void PlainTextView::keyPressEvent(QKeyEvent* e) {
    int k = keyAscii(*e);
    if (k != 0 && !(e->modifiers() & Qt::AltModifier) && m_.onKeyPress) {
        int key = k;
        guarded([&] { m_.onKeyPress(key); });
        if (key == 0) {
            e->accept();
            return;
        }
        if (key != k) {
            if (key == 8) textCursor().deletePreviousChar();
            else if (key >= 32 && key != 127) insertPlainText(QString(QChar(key)));
            e->accept();
            return;
        }
    }
    QPlainTextEdit::keyPressEvent(e);
}

void PlainTextView::mouseDoubleClickEvent(QMouseEvent* e) {
    QPlainTextEdit::mouseDoubleClickEvent(e);
    if (m_.onDblClick) guarded([&] { m_.onDblClick(); });
}

void PlainTextView::focusOutEvent(QFocusEvent* e) {
    QPlainTextEdit::focusOutEvent(e);
    m_.focusLost();
}

// ---- Drop-down list ----

ComboView::ComboView(ui::ComboBox& model, QWidget* parent) : QComboBox(parent), m_(model) {
    setObjectName(qs(model.name));
    setEditable(false);
    setMinimumSize(0, 0);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(1);
    bindHooks(m_, this);
    connect(this, qOverload<int>(&QComboBox::activated), this, [this](int i) {
        if (applying_) return;
        guarded([&] { m_.setListIndex(i); });
    });
    sync();
}

ComboView::~ComboView() { unbindHooks(m_); }

void ComboView::syncItems() {
    bool same = count() == m_.listCount();
    for (int i = 0; same && i < count(); ++i) same = itemText(i) == qs(m_.list(i));
    if (same) return;
    clear();
    QStringList items;
    items.reserve(m_.listCount());
    for (int i = 0; i < m_.listCount(); ++i) items << qs(m_.list(i));
    addItems(items);
}

void ComboView::sync() {
    if (applying_) return;
    applying_ = true;
    // Items are copied only while the list can be seen: loading a long list
    // notifies once per item, while the combo is hidden.
    if (m_.visible()) syncItems();
    else if (m_.listCount() == 0 && count() > 0) clear();
    applyControl(this, m_);
    if (m_.visible() && currentIndex() != m_.listIndex()) setCurrentIndex(m_.listIndex());
    int dropped = m_.droppedWidthPixels;
    if (view()->minimumWidth() != dropped) view()->setMinimumWidth(dropped);
    applying_ = false;
}

void ComboView::focusOutEvent(QFocusEvent* e) {
    QComboBox::focusOutEvent(e);
    m_.focusLost();
}

// ---- Label ----

LabelView::LabelView(ui::Label& model, QWidget* parent, const QFont& formFont)
    : QLabel(parent), m_(model), formFont_(formFont) {
    setObjectName(qs(model.name));
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    bindHooks(m_, this);
    sync();
}

LabelView::~LabelView() { unbindHooks(m_); }

void LabelView::sync() {
    applyControl(this, m_);
    setText(plainCaption(m_.caption()));
    setWordWrap(m_.wordWrap);
    QFont f = formFont_;
    if (!m_.font.name.empty()) f.setFamily(qs(m_.font.name));
    if (m_.font.size > 0) f.setPointSizeF(m_.font.size);
    f.setBold(m_.font.bold);
    f.setItalic(m_.font.italic);
    f.setUnderline(m_.font.underline);
    setFont(f);
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, resolveColor(m_.foreColor, QApplication::palette()));
    setPalette(pal);
    if (m_.mousePointer == ui::MousePointer::Hand) setCursor(Qt::PointingHandCursor);
    else if (m_.mousePointer == ui::MousePointer::Hourglass) setCursor(Qt::WaitCursor);
    else unsetCursor();
}

void LabelView::mousePressEvent(QMouseEvent* e) {
    pressed_ = e->button() == Qt::LeftButton;
    QLabel::mousePressEvent(e);
}

void LabelView::mouseReleaseEvent(QMouseEvent* e) {
    bool click = pressed_ && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(e);
    if (click && m_.enabled() && m_.onClick) guarded([&] { m_.onClick(); });
}

// ---- Button ----

ButtonView::ButtonView(ui::Button& model, QWidget* parent) : QPushButton(parent), m_(model) {
    setObjectName(qs(model.name));
    setMinimumSize(0, 0);
    bindHooks(m_, this);
    connect(this, &QPushButton::clicked, this, [this] { guarded([&] { m_.click(); }); });
    sync();
}

ButtonView::~ButtonView() { unbindHooks(m_); }

void ButtonView::sync() {
    applyControl(this, m_);
    setText(qs(m_.caption()));
    if (isDefault() != m_.isDefault) setDefault(m_.isDefault);
}

// ---- Check box ----

CheckBoxView::CheckBoxView(ui::CheckBox& model, QWidget* parent) : QCheckBox(parent), m_(model) {
    setObjectName(qs(model.name));
    bindHooks(m_, this);
    connect(this, &QCheckBox::clicked, this, [this](bool on) {
        if (applying_) return;
        guarded([&] { m_.setValue(on ? 1 : 0); });
    });
    sync();
}

CheckBoxView::~CheckBoxView() { unbindHooks(m_); }

void CheckBoxView::sync() {
    applying_ = true;
    applyControl(this, m_);
    setText(qs(m_.caption()));
    Qt::CheckState s = m_.value() == 1 ? Qt::Checked : m_.value() == 2 ? Qt::PartiallyChecked : Qt::Unchecked;
    if (s == Qt::PartiallyChecked) setTristate(true);
    if (checkState() != s) setCheckState(s);
    applying_ = false;
}

// ---- Frame, line, picture ----

FrameView::FrameView(ui::Frame& model, QWidget* parent) : QGroupBox(parent), m_(model) {
    setObjectName(qs(model.name));
    bindHooks(m_, this);
    sync();
}

FrameView::~FrameView() { unbindHooks(m_); }

void FrameView::sync() {
    applyControl(this, m_);
    setTitle(plainCaption(m_.caption()));
}

LineView::LineView(ui::Line& model, QWidget* parent) : QWidget(parent), m_(model) {
    setObjectName(qs(model.name));
    bindHooks(m_, this);
    sync();
}

LineView::~LineView() { unbindHooks(m_); }

void LineView::sync() {
    // The model's line runs from its corner over width and height; the widget needs at least one pixel each way.
    int l = px(m_.left()), t = px(m_.top()), w = px(m_.width()), h = px(m_.height());
    QRect r(std::min(l, l + w), std::min(t, t + h), std::max(1, std::abs(w) + 1), std::max(1, std::abs(h) + 1));
    if (geometry() != r) setGeometry(r);
    if (isHidden() == m_.visible()) setVisible(m_.visible());
    update();
}

void LineView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(resolveColor(m_.borderColor, QApplication::palette()));
    int w = px(m_.width()), h = px(m_.height());
    QPoint a(w < 0 ? -w : 0, h < 0 ? -h : 0);
    p.drawLine(a, a + QPoint(w, h));
}

PictureView::PictureView(ui::Picture& model, QWidget* parent) : QLabel(parent), m_(model) {
    setObjectName(qs(model.name));
    setAlignment(Qt::AlignCenter);
    bindHooks(m_, this);
    sync();
}

PictureView::~PictureView() { unbindHooks(m_); }

void PictureView::sync() {
    applyControl(this, m_);
    QString name = m_.image.empty() ? QStringLiteral(":/icons/hourgrid.png") : qs(m_.image);
    if (!name.startsWith(':') && !name.contains('/')) name = ":/icons/" + name;
    QIcon icon(name);
    QSize s = size().isEmpty() ? QSize(32, 32) : size();
    int side = std::min(s.width(), s.height());
    setPixmap(icon.pixmap(QSize(side, side), devicePixelRatioF()));
}

// ---- Tab strip ----

TabStripView::TabStripView(ui::TabStrip& model, QWidget* parent) : QWidget(parent), m_(model) {
    setObjectName(qs(model.name));
    bar_ = new QTabBar(this);
    bar_->setDrawBase(false);
    bar_->setExpanding(false);
    pane_ = new QFrame(this);
    pane_->setFrameShape(QFrame::StyledPanel);
    pane_->setFrameShadow(QFrame::Raised);
    for (const auto& t : m_.tabs) {
        int i = bar_->addTab(qs(t.caption));
        bar_->setTabToolTip(i, qs(t.toolTip));
    }
    bindHooks(m_, this);
    m_.focusRequested = [this] { bar_->setFocus(Qt::OtherFocusReason); };
    connect(bar_, &QTabBar::currentChanged, this, [this](int i) {
        if (applying_ || i < 0) return;
        guarded([&] { m_.select(i + 1); });
    });
    sync();
}

TabStripView::~TabStripView() { unbindHooks(m_); }

void TabStripView::sync() {
    applying_ = true;
    applyControl(this, m_);
    for (int i = 0; i < bar_->count() && i < static_cast<int>(m_.tabs.size()); ++i) {
        bar_->setTabText(i, qs(m_.tabs[static_cast<size_t>(i)].caption));
        bar_->setTabToolTip(i, qs(m_.tabs[static_cast<size_t>(i)].toolTip));
    }
    if (bar_->currentIndex() != m_.selectedIndex() - 1) bar_->setCurrentIndex(m_.selectedIndex() - 1);
    applying_ = false;
    layoutParts();
}

void TabStripView::resizeEvent(QResizeEvent*) { layoutParts(); }

void TabStripView::layoutParts() {
    int h = bar_->sizeHint().height();
    bar_->setGeometry(0, 0, width(), h);
    pane_->setGeometry(0, h - 1, width(), std::max(0, height() - h + 1));
    bar_->raise();
}

QWidget* makeControlView(ui::Control& c, QWidget* parent, const QFont& formFont) {
    if (auto* t = dynamic_cast<ui::TextBox*>(&c))
        return t->multiLine ? static_cast<QWidget*>(new PlainTextView(*t, parent)) : new LineEditView(*t, parent);
    if (auto* x = dynamic_cast<ui::ComboBox*>(&c)) return new ComboView(*x, parent);
    if (auto* x = dynamic_cast<ui::Label*>(&c)) return new LabelView(*x, parent, formFont);
    if (auto* x = dynamic_cast<ui::Button*>(&c)) return new ButtonView(*x, parent);
    if (auto* x = dynamic_cast<ui::CheckBox*>(&c)) return new CheckBoxView(*x, parent);
    if (auto* x = dynamic_cast<ui::Frame*>(&c)) return new FrameView(*x, parent);
    if (auto* x = dynamic_cast<ui::Line*>(&c)) return new LineView(*x, parent);
    if (auto* x = dynamic_cast<ui::Picture*>(&c)) return new PictureView(*x, parent);
    if (auto* x = dynamic_cast<ui::TabStrip*>(&c)) return new TabStripView(*x, parent);
    return nullptr;
}

}  // namespace uiqt
