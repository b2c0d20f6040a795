#include "app/program_folder.h"

#include "fx/services/program_files.h"

namespace tw {

// One program folder for the whole program: effects reach the same one
// through their services.
std::string executable_folder() { return services::executable_folder(); }

const std::string& program_folder() { return services::program_folder(); }

void set_program_folder(const std::string& dir) { services::set_program_folder(dir); }

std::string program_path(const std::string& relative) { return services::program_file(relative); }

}  // namespace tw
