// Embedded web page model: the address the page is shown from and the page's
// document title, whose changes run on_title_change. The front end shows the
// page (or, when no web engine can run, plain bars standing in for the page's
// knobs, which report their movements as the page would). UI thread.
#pragma once

#include <string>
#include <vector>

#include "ui/control.h"

namespace tw::ui {

// A knob the page draws: its element name in the address's statements
// ("elm12"), the title key it reports with ("porog =") and its label.
struct PageKnob {
    std::string element;
    std::string title_key;
    std::string caption;
};

class WebView : public Control {
public:
    WebView(std::string name, Rect bounds) : Control(std::move(name), bounds) {}

    ControlType type() const override { return ControlType::WebView; }

    // The page address (a local file path with its query part); "" until the
    // first navigation.
    const std::string& address() const { return address_; }
    // Shows the page at `address` (the front end loads it).
    void navigate(std::string address) {
        address_ = std::move(address);
        ++navigations_;
        notify_view();
    }
    // How many times navigate() was called.
    int navigations() const { return navigations_; }

    // The page's current document title.
    const std::string& title() const { return title_; }
    // The page set its document title (front end): stores it and runs
    // on_title_change with it.
    void title_changed(const std::string& title) {
        title_ = title;
        if (on_title_change) on_title_change(title_);
    }
    std::function<void(const std::string&)> on_title_change;

    // The knobs the page draws, for a front end that must stand in for it.
    const std::vector<PageKnob>& knobs() const { return knobs_; }
    void set_knobs(std::vector<PageKnob> k) { knobs_ = std::move(k); }

private:
    std::string address_;
    int navigations_ = 0;
    std::string title_;
    std::vector<PageKnob> knobs_;
};

// The positions that the statements of an address's query part give the
// page's knobs, read strictly as the page reads them: only statements
// "elmNN.setPos(0,V,1);" with NN one of `elements` and V a whole number
// 0..100 count; anything else is ignored. Returns one position per element,
// -1 where no statement placed it (a later statement wins). Any thread.
std::vector<int> knob_positions_of_address(const std::string& address, const std::vector<std::string>& elements);

}  // namespace tw::ui
