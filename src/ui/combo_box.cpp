#include "ui/combo_box.h"

namespace tw::ui {

void ComboBox::clear() {
    items_.clear();
    item_index_ = -1;
    text_.clear();
    notify_view();
}

void ComboBox::add_item(std::string item) {
    items_.push_back(std::move(item));
    notify_view();
}

void ComboBox::set_text(std::string text) {
    item_index_ = -1;
    text_ = std::move(text);
    notify_view();
}

bool ComboBox::apply(int i) {
    if (i != -1 && (i < 0 || i >= count())) return false;
    if (i == item_index_) return false;
    item_index_ = i;
    notify_view();
    return true;
}

void ComboBox::set_item_index(int i) {
    if (apply(i) && on_change) on_change();
}

void ComboBox::set_item_index_silent(int i) { apply(i); }

}  // namespace tw::ui
