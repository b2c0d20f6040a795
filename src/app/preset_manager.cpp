#include "app/preset_manager.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "app/chain_editor.h"
#include "app/chain_presets.h"
#include "app/help_pages.h"
#include "app/program_folder.h"
#include "platform/effect_services.h"

namespace tw {

namespace {

constexpr const char* kFilter = "Presets|*.pre";

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool ends_with_pre(const std::string& name) {
    return name.size() > 4 && lower(name.substr(name.size() - 4)) == ".pre";
}

bool starts_with_nocase(const std::string& s, const std::string& prefix) {
    return s.size() >= prefix.size() && lower(s.substr(0, prefix.size())) == lower(prefix);
}

}  // namespace

PresetManager::PresetManager(ChainEditor& chain, Dialogs& dialogs,
                             std::function<void(const std::string& page)> open_page)
    : spSkinButton17("spSkinButton17", {16, 408, 118, 26}, " Save FX chain"),
      spSkinButton18("spSkinButton18", {138, 408, 118, 26}, " Load FX chain"),
      ComboBox_PRESETS("ComboBox_PRESETS", {385, 380, 285, 22}),
      chain_(chain),
      dialogs_(dialogs),
      open_page_(std::move(open_page)) {
    ComboBox_PRESETS.add_item(kListTitle);
    ComboBox_PRESETS.add_item(kListDownloadDesign);
    ComboBox_PRESETS.set_item_index_silent(0);
    spSkinButton17.on_click = [this] { spSkinButton17Click(); };
    spSkinButton18.on_click = [this] { spSkinButton18Click(); };
    ComboBox_PRESETS.on_change = [this] { ComboBox_PRESETSChange(); };
    ComboBox_PRESETS.on_click = [this] { ComboBox_PRESETSClick(); };
}

std::string PresetManager::presets_folder() { return program_path("PRESETS"); }

std::vector<std::string> PresetManager::preset_names(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (ends_with_pre(name) && !it->is_directory(ec)) names.push_back(name);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const std::string la = lower(a), lb = lower(b);
        return la != lb ? la < lb : a < b;
    });
    return names;
}

std::string PresetManager::download_message() {
    return std::string(kDownloadMessageStart) + " the links on the help page \"Presets and the keys F1 .. F12\" (" +
           help_page_file(kPresetsPage) + ").";
}

std::string PresetManager::fast_load_message() {
    return std::string(kFastLoadLine) + "\nNew presets: see the help page \"Presets and the keys F1 .. F12\" (" +
           help_page_file(kPresetsPage) + ").";
}

void PresetManager::fill_list() {
    for (const std::string& name : preset_names(presets_folder())) ComboBox_PRESETS.add_item(name);
}

void PresetManager::ComboBox_PRESETSClick() {
    if (refresh_ == 1) return;
    if (ComboBox_PRESETS.item_index() == 0) {
        refresh_ = 1;
        ComboBox_PRESETS.clear();
        ComboBox_PRESETS.add_item(kListTitle);
        ComboBox_PRESETS.add_item(kListDownload);
        fill_list();
        ComboBox_PRESETS.set_item_index(0);
        refresh_ = 0;
    }
    if (ComboBox_PRESETS.item_index() == 1 && open_page_) open_page_(kMorePresetsPage);
}

void PresetManager::ComboBox_PRESETSChange() {
    const int i = ComboBox_PRESETS.item_index();
    if (i == 0 || i == 1 || i < 0) return;
    load_preset(chain_, presets_folder() + "/" + ComboBox_PRESETS.text());
    if (quiet_load_ != 1) dialogs_.message(download_message(), "");
}

void PresetManager::spSkinButton18Click() {
    spSkinButton18.set_enabled(false);
    spSkinButton18.set_caption("Wait...");
    platform::FileDialogRequest request;
    request.title = "Open file";
    request.filter = kFilter;
    request.initial_folder = presets_folder();
    if (const auto path = platform::effect_services().file_dialogs().open_file(request)) load_preset(chain_, *path);
    dialogs_.message(fast_load_message(), "");
    spSkinButton18.set_enabled(true);
    spSkinButton18.set_caption("Load FX chain");
}

void PresetManager::spSkinButton17Click() {
    spSkinButton17.set_enabled(false);
    spSkinButton17.set_caption("Wait...");
    build_preset_record(chain_);
    platform::FileDialogRequest request;
    request.title = "Save file";
    request.filter = kFilter;
    request.initial_folder = presets_folder();
    request.confirm_overwrite = false;  // asked below, once the extension is known
    if (auto path = platform::effect_services().file_dialogs().save_file(request)) {
        if (!ends_with_pre(*path)) *path += ".pre";
        std::error_code ec;
        const bool exists = std::filesystem::exists(*path, ec);
        const std::string name = std::filesystem::path(*path).filename().string();
        if (!exists || dialogs_.question(name + " already exists. Do you want to replace it?")) {
            std::string error;
            if (!write_preset_record(*path, preset_record(), &error))
                dialogs_.message(error + ", so the preset was not saved; choose another folder or name and save again.",
                                 "");
        }
    }
    spSkinButton17.set_enabled(true);
    spSkinButton17.set_caption("Save FX chain");
}

std::string PresetManager::function_key_prefix(int function_key) {
    if (function_key == 1) return "F1 ";
    if (function_key >= 2 && function_key <= 12) return "F" + std::to_string(function_key);
    return "";
}

void PresetManager::FormKeyUp(int function_key) {
    if (key_flag_ == 1) return;
    key_flag_ = 1;
    const std::string prefix = function_key_prefix(function_key);
    if (!prefix.empty()) {
        std::string match;
        for (const std::string& name : preset_names(presets_folder()))
            if (starts_with_nocase(name, prefix)) {
                match = name;
                break;
            }
        if (!match.empty()) select_quietly(match);
    }
    key_flag_ = 0;
}

void PresetManager::select_quietly(const std::string& name) {
    quiet_load_ = 1;
    const auto& items = ComboBox_PRESETS.items();
    const auto it = std::find(items.begin(), items.end(), name);
    if (it != items.end()) ComboBox_PRESETS.set_item_index(static_cast<int>(it - items.begin()));
    quiet_load_ = 0;
}

}  // namespace tw
