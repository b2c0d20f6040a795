// Push button and up-down (arrow pair) models. UI thread.
#pragma once

#include "ui/control.h"

namespace tw::ui {

enum class MouseButton { Left, Right, Middle };

class Button : public Control {
public:
    Button(std::string name, Rect bounds, std::string caption)
        : Control(std::move(name), bounds), caption_(std::move(caption)) {}

    ControlType type() const override { return ControlType::Button; }

    const std::string& caption() const { return caption_; }
    void set_caption(std::string c) {
        if (caption_ != c) { caption_ = std::move(c); notify_view(); }
    }

    // A click: runs on_click if the button is enabled.
    void click() {
        if (enabled() && on_click) on_click();
    }
    // A mouse button released over the button at (x, y) in its own pixels.
    void mouse_up(MouseButton b, int x, int y) {
        if (on_mouse_up) on_mouse_up(b, x, y);
    }

    std::function<void()> on_click;
    std::function<void(MouseButton, int, int)> on_mouse_up;

private:
    std::string caption_;
};

class UpDown : public Control {
public:
    UpDown(std::string name, Rect bounds) : Control(std::move(name), bounds) {}

    ControlType type() const override { return ControlType::UpDown; }

    void click_up() {
        if (enabled() && on_up) on_up();
    }
    void click_down() {
        if (enabled() && on_down) on_down();
    }

    std::function<void()> on_up;
    std::function<void()> on_down;
};

}  // namespace tw::ui
