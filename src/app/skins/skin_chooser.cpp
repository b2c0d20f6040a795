#include "app/skins/skin_chooser.h"

#include <filesystem>

#include "app/dialogs.h"
#include "app/help_pages.h"
#include "app/program_folder.h"
#include "app/skins/skin_package.h"

namespace tw::skins {

namespace fs = std::filesystem;

std::vector<std::string> list_skin_packages(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() < 4) continue;
        std::string ext = name.substr(name.size() - 4);
        for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (ext == ".zip") names.push_back(name);
    }
    return names;
}

std::string current_skin_ini() { return program_path(std::string(kWorkFolder) + "/skin.ini"); }
std::string skins_folder() { return program_path(kSkinsFolder); }

SkinChooser::SkinChooser(ui::ComboBox& combo, Dialogs& dialogs, std::function<void(const std::string&)> fit_layout,
                         std::function<void(const std::string&)> open_page)
    : combo_(combo), dialogs_(dialogs), fit_layout_(std::move(fit_layout)), open_page_(std::move(open_page)) {
    combo_.on_click = [this] { ComboBox_SKINSClick(); };
    combo_.on_change = [this] { ComboBox_SKINSChange(); };
}

void SkinChooser::load_current() {
    skin_ = read_skin_description(current_skin_ini());
    if (on_skin_loaded) on_skin_loaded(skin_);
}

void SkinChooser::start_up() {
    std::error_code ec;
    if (fs::exists(current_skin_ini(), ec))
        load_current();
    else
        LoadSkinPackage(skins_folder() + "/" + kDefaultPackage);
    if (fit_layout_) fit_layout_(skin_.name);
    for (const std::string& name : list_skin_packages(skins_folder())) combo_.add_item(name);
}

bool SkinChooser::LoadSkinPackage(const std::string& path) {
    const UnpackResult r = unpack_skin_package(path, program_path(kWorkFolder));
    load_current();
    std::error_code ec;
    // A missing default package is the first start without skins: the
    // built-in look, no message.
    if (!r.opened && !fs::exists(path, ec)) return false;
    std::string why;
    if (!r.opened)
        why = "it is not a ZIP archive that can be read";
    else if (r.refused)
        why = "it is too large or holds too many files (at most " + std::to_string(kMaxEntries) + " files and " +
              std::to_string(kMaxPackageBytes >> 20) + " MB unpacked)";
    else if (r.written.empty())
        why = "none of its files could be used (unsafe names, links, encrypted or oversized entries)";
    if (why.empty()) return true;
    dialogs_.warning("The skin package " + fs::path(path).filename().string() + " was not used: " + why + ".",
                     "The skin shown before stays. Choose another package, or make this one again with zip.");
    return false;
}

void SkinChooser::ComboBox_SKINSClick() {
    if (rebuilding_ != 0) return;
    if (combo_.item_index() == 0) {
        rebuilding_ = 1;
        combo_.clear();
        combo_.add_item(kListTitle);
        combo_.add_item(kListDownload);
        for (const std::string& name : list_skin_packages(skins_folder())) combo_.add_item(name);
        combo_.set_item_index_silent(0);
        rebuilding_ = 0;
    } else if (combo_.item_index() == 1) {
        if (open_page_) open_page_(kMoreSkinsPage);
    }
}

void SkinChooser::ComboBox_SKINSChange() {
    if (rebuilding_ != 0) return;
    const int i = combo_.item_index();
    if (i <= 1) return;
    const bool used = LoadSkinPackage(skins_folder() + "/" + combo_.text());
    if (fit_layout_) fit_layout_(skin_.name);
    if (!used) return;
    dialogs_.message(std::string(kDownloadMessageStart) + " the links on the help page \"Skins\" (" +
                         help_page_file(kMoreSkinsPage) + ").",
                     "");
}

}  // namespace tw::skins
