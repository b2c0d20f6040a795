// What the main form asks of the desktop, behind an interface: message boxes
// and yes/no questions (the effects' MessageBoxes, so one implementation
// serves both), opening a web page, and ending the program. The GUI shows
// them, tests record, the headless tool prints.
#pragma once

#include <string>

#include "platform/message_boxes.h"

namespace tw {

class Dialogs : public platform::MessageBoxes {
public:
    // message(text, detail) and warning(text, detail): a plain or warning
    // box with an OK button; returns when it is closed. UI thread.

    // Ends the program at once with `code`, without writing any settings. A
    // real implementation does not return; test doubles may, and the caller
    // then returns from its handler without doing anything more. UI thread.
    virtual void end_program(int code) = 0;

    // Opens `url` (a file:// address of a help page) with the desktop's
    // handler for it, usually the web browser. False when no handler could
    // be started. UI thread.
    virtual bool open_url(const std::string& url) = 0;
};

}  // namespace tw
