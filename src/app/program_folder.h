// The program folder: where PRESETS/, SKINS/, temp/, html/, face.ini,
// MTEQ.ini and playback.ini are looked up and written.
//
// Which folder: `--home DIR` when given, else $TONEWARP_HOME when set, else
// for an installed program (<prefix>/share/tonewarp beside <prefix>/bin) a
// folder per user, $XDG_DATA_HOME/tonewarp (by default
// ~/.local/share/tonewarp), filled from the installed data; else the
// executable's folder when it is writable (a portable copy, the build tree);
// else the per-user folder filled from the executable's folder.
//
// The per-user folder is topped up on every start: installed files it has
// never received (new in an update) are copied in; files the user changed or
// deleted are left as they are.
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

// What the choice of the program folder looks at.
struct ProgramFolderSources {
    std::string home_option;    // --home, "" when not given
    std::string env_home;       // $TONEWARP_HOME
    std::string exe_folder;     // executable_folder()
    bool exe_folder_writable = false;
    std::string installed_data; // <exe folder>/../share/tonewarp when that is a folder, else ""
    std::string xdg_data_home;  // $XDG_DATA_HOME (used only when absolute)
    std::string user_home;      // $HOME
};

struct ProgramFolderChoice {
    std::string folder;
    // The installed data to fill the per-user folder from ("" for the
    // other choices).
    std::string seed_from;
};

// The folder the rules above choose. Pure. Any thread.
ProgramFolderChoice choose_program_folder(const ProgramFolderSources& s);

// The sources of this process: the environment, the executable's folder
// and `home_option`. Any thread.
ProgramFolderSources program_folder_sources(const std::string& home_option);

// The list, kept in the per-user folder, of the installed files it has
// received, one relative path a line.
inline constexpr const char* kSeededListName = ".installed-files";

// Copies every file and folder of `from` that `to` lacks into `to` (created
// when missing), leaving what is there alone; programs (files with the
// owner's execute bit) are not copied. With `remember`, the copied paths are
// added to `to`/.installed-files and a path listed there is not copied again,
// so a file the user deleted stays deleted. False with a sentence in `error`.
// UI thread.
bool seed_program_folder(const std::string& from, const std::string& to, std::string* error = nullptr,
                         bool remember = false);

// Chooses the program folder from the environment and `home_option`, fills
// or tops up the per-user folder, and sets it. False with a sentence in `error` when
// --home or $TONEWARP_HOME names no folder (nothing is set then); a per-user
// folder that cannot be made falls back to the installed data (read only)
// with a sentence in `error` and true. UI thread, at start-up.
bool setup_program_folder(const std::string& home_option, std::string* error = nullptr);

}  // namespace tw
