// Check box model: setting the state always runs on_click, changed or not.
// UI thread.
#pragma once

#include "ui/control.h"

namespace tw::ui {

class CheckBox : public Control {
public:
    CheckBox(std::string name, Rect bounds, std::string caption, bool checked = false)
        : Control(std::move(name), bounds), caption_(std::move(caption)), checked_(checked) {}

    ControlType type() const override { return ControlType::CheckBox; }

    bool checked() const { return checked_; }
    // Stores the state and always runs on_click.
    void set_checked(bool c) {
        if (checked_ != c) { checked_ = c; notify_view(); }
        if (on_click) on_click();
    }
    // A user click: flips the state (running on_click) if the box is enabled.
    void click() {
        if (enabled()) set_checked(!checked_);
    }

    const std::string& caption() const { return caption_; }
    void set_caption(std::string c) {
        if (caption_ != c) { caption_ = std::move(c); notify_view(); }
    }

    std::function<void()> on_click;

private:
    std::string caption_;
    bool checked_;
};

}  // namespace tw::ui
