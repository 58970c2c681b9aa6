#include "controls.h"

#include <algorithm>
#include <cctype>

namespace ui {

namespace {

// Case-insensitive order of a sorted Windows list box (byte-wise after folding ASCII case).
bool lessNoCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}

int clampTo(int v, int lo, int hi) { return std::max(lo, std::min(v, hi)); }

}  // namespace

void TextBox::setText(std::string t) {
    if (maxLength > 0 && static_cast<int>(t.size()) > maxLength) t.resize(static_cast<size_t>(maxLength));
    text_ = std::move(t);
    selStart_ = clampTo(selStart_, 0, static_cast<int>(text_.size()));
    selLength_ = clampTo(selLength_, 0, static_cast<int>(text_.size()) - selStart_);
    notify();
    if (onChange) onChange();
}

void TextBox::setSelStart(int s) {
    selStart_ = clampTo(s, 0, static_cast<int>(text_.size()));
    selLength_ = 0;
    notify();
}

void TextBox::setSelLength(int n) {
    selLength_ = clampTo(n, 0, static_cast<int>(text_.size()) - selStart_);
    notify();
}

void TextBox::typeKey(int keyAscii) {
    if (onKeyPress) onKeyPress(keyAscii);
    if (keyAscii == 0) return;
    std::string t = text_;
    size_t start = static_cast<size_t>(selStart_), len = static_cast<size_t>(selLength_);
    if (keyAscii == 8) {
        if (len > 0) {
            t.erase(start, len);
        } else if (start > 0) {
            t.erase(start - 1, 1);
            --start;
        }
    } else if (keyAscii >= 32 && keyAscii != 127) {
        if (maxLength > 0 && static_cast<int>(t.size() - len) >= maxLength) return;
        t.replace(start, len, 1, static_cast<char>(keyAscii));
        ++start;
    } else {
        return;  // Enter, Esc and other control keys do not edit a single-line box
    }
    text_ = std::move(t);
    selStart_ = static_cast<int>(start);
    selLength_ = 0;
    notify();
    if (onChange) onChange();
}

void TextBox::userEdited(std::string t) {
    text_ = std::move(t);
    selStart_ = clampTo(selStart_, 0, static_cast<int>(text_.size()));
    selLength_ = clampTo(selLength_, 0, static_cast<int>(text_.size()) - selStart_);
    if (onChange) onChange();
}

int ComboBox::addItem(const std::string& text) {
    size_t pos = items_.size();
    if (sorted) {
        auto it = std::upper_bound(items_.begin(), items_.end(), text,
                                   [](const std::string& t, const Item& i) { return lessNoCase(t, i.text); });
        pos = static_cast<size_t>(it - items_.begin());
    }
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(pos), Item{text, 0});
    if (listIndex_ >= static_cast<int>(pos)) ++listIndex_;
    notify();
    return static_cast<int>(pos);
}

void ComboBox::clear() {
    items_.clear();
    listIndex_ = -1;
    notify();
}

void ComboBox::setListIndex(int i) {
    listIndex_ = (i >= 0 && i < listCount()) ? i : -1;
    notify();
    if (onClick) onClick();
}

int StatusBar::panelIndex(const std::string& key) const {
    for (size_t i = 0; i < panels.size(); ++i)
        if (panels[i].key == key) return static_cast<int>(i + 1);
    return 0;
}

ToolButton* ToolBar::button(const std::string& key) {
    for (auto& b : buttons)
        if (!key.empty() && b.key == key) return &b;
    return nullptr;
}

void ToolBar::setButtonToolTip(const std::string& key, std::string tip) {
    if (auto* b = button(key)) {
        b->toolTip = std::move(tip);
        notify();
    }
}

}  // namespace ui
