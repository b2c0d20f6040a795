// Scroll bar / track bar model. Setting the position clamps it into the range
// and runs on_change only when the position actually changes. UI thread.
#pragma once

#include "ui/control.h"

namespace tw::ui {

enum class Orientation { Horizontal, Vertical };
enum class BarStyle { ScrollBar, TrackBar };

struct BarRange {
    int min = 0;
    int max = 100;
    int position = 0;       // start position from the window design (runs no handler)
    int small_change = 1;
    int large_change = 1;
};

class ScrollBar : public Control {
public:
    ScrollBar(std::string name, Rect bounds, BarRange range, Orientation orientation = Orientation::Horizontal,
              BarStyle style = BarStyle::ScrollBar);

    ControlType type() const override { return ControlType::ScrollBar; }

    int min() const { return min_; }
    int max() const { return max_; }
    int position() const { return position_; }
    int small_change() const { return small_change_; }
    int large_change() const { return large_change_; }
    Orientation orientation() const { return orientation_; }
    BarStyle style() const { return style_; }

    // Clamps p into [min, max]; runs on_change only if the position changed.
    void set_position(int p);
    // Changes the range; a position outside it is clamped (running on_change).
    void set_range(int min, int max);

    std::function<void()> on_change;

    // Optional: what a position stands for in its unit ("2.40 × (+7.6 dB)",
    // "350 ms"), set by the owner when its handler maps the bar to a unit.
    std::function<std::string(int position)> unit_text;
    // "Position N", followed by the unit text when there is one: what the
    // bar's tooltip shows while the pointer is over it or drags it.
    std::string value_text() const;

private:
    int min_, max_, position_, small_change_, large_change_;
    Orientation orientation_;
    BarStyle style_;
};

}  // namespace tw::ui
