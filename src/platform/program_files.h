// The program folder, where the files beside the program live (MTEQ.ini,
// playback.ini, demo1.wav, PRESETS/, SKINS/ ...). The executable's folder
// unless the front end or a tool chose another (e.g. --home).
#pragma once

#include <string>

namespace tw::platform {

// The folder of the running executable (from /proc/self/exe), without a
// trailing slash; "." if it cannot be found. Any thread.
std::string executable_folder();

// The program folder in use. Set it on the UI thread at start-up, before
// anything reads it; read it from any thread after that.
const std::string& program_folder();
// Chooses the program folder ("" means "."; trailing slashes are dropped). UI thread.
void set_program_folder(const std::string& dir);

// A file beside the program: program_folder() + "/" + name. Any thread.
std::string program_file(const std::string& name);

}  // namespace tw::platform
