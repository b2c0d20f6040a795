// The right-click menu that ties a bar or a switch to a MIDI controller:
// "MIDI learn" (the next CC received drives the control), "Forget MIDI" and,
// for switches, "Toggle on every press" (otherwise values >= 64 switch on and
// lower values off).
//
// Threads: UI thread only.
#pragma once

#include <QWidget>
#include <functional>

#include "app/midi_control.h"

namespace tw::gui {

// Gives every bar and check box among `root`'s children whose designer name
// `learnable` accepts the menu. `slot` tells, when the menu opens, which
// slot the window stands for (0 = main window, 1..16 = a chain row; a
// negative value offers no menu, e.g. an editor whose slot was emptied).
void attach_midi_menu(QWidget& root, MidiControl& midi, std::function<int()> slot,
                      std::function<bool(const std::string& name)> learnable);

}  // namespace tw::gui
