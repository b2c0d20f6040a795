// The one layout change that depends on the skin: under the skin named
// "@mosphere" the chain editor's sixteen "Off" switches get 8 pixels more
// room to the left (48 -> 56 pixels wide) and the " Save FX chain" button
// moves 8 pixels left with them; under any other skin the plain layout
// returns. The width of row 1's switch tells which layout is in force, so
// running it again changes nothing.
//
// Threads: UI thread.
#pragma once

#include <string>

#include "app/chain_editor.h"
#include "ui/button.h"

namespace tw::skins {

inline constexpr const char* kWideSwitchSkin = "@mosphere";
inline constexpr int kPlainSwitchWidth = 48;
inline constexpr int kWideSwitchWidth = 56;
inline constexpr int kSwitchShift = 8;

void fit_skin_layout(const std::string& skin_name, ChainEditor& chain, ui::Button& save_button);

}  // namespace tw::skins
