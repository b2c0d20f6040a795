#include "app/program_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <system_error>

#include "platform/atomic_write.h"
#include "platform/program_files.h"

namespace tw {

namespace fs = std::filesystem;

// One program folder for the whole program: effects reach the same one
// through their services.
std::string executable_folder() { return platform::executable_folder(); }

const std::string& program_folder() { return platform::program_folder(); }

void set_program_folder(const std::string& dir) { platform::set_program_folder(dir); }

std::string program_path(const std::string& relative) { return platform::program_file(relative); }

ProgramFolderChoice choose_program_folder(const ProgramFolderSources& s) {
    if (!s.home_option.empty()) return {s.home_option, ""};
    if (!s.env_home.empty()) return {s.env_home, ""};
    // An installed program never writes beside itself, even when its folder
    // is writable (root, or an install into a folder the user owns).
    if (s.installed_data.empty() && s.exe_folder_writable) return {s.exe_folder, ""};
    const fs::path data_home = !s.xdg_data_home.empty() && s.xdg_data_home[0] == '/'
                                   ? fs::path(s.xdg_data_home)
                                   : fs::path(s.user_home.empty() ? "/tmp" : s.user_home) / ".local" / "share";
    return {(data_home / "tonewarp").string(), s.installed_data.empty() ? s.exe_folder : s.installed_data};
}

ProgramFolderSources program_folder_sources(const std::string& home_option) {
    ProgramFolderSources s;
    s.home_option = home_option;
    if (const char* e = std::getenv("TONEWARP_HOME")) s.env_home = e;
    s.exe_folder = executable_folder();
    s.exe_folder_writable = ::access(s.exe_folder.c_str(), W_OK) == 0;
    // An installed program keeps its data in <prefix>/share/tonewarp.
    const fs::path installed = (fs::path(s.exe_folder).parent_path() / "share" / "tonewarp").lexically_normal();
    std::error_code ec;
    if (fs::is_directory(installed, ec)) s.installed_data = installed.string();
    if (const char* x = std::getenv("XDG_DATA_HOME")) s.xdg_data_home = x;
    if (const char* h = std::getenv("HOME")) s.user_home = h;
    return s;
}

namespace {

std::set<std::string> read_seeded_list(const fs::path& file) {
    std::set<std::string> names;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) names.insert(line);
    return names;
}

bool write_seeded_list(const fs::path& file, const std::set<std::string>& names, std::string* error) {
    std::string text;
    for (const std::string& n : names) text += n + "\n";
    std::string why;
    if (platform::write_file_atomically(file.string(), text.data(), text.size(), &why)) return true;
    if (error != nullptr) *error = why;
    return false;
}

}  // namespace

bool seed_program_folder(const std::string& from, const std::string& to, std::string* error, bool remember) {
    std::error_code ec;
    fs::create_directories(to, ec);
    if (ec) {
        if (error != nullptr) *error = "Cannot make the folder " + to + ": " + ec.message();
        return false;
    }
    const fs::path list_file = fs::path(to) / kSeededListName;
    std::set<std::string> seeded;
    if (remember) seeded = read_seeded_list(list_file);
    bool list_changed = false;
    for (fs::recursive_directory_iterator it(from, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path rel = fs::relative(it->path(), from, ec);
        if (ec) break;
        const fs::path target = fs::path(to) / rel;
        if (it->is_directory(ec)) {
            fs::create_directories(target, ec);
        } else if (it->is_regular_file(ec)) {
            if ((it->status(ec).permissions() & fs::perms::owner_exec) != fs::perms::none) continue;
            if (rel == kSeededListName) continue;
            // A listed file that is missing was deleted by the user: left so.
            if (seeded.count(rel.string())) continue;
            if (!fs::exists(target, ec) && !ec) {
                fs::create_directories(target.parent_path(), ec);
                if (!ec) fs::copy_file(it->path(), target, ec);
            }
            if (remember && !ec) {
                seeded.insert(rel.string());
                list_changed = true;
            }
        }
        if (ec) break;
    }
    if (ec) {
        if (error != nullptr) *error = "Cannot copy the program's data from " + from + " to " + to + ": " + ec.message();
        return false;
    }
    if (list_changed && !write_seeded_list(list_file, seeded, error)) return false;
    return true;
}

bool setup_program_folder(const std::string& home_option, std::string* error) {
    const ProgramFolderSources s = program_folder_sources(home_option);
    const ProgramFolderChoice c = choose_program_folder(s);

    std::error_code ec;
    if (c.seed_from.empty()) {
        if (!fs::is_directory(c.folder, ec)) {
            if (error != nullptr)
                *error = "The program folder " + c.folder + (home_option.empty() ? " (TONEWARP_HOME)" : " (--home)") +
                         " is not a folder; create it or name another one.";
            return false;
        }
        set_program_folder(fs::absolute(c.folder, ec).lexically_normal().string());
        return true;
    }
    // A per-user folder: filled from the installed data on the first start,
    // and given what a newer version added on every later one.
    std::string why;
    if (!seed_program_folder(c.seed_from, c.folder, &why, true)) {
        if (fs::is_directory(c.folder, ec)) {
            // Filled before: it still works, only the newest files are missing.
            if (error != nullptr)
                *error = why + "; some newly installed files may be missing until the permissions of " + c.folder +
                         " allow the copy.";
            set_program_folder(c.folder);
            return true;
        }
        if (error != nullptr)
            *error = why + ", so the installed folder " + c.seed_from + " is used and settings will not be saved.";
        set_program_folder(c.seed_from);
        return true;
    }
    set_program_folder(c.folder);
    return true;
}

}  // namespace tw
