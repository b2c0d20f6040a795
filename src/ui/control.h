// Base of the toolkit-independent control models. A model holds a control's
// state and runs its handlers with the setter rules of the window designer;
// the Qt front end only shows the state and forwards user input. UI thread.
#pragma once

#include <functional>
#include <string>

namespace tw::ui {

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

enum class ControlType { ScrollBar, CheckBox, RadioGroup, ComboBox, Button, UpDown, Label, Memo, Gauge, WebView };

class Control {
public:
    Control(std::string name, Rect bounds) : name_(std::move(name)), bounds_(bounds) {}
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    virtual ControlType type() const = 0;

    // The designer's name (the front end sets it as the widget's objectName).
    const std::string& name() const { return name_; }
    const Rect& bounds() const { return bounds_; }
    void set_bounds(Rect r) { bounds_ = r; notify_view(); }

    bool enabled() const { return enabled_; }
    void set_enabled(bool e) {
        if (enabled_ != e) { enabled_ = e; notify_view(); }
    }
    bool visible() const { return visible_; }
    void set_visible(bool v) {
        if (visible_ != v) { visible_ = v; notify_view(); }
    }
    // Tooltip text.
    const std::string& hint() const { return hint_; }
    void set_hint(std::string h) { hint_ = std::move(h); notify_view(); }

    // Set by the front end: called whenever the model's shown state changes.
    std::function<void()> on_view_update;

protected:
    void notify_view() {
        if (on_view_update) on_view_update();
    }

private:
    std::string name_;
    Rect bounds_;
    bool enabled_ = true;
    bool visible_ = true;
    std::string hint_;
};

}  // namespace tw::ui
