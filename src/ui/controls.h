// Control models: the state of each window control, kept apart from any
// widget toolkit. The logic reads and writes these; a Qt binder mirrors them
// on screen and feeds user actions back as the events below; tests drive the
// events directly. Every setter notifies the view through `viewChanged`.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "types.h"

namespace ui {

class Control {
public:
    virtual ~Control() = default;

    std::string name;  // the control's name in its form, e.g. "TimeEntry"

    double left() const { return left_; }
    double top() const { return top_; }
    double width() const { return width_; }
    double height() const { return height_; }
    void setLeft(double v) { left_ = v; notify(); }
    void setTop(double v) { top_ = v; notify(); }
    void setWidth(double v) { width_ = v; notify(); }
    void setHeight(double v) { height_ = v; notify(); }
    void move(double l, double t, double w, double h) { left_ = l; top_ = t; width_ = w; height_ = h; notify(); }

    bool visible() const { return visible_; }
    void setVisible(bool v) { visible_ = v; notify(); }
    bool enabled() const { return enabled_; }
    void setEnabled(bool v) { enabled_ = v; notify(); }
    const std::string& toolTip() const { return toolTip_; }
    void setToolTip(std::string t) { toolTip_ = std::move(t); notify(); }

    // Asks the view to give this control the keyboard focus.
    void setFocus() { if (focusRequested) focusRequested(); hasFocus_ = true; }
    bool hasFocus() const { return hasFocus_; }
    void focusLost() { hasFocus_ = false; }  // the view reports focus moving away

    std::function<void()> viewChanged;
    std::function<void()> focusRequested;

protected:
    void notify() { if (viewChanged) viewChanged(); }

private:
    double left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    bool visible_ = true, enabled_ = true, hasFocus_ = false;
    std::string toolTip_;
};

class Label : public Control {
public:
    const std::string& caption() const { return caption_; }
    void setCaption(std::string c) { caption_ = std::move(c); notify(); }
    Font font;                        // empty name: the form's font
    Color foreColor = kSysWindowText;
    MousePointer mousePointer = MousePointer::Default;
    bool wordWrap = true;
    std::function<void()> onClick;

private:
    std::string caption_;
};

class Button : public Control {
public:
    const std::string& caption() const { return caption_; }
    void setCaption(std::string c) { caption_ = std::move(c); notify(); }
    bool isDefault = false;  // Enter presses it
    bool isCancel = false;   // Esc presses it
    std::function<void()> onClick;
    void click() { if (enabled() && onClick) onClick(); }

private:
    std::string caption_;
};

class CheckBox : public Control {
public:
    const std::string& caption() const { return caption_; }
    void setCaption(std::string c) { caption_ = std::move(c); notify(); }
    int value() const { return value_; }  // 0 clear, 1 ticked
    void setValue(int v) { value_ = v; notify(); }

private:
    std::string caption_;
    int value_ = 0;
};

class TextBox : public Control {
public:
    const std::string& text() const { return text_; }
    void setText(std::string t);
    int selStart() const { return selStart_; }
    int selLength() const { return selLength_; }
    void setSelStart(int s);
    void setSelLength(int n);
    int maxLength = 0;  // characters; 0 = no limit
    bool multiLine = false;
    bool locked = false;  // shown and selectable, but the user cannot change the text

    // Key typed (character code; 8 Backspace, 13 Enter, 27 Esc). Setting it to 0
    // swallows the key; otherwise the view applies it to the text.
    std::function<void(int& keyAscii)> onKeyPress;
    std::function<void()> onDblClick;
    std::function<void()> onChange;

    // Used by views and tests: the user typed `keyAscii` (runs onKeyPress, then
    // edits the text at the selection unless the key was swallowed).
    void typeKey(int keyAscii);
    // The user replaced the text (views call this on edits they made themselves).
    void userEdited(std::string t);

private:
    std::string text_;
    int selStart_ = 0, selLength_ = 0;
};

// A drop-down list: the user can choose only listed items.
class ComboBox : public Control {
public:
    bool sorted = false;          // items kept in case-insensitive order, as a sorted Windows list
    int droppedWidthPixels = 0;   // width of the open list; 0 = the control's width

    int listCount() const { return static_cast<int>(items_.size()); }
    const std::string& list(int i) const { return items_.at(static_cast<size_t>(i)).text; }
    int32_t itemData(int i) const { return items_.at(static_cast<size_t>(i)).data; }
    void setItemData(int i, int32_t d) { items_.at(static_cast<size_t>(i)).data = d; }
    // Adds an item; returns its index (its sorted position when `sorted`).
    int addItem(const std::string& text);
    void clear();
    int listIndex() const { return listIndex_; }  // -1: nothing chosen
    void setListIndex(int i);                      // raises onClick like a user's choice
    std::string text() const { return listIndex_ >= 0 ? list(listIndex_) : std::string(); }

    std::function<void()> onClick;  // selection changed

private:
    struct Item {
        std::string text;
        int32_t data = 0;
    };
    std::vector<Item> items_;
    int listIndex_ = -1;
};

// A captioned box drawn around other controls (they are positioned in the form, not in it).
class Frame : public Control {
public:
    const std::string& caption() const { return caption_; }
    void setCaption(std::string c) { caption_ = std::move(c); notify(); }

private:
    std::string caption_;
};

// A horizontal or vertical line between (left, top) and (left + width, top + height).
class Line : public Control {
public:
    Color borderColor = kSysWindowText;
};

// A picture; an empty image name stands for the program's own icon.
class Picture : public Control {
public:
    std::string image;
};

struct Tab {
    std::string key;
    std::string caption;  // with & before the access key
    std::string toolTip;
};

// A row of tabs; the form shows the controls of the selected one itself.
class TabStrip : public Control {
public:
    std::vector<Tab> tabs;
    int selectedIndex() const { return selected_; }  // 1-based, as the program counts tabs
    // Selects a tab (as a user's click would) and raises onClick.
    void select(int index) { selected_ = index; notify(); if (onClick) onClick(); }
    std::function<void()> onClick;

private:
    int selected_ = 1;
};

struct StatusPanel {
    std::string key;
    std::string text;
    std::string toolTip;
    bool raised = false;   // looks like a button
    bool autoFit = true;   // as wide as its text; false: takes the remaining width
};

class StatusBar : public Control {
public:
    std::vector<StatusPanel> panels;  // panel i (1-based in the program) is panels[i-1]
    const std::string& panelText(int i) const { return panels.at(static_cast<size_t>(i - 1)).text; }
    void setPanelText(int i, std::string t) { panels.at(static_cast<size_t>(i - 1)).text = std::move(t); notify(); }
    int panelIndex(const std::string& key) const;  // 1-based; 0 when absent
    std::function<void(const std::string& key)> onPanelClick;
};

struct ToolButton {
    std::string key;  // empty for a separator
    std::string toolTip;
    int image = 0;    // 1-based image number
};

class ToolBar : public Control {
public:
    std::vector<ToolButton> buttons;
    ToolButton* button(const std::string& key);
    void setButtonToolTip(const std::string& key, std::string tip);
    std::function<void(const std::string& key)> onButtonClick;
};

struct MenuItem {
    std::string name;      // e.g. "FileMenuOpen"
    std::string caption;   // with & before the access key
    std::string shortcut;  // e.g. "Ctrl+M", empty when none
    bool enabled = true;
    std::function<void()> onClick;
};

struct Menu {
    std::string name;     // e.g. "FileMenu"
    std::string caption;  // e.g. "&File"
    std::vector<MenuItem> items;
};

}  // namespace ui
