// The program folder: where the executable lives, and where PRESETS/, SKINS/,
// temp/, html/, face.ini, MTEQ.ini and playback.ini are looked up.
#pragma once

#include <string>

namespace tw {

// The folder of the running executable (from /proc/self/exe), without a
// trailing slash; "." if it cannot be found. Any thread.
std::string executable_folder();

// The program folder in use: the executable's folder unless
// set_program_folder() chose another (e.g. a tool's --home). Any thread after
// start-up; set it on the UI thread before anything reads it.
const std::string& program_folder();
void set_program_folder(const std::string& dir);

// program_folder() + "/" + relative. Any thread.
std::string program_path(const std::string& relative);

}  // namespace tw
