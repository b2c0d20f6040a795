// Label, memo and gauge models: controls that only show something. UI thread.
#pragma once

#include <vector>

#include "ui/control.h"

namespace tw::ui {

class Label : public Control {
public:
    Label(std::string name, Rect bounds, std::string caption)
        : Control(std::move(name), bounds), caption_(std::move(caption)) {}
    ControlType type() const override { return ControlType::Label; }
    const std::string& caption() const { return caption_; }
    void set_caption(std::string c) {
        if (caption_ != c) { caption_ = std::move(c); notify_view(); }
    }
    // A click on the label (a link label): runs on_click.
    void click() {
        if (enabled() && on_click) on_click();
    }
    // Mouse enter/leave, forwarded by the front end.
    std::function<void()> on_mouse_enter;
    std::function<void()> on_mouse_leave;
    std::function<void()> on_click;

private:
    std::string caption_;
};

class Memo : public Control {
public:
    Memo(std::string name, Rect bounds, std::vector<std::string> lines = {})
        : Control(std::move(name), bounds), lines_(std::move(lines)) {}
    ControlType type() const override { return ControlType::Memo; }
    const std::vector<std::string>& lines() const { return lines_; }
    void set_lines(std::vector<std::string> l) { lines_ = std::move(l); notify_view(); }
    void add_line(std::string l) { lines_.push_back(std::move(l)); notify_view(); }

private:
    std::vector<std::string> lines_;
};

class Gauge : public Control {
public:
    Gauge(std::string name, Rect bounds, int min = 0, int max = 100, int progress = 0)
        : Control(std::move(name), bounds), min_(min), max_(max), progress_(progress) {}
    ControlType type() const override { return ControlType::Gauge; }
    int min() const { return min_; }
    int max() const { return max_; }
    int progress() const { return progress_; }
    // Clamped into [min, max].
    void set_progress(int p) {
        p = p < min_ ? min_ : (p > max_ ? max_ : p);
        if (p != progress_) { progress_ = p; notify_view(); }
    }

private:
    int min_, max_, progress_;
};

}  // namespace tw::ui
