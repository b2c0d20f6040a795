// The few message boxes the stream control needs, behind an interface: the GUI
// shows message boxes, tests record, the headless tool prints.
#pragma once

#include <string>

namespace tw {

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // A plain message box with an OK button; returns when it is closed.
    // `detail` (may be empty) is extra information for the curious, e.g. what
    // the sound system said; the GUI may show it as the box's details. UI thread.
    virtual void message(const std::string& text, const std::string& detail) = 0;
    // The same as a warning box. UI thread.
    virtual void warning(const std::string& text, const std::string& detail) = 0;
    // Ends the program at once with `code`, without writing any settings. A
    // real implementation does not return; test doubles may, and the caller
    // then returns from its handler without doing anything more. UI thread.
    virtual void end_program(int code) = 0;
};

}  // namespace tw
