#include "platform/program_files.h"

#include <filesystem>
#include <system_error>

namespace tw::platform {

namespace {
std::string& chosen_folder() {
    static std::string folder = executable_folder();
    return folder;
}
}  // namespace

std::string executable_folder() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty() || !exe.has_parent_path()) return ".";
    return exe.parent_path().string();
}

const std::string& program_folder() { return chosen_folder(); }

void set_program_folder(const std::string& dir) {
    std::string d = dir.empty() ? std::string(".") : dir;
    while (d.size() > 1 && d.back() == '/') d.pop_back();
    chosen_folder() = d;
}

std::string program_file(const std::string& name) {
    const std::string& f = program_folder();
    return f == "/" ? "/" + name : f + "/" + name;
}

}  // namespace tw::platform
