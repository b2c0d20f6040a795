// The skins list of the main window (ComboBox_SKINS) and what it drives:
// the start-up load of the current skin, unpacking a chosen package into
// temp/ and loading temp/skin.ini, the list's rebuild when its title is
// clicked, "Download From Internet", and the layout fit after every change.
//
// The current skin is whatever temp/ holds; the list returns to its title at
// every start. No message is shown for a missing or damaged package: the
// windows then draw with what could be loaded.
//
// Threads: UI thread.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/skins/skin_description.h"
#include "ui/combo_box.h"

namespace tw {
class Dialogs;
}

namespace tw::skins {

inline constexpr const char* kDefaultPackage = "symbios.zip";
inline constexpr const char* kSkinsFolder = "SKINS";
inline constexpr const char* kWorkFolder = "temp";
inline constexpr const char* kListTitle = "SKINS";
inline constexpr const char* kListDownloadDesign = "Download from Internet";
inline constexpr const char* kListDownload = "Download From Internet";
inline constexpr const char* kMoreSkinsPage = "skins.html#more-skins";
inline constexpr const char* kDownloadMessageStart = "You can download additional skins from";

// The names of the entries of `folder` ending in ".zip" (any case), in the
// order the folder listing gives them; none when the folder is missing.
// UI thread.
std::vector<std::string> list_skin_packages(const std::string& folder);

// temp/skin.ini and SKINS/ in the program folder. UI thread.
std::string current_skin_ini();
std::string skins_folder();

class SkinChooser {
public:
    // `combo` is the list (with its two design items); `fit_layout` runs
    // FitSkinLayout with a skin's name; `open_page` opens a help page.
    SkinChooser(ui::ComboBox& combo, Dialogs& dialogs, std::function<void(const std::string&)> fit_layout,
                std::function<void(const std::string&)> open_page);

    // Window creation: loads temp/skin.ini, or unpacks the default package
    // when there is none, fits the layout and appends the packages of SKINS/.
    void start_up();
    // Unpacks the package at `path` into temp/ and loads temp/skin.ini. A
    // package that cannot be used is named in a warning box (the skin before
    // stays) and gives false. UI thread.
    bool LoadSkinPackage(const std::string& path);
    // The list's handlers.
    void ComboBox_SKINSClick();
    void ComboBox_SKINSChange();

    // The skin the main window shows.
    const SkinDescription& skin() const { return skin_; }
    // Runs after every load (start-up and changes), so the main window redraws.
    std::function<void(const SkinDescription&)> on_skin_loaded;

private:
    void load_current();

    ui::ComboBox& combo_;
    Dialogs& dialogs_;
    std::function<void(const std::string&)> fit_layout_;
    std::function<void(const std::string&)> open_page_;
    SkinDescription skin_;
    int rebuilding_ = 0;  // 1 while the list is rebuilt (its changes must not load)
};

}  // namespace tw::skins
