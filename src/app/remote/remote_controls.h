// The controls the remote offers for a chain row: the bars and check boxes
// its kind declares as stored fields (so what a preset keeps is what the
// phone can move), each with the caption the editor window shows beside it.
//
// Threads: UI thread (reads the instance's window models).
#pragma once

#include <string>
#include <vector>

#include "engine/effect_types.h"
#include "ui/control.h"
#include "ui/form_model.h"

namespace tw::remote {

struct RemoteControl {
    ui::Control* control = nullptr;  // a ui::ScrollBar or a ui::CheckBox of the instance's window
    std::string caption;
    bool is_switch = false;
};

// The declared, visible bars and check boxes of `instance` (of `kind`) in
// the window's order; empty for an empty slot or a kind that declares none.
// UI thread.
std::vector<RemoteControl> declared_controls(Instance instance, std::int32_t kind);

// The caption of `c` in `form`: a check box's own caption; for a bar the
// nearest label to its left on the same line or just above it, else its
// name without the designer's prefix. Trimmed. UI thread.
std::string control_caption(const ui::FormModel& form, const ui::Control& c);

}  // namespace tw::remote
