// A row of controls named by index ("ScrollBar0".."ScrollBar15",
// "spSkinScrollBar1".."spSkinScrollBar32"), declared in one line and served
// by one indexed handler. UI thread.
//
//   ui::ControlFamily<ui::ScrollBar, 16> ScrollBar{"ScrollBar", 0,
//       [](int i) { return ui::Rect{8 + 20 * i, 40, 16, 120}; }, kBandBar, ui::Orientation::Vertical};
//   ScrollBar.bind([this](int i) { ScrollBarChange(i); });
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "ui/form_model.h"

namespace tw::ui {

template <class T, int N>
class ControlFamily {
public:
    // Element i is named prefix + (index_base + i) and placed at bounds(i);
    // `args` are the remaining constructor arguments every element shares.
    template <class Bounds, class... Args>
    ControlFamily(const std::string& prefix, int index_base, Bounds bounds, const Args&... args)
        : prefix_(prefix), index_base_(index_base) {
        for (int i = 0; i < N; ++i)
            items_[i] = std::make_unique<T>(prefix + std::to_string(index_base + i), bounds(i), args...);
    }

    static constexpr int size() { return N; }
    T& operator[](int i) { return *items_[i]; }
    const T& operator[](int i) const { return *items_[i]; }
    const std::string& prefix() const { return prefix_; }
    int index_base() const { return index_base_; }

    // Adds every element to the window, in index order.
    void add_to(FormModel& form) {
        for (auto& c : items_) form.add(*c);
    }

    // One handler for the whole row: it gets the element's index (0-based).
    // Bars call it on change, boxes and buttons on click.
    void bind(const std::function<void(int)>& handler) {
        for (int i = 0; i < N; ++i) {
            T& c = *items_[i];
            if constexpr (requires { c.on_change; }) {
                c.on_change = [handler, i] { handler(i); };
            } else {
                c.on_click = [handler, i] { handler(i); };
            }
        }
    }

private:
    std::string prefix_;
    int index_base_;
    std::array<std::unique_ptr<T>, N> items_;
};

}  // namespace tw::ui
