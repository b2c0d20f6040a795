// Preset management of the main window: Save FX chain, Load FX chain, the
// presets list (refreshed by a click on its first item) and the function
// keys F1..F12, which load the first preset whose name starts with the key's
// prefix without the message the list shows.
//
// Every member function runs on the UI thread.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/dialogs.h"
#include "ui/button.h"
#include "ui/combo_box.h"

namespace tw {

class ChainEditor;

class PresetManager {
public:
    static constexpr const char* kListTitle = "PRESETS (Click to refresh list)";
    static constexpr const char* kListDownloadDesign = "Download From Internet 2000 presets";
    static constexpr const char* kListDownload = "Download From Internet";
    static constexpr const char* kDownloadMessageStart = "You can download additional presets from";
    static constexpr const char* kFastLoadLine = "Fast FX chain load: press F1 .. F12.";

    // The controls at their design state; the list holds its two design
    // items. `open_page` opens a help page (a file of html/) and is called
    // for "Download From Internet". UI thread.
    PresetManager(ChainEditor& chain, Dialogs& dialogs, std::function<void(const std::string& page)> open_page);
    PresetManager(const PresetManager&) = delete;
    PresetManager& operator=(const PresetManager&) = delete;

    ui::Button spSkinButton17;      // " Save FX chain"
    ui::Button spSkinButton18;      // " Load FX chain"
    ui::ComboBox ComboBox_PRESETS;  // title, download link, then the files of PRESETS/

    // Window creation: appends the names of PRESETS/ "*.pre" after the two
    // design items. UI thread.
    void fill_list();

    // Handlers (wired to the controls by the constructor). UI thread.
    void spSkinButton17Click();    // Save FX chain
    void spSkinButton18Click();    // Load FX chain
    void ComboBox_PRESETSChange();
    void ComboBox_PRESETSClick();
    // A key released in the main window: `function_key` 1..12 for F1..F12,
    // anything else for another key (which does nothing).
    void FormKeyUp(int function_key);
    // What a function key does once it found its file: selects the list item
    // named `name` without the message, which loads it when it differs from
    // the item shown. Nothing when the list has no such item. UI thread.
    void select_quietly(const std::string& name);

    // The name prefix bound to F1..F12 ("F1 " with its trailing space, so
    // that F10..F12 do not match; "F2".."F12"); "" for other numbers.
    static std::string function_key_prefix(int function_key);
    // The "*.pre" file names (no folder) in `folder`, sorted by name without
    // regard to case, the order the list shows and the keys search.
    static std::vector<std::string> preset_names(const std::string& folder);
    // The program folder's PRESETS/.
    static std::string presets_folder();
    // The messages that name the presets help page.
    static std::string download_message();
    static std::string fast_load_message();

    // Flags: 1 while a function key loads (no message), while the list is
    // rebuilt, while a key is handled.
    int quiet_load() const { return quiet_load_; }

private:
    ChainEditor& chain_;
    Dialogs& dialogs_;
    std::function<void(const std::string&)> open_page_;
    int quiet_load_ = 0;
    int refresh_ = 0;
    int key_flag_ = 0;
};

}  // namespace tw
