// The LV2 plugins made from the program's kinds: one per built kind and
// channel layout (mono: one input and one output port; stereo: two of each),
// plus the chain plugin in both layouts. Their URIs, port lists and the
// generated .ttl files all come from here, so a new kind appears with no
// code of its own.
#pragma once

#include <string>
#include <vector>

#include "fx/effect_form.h"
#include "fx/kind_decl.h"
#include "ui/control.h"

namespace tw::lv2 {

// Every plugin lives under this namespace.
inline constexpr const char* kUriBase = "https://tonewarp.org/lv2/";
// The chain plugin's kind number in PluginInfo (no kind has it).
inline constexpr int kChainKind = -1;
// The chain plugin's control ports (after the audio ports).
inline constexpr const char* kProgramSymbol = "program";
// The parameter (patch:writable) naming the preset file the chain plugin loads.
inline constexpr const char* kPresetParameter = "https://tonewarp.org/lv2/chain#preset";
// The state keys.
inline constexpr const char* kChainRecordKey = "https://tonewarp.org/lv2/chain#record";
inline constexpr const char* kKindRecordKey = "https://tonewarp.org/lv2/kind#record";

struct PluginInfo {
    std::string uri;
    std::string slug;     // file name stem of its .ttl ("gain-mono")
    std::string label;    // doap:name ("Tonewarp Gain (mono)")
    int kind = kChainKind;
    int channels = 1;
};

// The plugins in descriptor order. Any thread (built on the first call,
// which the host makes from lv2_descriptor on its loading thread).
const std::vector<PluginInfo>& plugin_list();

// A kind's name as used in URIs and file names ("Noise Gate" -> "noise-gate").
// Any thread.
std::string kind_slug(const char* name);

// What a control port drives.
enum class PortControl { Bar, Check, Choice, List };

// One control port of a kind's plugin: the window control it drives.
struct ControlPort {
    std::string symbol;     // the control's designer name
    std::string name;       // its caption (a check box's or group's own; a bar's label beside it)
    PortControl control = PortControl::Bar;
    int min = 0;
    int max = 0;
    int start = 0;          // position at creation (the window's start position)
    std::vector<std::string> items;   // the choices of a radio group or list
    std::string unit;       // LV2 unit (units: local name) when the bar's value is in one
    std::string comment;    // the tooltip at the start position
    ui::Control* target = nullptr;
};

// The control ports of a kind's window in creation order: every scroll bar,
// check box, radio group and list of its form (buttons, labels and views
// have no value to hold). UI thread (it reads the form).
std::vector<ControlPort> control_ports(EffectForm& form);

// Drives the control as a user (or MIDI learn) would: a bar's position is
// set (its handler runs when it moves), a box is clicked when its state
// differs, a group's or list's item is selected. UI thread of the instance
// (the plugin's worker, or activate/restore, never run()).
void apply_port(const ControlPort& port, float value);

// The control's current value as its port holds it. UI thread of the instance.
float port_value(const ControlPort& port);

}  // namespace tw::lv2
