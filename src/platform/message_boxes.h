// Message boxes with a fixed text and an OK button, plain or warning, and a
// yes/no question. The
// front end shows them; headless runs record (and may print) them. The main
// window's Dialogs implement this interface too.
#pragma once

#include <string>

namespace tw::platform {

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;

    // A plain message box; returns when it is closed. `detail` (may be
    // empty) is extra information the box may show on request. UI thread.
    virtual void message(const std::string& text, const std::string& detail) = 0;
    // The same as a warning box. UI thread.
    virtual void warning(const std::string& text, const std::string& detail) = 0;
    // A question box with Yes and No buttons; true when the user answered
    // Yes. Closing the box any other way answers No. UI thread.
    virtual bool question(const std::string& text) = 0;
};

}  // namespace tw::platform
