// Radio group model: a captioned group of items, one selected. Selecting a
// different item runs on_click. UI thread.
#pragma once

#include <vector>

#include "ui/control.h"

namespace tw::ui {

class RadioGroup : public Control {
public:
    RadioGroup(std::string name, Rect bounds, std::string caption, std::vector<std::string> items, int item_index,
               int columns = 1)
        : Control(std::move(name), bounds),
          caption_(std::move(caption)),
          items_(std::move(items)),
          item_index_(valid(item_index) ? item_index : -1),
          columns_(columns < 1 ? 1 : columns) {}

    ControlType type() const override { return ControlType::RadioGroup; }

    const std::string& caption() const { return caption_; }
    const std::vector<std::string>& items() const { return items_; }
    int columns() const { return columns_; }
    int item_index() const { return item_index_; }
    // The selected item's text, or "" when none is selected.
    std::string selected_text() const { return item_index_ >= 0 ? items_[item_index_] : std::string(); }

    // Selects item i (-1 = none; other out-of-range values are ignored) and runs
    // on_click when the selection changed.
    void set_item_index(int i) {
        if (i != -1 && !valid(i)) return;
        if (i == item_index_) return;
        item_index_ = i;
        notify_view();
        if (on_click) on_click();
    }

    std::function<void()> on_click;

private:
    bool valid(int i) const { return i >= 0 && i < static_cast<int>(items_.size()); }
    std::string caption_;
    std::vector<std::string> items_;
    int item_index_;
    int columns_;
};

}  // namespace tw::ui
