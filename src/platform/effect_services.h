// The one access point through which an effect reaches the front end: a
// repeating UI timer, open/save dialogs, message boxes, and the files beside
// the program. The front end installs its implementation at start-up;
// until then (and in tests and tools) safe headless defaults answer: timers
// that only tick when told to, dialogs that answer "cancelled", message
// boxes that are only recorded.
//
// Threads: UI thread (effects call these from handlers, FormCreate-like
// constructors and timers, never from their processing).
#pragma once

#include <memory>
#include <string>

#include "platform/file_dialogs.h"
#include "platform/message_boxes.h"
#include "platform/program_files.h"
#include "platform/repeating_timer.h"

namespace tw::platform {

class EffectServices {
public:
    virtual ~EffectServices() = default;

    // A new timer, stopped. The effect owns it and destroys it on the UI thread.
    virtual std::unique_ptr<RepeatingTimer> make_timer() = 0;
    virtual FileDialogs& file_dialogs() = 0;
    virtual MessageBoxes& message_boxes() = 0;

    // A file beside the program (MTEQ.ini, playback.ini, demo1.wav ...).
    std::string program_file(const std::string& name) const { return platform::program_file(name); }
};

// The services in use: the installed ones, or the headless defaults.
EffectServices& effect_services();
// Installs `services` (kept by the caller for as long as it is installed);
// nullptr goes back to the headless defaults. Install before creating
// effects and uninstall only after the last effect that uses it is gone.
void install_effect_services(EffectServices* services);

}  // namespace tw::platform
