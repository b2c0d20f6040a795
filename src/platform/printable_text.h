// Text from outside (a MIDI port's name, a file name) made safe to print on a
// terminal: every byte that is not part of valid UTF-8, and every control
// character but the tab, becomes '?', so a hostile name can neither garble
// the output nor send escape sequences to the terminal.
#pragma once

#include <string>

namespace tw::platform {

// The printable form of `text`. Any thread.
std::string printable_text(const std::string& text);

}  // namespace tw::platform
