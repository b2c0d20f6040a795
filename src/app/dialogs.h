// The few message boxes the stream control needs, behind an interface: the GUI
// shows message boxes, tests record, the headless tool prints. The message
// and warning boxes are the effects' MessageBoxes, so one implementation
// serves both.
#pragma once

#include <string>

#include "fx/services/message_boxes.h"

namespace tw {

class Dialogs : public services::MessageBoxes {
public:
    // message(text, detail) and warning(text, detail): a plain or warning
    // box with an OK button; returns when it is closed. UI thread.

    // Ends the program at once with `code`, without writing any settings. A
    // real implementation does not return; test doubles may, and the caller
    // then returns from its handler without doing anything more. UI thread.
    virtual void end_program(int code) = 0;
};

}  // namespace tw
