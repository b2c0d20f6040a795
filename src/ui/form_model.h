// A window's declaration: class name, caption, fixed client size, placement
// and its controls in creation order. The front end builds the window from it.
// UI thread.
#pragma once

#include <string>
#include <vector>

#include "ui/control.h"

namespace tw::ui {

class FormModel {
public:
    FormModel(std::string class_name, std::string caption, int client_width, int client_height, bool centred = true)
        : class_name_(std::move(class_name)),
          caption_(std::move(caption)),
          client_width_(client_width),
          client_height_(client_height),
          centred_(centred) {}

    const std::string& class_name() const { return class_name_; }
    const std::string& caption() const { return caption_; }
    int client_width() const { return client_width_; }
    int client_height() const { return client_height_; }
    // Resizes the client area (the front end applies it when it next shows
    // the window).
    void set_client_size(int width, int height) {
        client_width_ = width;
        client_height_ = height;
    }
    bool centred() const { return centred_; }

    // Adds a control (owned by the caller, which outlives the form).
    void add(Control& c) { controls_.push_back(&c); }
    const std::vector<Control*>& controls() const { return controls_; }
    // The control with this designer name, or null.
    Control* find(const std::string& name) const {
        for (Control* c : controls_)
            if (c->name() == name) return c;
        return nullptr;
    }

private:
    std::string class_name_;
    std::string caption_;
    int client_width_;
    int client_height_;
    bool centred_;
    std::vector<Control*> controls_;
};

}  // namespace tw::ui
