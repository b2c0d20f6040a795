// libFuzzer target for the skin path: any bytes as a package are unpacked
// into a temp/ folder and its skin.ini read. Everything happens inside a
// folder this program makes; after every input the folder must hold nothing
// but the package and temp/ (anything else escaped), the written names must
// be safe, and a description must be either not loaded or named.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/skins/skin_description.h"
#include "app/skins/skin_package.h"

namespace {

namespace fs = std::filesystem;

void check(bool ok) {
    if (!ok) std::abort();
}

// Made once, removed at exit; held in a buffer that outlives every static
// object, since the exit handler runs after their destructors.
char g_work_folder[256];

void remove_work_folder() {
    std::error_code ec;
    fs::remove_all(g_work_folder, ec);
}

std::string work_folder() {
    if (g_work_folder[0] == '\0') {
        const std::string t = (fs::temp_directory_path() / "tw_skin_fuzz_XXXXXX").string();
        check(t.size() < sizeof g_work_folder);
        t.copy(g_work_folder, t.size());
        check(::mkdtemp(g_work_folder) != nullptr);
        std::atexit(remove_work_folder);
    }
    return g_work_folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string root = work_folder();
    const std::string package = root + "/package.zip";
    const std::string temp = root + "/temp";
    {
        std::ofstream out(package, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const tw::skins::UnpackResult r = tw::skins::unpack_skin_package(package, temp);
    for (const std::string& name : r.written) check(tw::skins::safe_entry_name(name));
    check(!r.refused || r.written.empty());

    const tw::skins::SkinDescription s = tw::skins::read_skin_description(temp + "/skin.ini");
    check(!s.loaded || !s.name.empty());
    check(s.scale >= 1 && s.scale <= tw::skins::kMaxScale);
    for (const auto& p : s.pictures) {
        check(p.margins.left >= 0 && p.margins.left <= tw::skins::kMaxMargin);
        check(p.margins.bottom >= 0 && p.margins.bottom <= tw::skins::kMaxMargin);
        check(p.path.empty() || p.path.rfind(temp + "/", 0) == 0);
    }

    // Nothing beside the package and temp/.
    for (const auto& e : fs::directory_iterator(root)) {
        const std::string n = e.path().filename().string();
        check(n == "package.zip" || n == "temp");
    }
    std::error_code ec;
    fs::remove_all(temp, ec);
    return 0;
}
