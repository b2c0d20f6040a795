// Message boxes with a fixed text and an OK button, plain or warning. The
// front end shows them; headless runs record (and may print) them. The main
// window's Dialogs implement this interface too.
#pragma once

#include <string>

namespace tw::services {

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;

    // A plain message box; returns when it is closed. `detail` (may be
    // empty) is extra information the box may show on request. UI thread.
    virtual void message(const std::string& text, const std::string& detail) = 0;
    // The same as a warning box. UI thread.
    virtual void warning(const std::string& text, const std::string& detail) = 0;
};

}  // namespace tw::services
