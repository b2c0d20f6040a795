#include "ui/scroll_bar.h"

#include <algorithm>

namespace tw::ui {

ScrollBar::ScrollBar(std::string name, Rect bounds, BarRange range, Orientation orientation, BarStyle style)
    : Control(std::move(name), bounds),
      min_(std::min(range.min, range.max)),
      max_(std::max(range.min, range.max)),
      position_(std::clamp(range.position, std::min(range.min, range.max), std::max(range.min, range.max))),
      small_change_(range.small_change),
      large_change_(range.large_change),
      orientation_(orientation),
      style_(style) {}

void ScrollBar::set_position(int p) {
    const int clamped = std::clamp(p, min_, max_);
    if (clamped == position_) return;
    position_ = clamped;
    notify_view();
    if (on_change) on_change();
}

void ScrollBar::set_range(int min, int max) {
    min_ = std::min(min, max);
    max_ = std::max(min, max);
    notify_view();
    set_position(position_ < min_ ? min_ : (position_ > max_ ? max_ : position_));
}

std::string ScrollBar::value_text() const {
    std::string t = "Position " + std::to_string(position_);
    if (unit_text) {
        const std::string u = unit_text(position_);
        if (!u.empty()) t += ": " + u;
    }
    return t;
}

}  // namespace tw::ui
