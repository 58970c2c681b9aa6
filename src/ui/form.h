// A window (form) model: caption, size and state, the events a form raises,
// and its modal result. The logic of each window derives from it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "controls.h"
#include "types.h"

namespace ui {

class Form {
public:
    virtual ~Form() = default;

    const std::string& caption() const { return caption_; }
    void setCaption(std::string c) { caption_ = std::move(c); notify(); }

    // Outer size in twips; inner (client) size as ScaleWidth/ScaleHeight.
    double width() const { return width_; }
    double height() const { return height_; }
    void setWidth(double w) { width_ = w; notify(); }
    void setHeight(double h) { height_ = h; notify(); }
    double scaleWidth() const { return scaleWidth_; }
    double scaleHeight() const { return scaleHeight_; }
    WindowState windowState() const { return state_; }
    void setWindowState(WindowState s) { state_ = s; notify(); }
    bool enabled() const { return enabled_; }
    void setEnabled(bool e) { enabled_ = e; notify(); }
    bool visible() const { return visible_; }
    bool keyPreview = false;

    MousePointer mousePointer() const { return pointer_; }
    void setMousePointer(MousePointer p) { pointer_ = p; notify(); }

    // Reported by the view (or a test) when the window's size or state changes;
    // runs Form_Resize.
    void viewResized(double outerW, double outerH, double innerW, double innerH, WindowState s) {
        width_ = outerW; height_ = outerH; scaleWidth_ = innerW; scaleHeight_ = innerH; state_ = s;
        Form_Resize();
    }
    void viewShown() { visible_ = true; }
    void viewHidden() { visible_ = false; }

    // Event handlers, overridden by each window's logic.
    virtual void Form_Load() {}
    virtual void Form_Activate() {}
    virtual void Form_Resize() {}
    virtual void Form_QueryUnload(bool& cancel, int unloadMode) {}
    virtual void Form_Unload(bool& cancel) {}
    virtual void Form_KeyDown(int& keyCode, int shift) {}

    // The form's controls in drawing order, for a view that lays out any form
    // from its models (dialogs). The main window has its own view.
    virtual std::vector<Control*> controls() { return {}; }
    // Set by the view while the form is shown modally; `Platform::hide` ends it.
    bool modal = false;
    // Raised by the platform each time it shows a form: Form_Load the first
    // time (or after unloadForm), then Form_Activate.
    void raiseShown() {
        if (!loaded_) { loaded_ = true; Form_Load(); }
        Form_Activate();
    }
    bool loaded() const { return loaded_; }
    void unloadForm() { loaded_ = false; }

    std::function<void()> viewChanged;

protected:
    void notify() { if (viewChanged) viewChanged(); }

private:
    std::string caption_;
    double width_ = 0, height_ = 0, scaleWidth_ = 0, scaleHeight_ = 0;
    WindowState state_ = WindowState::Normal;
    bool enabled_ = true, visible_ = false, loaded_ = false;
    MousePointer pointer_ = MousePointer::Default;
};

}  // namespace ui
