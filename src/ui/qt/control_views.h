// Qt widgets that mirror one control model each: positioned in twips in their
// parent, refreshed by the model's viewChanged, feeding the user's actions back
// as the model's events. Used for the main window's editors and for dialogs.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>

#include "ui/controls.h"

namespace uiqt {

// Geometry, visibility, enabled state and tool tip of any control.
void applyControl(QWidget* w, const ui::Control& c);

// A view widget for any control model (nullptr for a kind this layer does not know).
QWidget* makeControlView(ui::Control& c, QWidget* parent, const QFont& formFont);

class LineEditView : public QLineEdit {
    Q_OBJECT
public:
    LineEditView(ui::TextBox& model, QWidget* parent);
    ~LineEditView() override;
    void sync();
    ui::TextBox& model() { return m_; }

protected:
    bool event(QEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent*) override;
    void focusOutEvent(QFocusEvent*) override;

private:
    void pushSelection();
    ui::TextBox& m_;
    bool applying_ = false;
};

class PlainTextView : public QPlainTextEdit {
    Q_OBJECT
public:
    PlainTextView(ui::TextBox& model, QWidget* parent);
    ~PlainTextView() override;
    void sync();

protected:
    void keyPressEvent(QKeyEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent*) override;
    void focusOutEvent(QFocusEvent*) override;

private:
    ui::TextBox& m_;
    bool applying_ = false;
};

class ComboView : public QComboBox {
    Q_OBJECT
public:
    ComboView(ui::ComboBox& model, QWidget* parent);
    ~ComboView() override;
    void sync();
    ui::ComboBox& model() { return m_; }

protected:
    void focusOutEvent(QFocusEvent*) override;

private:
    void syncItems();
    ui::ComboBox& m_;
    bool applying_ = false;
};

class LabelView : public QLabel {
    Q_OBJECT
public:
    LabelView(ui::Label& model, QWidget* parent, const QFont& formFont);
    ~LabelView() override;
    void sync();

protected:
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    ui::Label& m_;
    QFont formFont_;
    bool pressed_ = false;
};

class ButtonView : public QPushButton {
    Q_OBJECT
public:
    ButtonView(ui::Button& model, QWidget* parent);
    ~ButtonView() override;
    void sync();
    ui::Button& model() { return m_; }

private:
    ui::Button& m_;
};

class CheckBoxView : public QCheckBox {
    Q_OBJECT
public:
    CheckBoxView(ui::CheckBox& model, QWidget* parent);
    ~CheckBoxView() override;
    void sync();

private:
    ui::CheckBox& m_;
    bool applying_ = false;
};

class FrameView : public QGroupBox {
    Q_OBJECT
public:
    FrameView(ui::Frame& model, QWidget* parent);
    ~FrameView() override;
    void sync();

private:
    ui::Frame& m_;
};

class LineView : public QWidget {
    Q_OBJECT
public:
    LineView(ui::Line& model, QWidget* parent);
    ~LineView() override;
    void sync();

protected:
    void paintEvent(QPaintEvent*) override;

private:
    ui::Line& m_;
};

class PictureView : public QLabel {
    Q_OBJECT
public:
    PictureView(ui::Picture& model, QWidget* parent);
    ~PictureView() override;
    void sync();

private:
    ui::Picture& m_;
};

// The tabs and the pane below them; the form shows the selected tab's controls itself.
class TabStripView : public QWidget {
    Q_OBJECT
public:
    TabStripView(ui::TabStrip& model, QWidget* parent);
    ~TabStripView() override;
    void sync();
    QTabBar* tabBar() { return bar_; }

protected:
    void resizeEvent(QResizeEvent*) override;

private:
    void layoutParts();
    ui::TabStrip& m_;
    QTabBar* bar_;
    QFrame* pane_;
    bool applying_ = false;
};

// A caption with & before its access key, as a label shows it (no mnemonic).
QString plainCaption(const std::string& caption);

}  // namespace uiqt
