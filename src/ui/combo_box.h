// Drop-down list model. set_item_index runs on_change when the shown item
// changes; the silent variant and set_text run nothing; click() (the user
// picked an item) runs on_click. UI thread.
#pragma once

#include <vector>

#include "ui/control.h"

namespace tw::ui {

class ComboBox : public Control {
public:
    ComboBox(std::string name, Rect bounds, std::string text = {})
        : Control(std::move(name), bounds), text_(std::move(text)) {}

    ControlType type() const override { return ControlType::ComboBox; }

    const std::vector<std::string>& items() const { return items_; }
    int item_index() const { return item_index_; }
    // The shown text: the selected item, or the free text when none is selected.
    const std::string& text() const { return item_index_ >= 0 ? items_[item_index_] : text_; }
    int count() const { return static_cast<int>(items_.size()); }

    // Removes every item; nothing is selected and the text is empty.
    void clear();
    void add_item(std::string item);
    // Shows a text with no item selected (e.g. "There is no sound input device").
    void set_text(std::string text);

    // Selects item i (-1 = none; other out-of-range values are ignored); runs
    // on_change when the selection changed.
    void set_item_index(int i);
    // Selects item i without running on_change.
    void set_item_index_silent(int i);

    // A click on the list: the user picked an item (the same one or
    // another), after the selection was applied. Runs on_click.
    void click() {
        if (enabled() && on_click) on_click();
    }

    std::function<void()> on_change;
    std::function<void()> on_click;

private:
    bool apply(int i);
    std::vector<std::string> items_;
    int item_index_ = -1;
    std::string text_;
};

}  // namespace tw::ui
