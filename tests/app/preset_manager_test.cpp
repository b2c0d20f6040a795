// Preset management: the presets list and its refresh rule, F1..F12 (quiet
// loads, the "F1 " prefix, a second press), Load FX chain and Save FX chain
// with their captions, dialogs and messages, and the help pages opened from
// the list, the HELP menu and the link labels.
#include "fx/kind_ids.h"
#include "app/preset_manager.h"
#include "app/skins/skin_chooser.h"

#include <gtest/gtest.h>

#include "app/help_pages.h"
#include "app_test_support.h"
#include "platform/effect_services.h"
#include "platform/headless_services.h"

namespace tw {
namespace {

class PresetManagerTest : public test::FormRig {
protected:
    void SetUp() override {
        FormRig::SetUp();
        boxes().clear();
    }
    static platform::ScriptedFileDialogs& dialogs_script() { return platform::default_headless_services().dialogs; }
    static platform::RecordingMessageBoxes& boxes() { return platform::default_headless_services().messages; }
    PresetManager& pm() { return form->presets(); }
    std::vector<std::string> list() { return pm().ComboBox_PRESETS.items(); }
};

TEST_F(PresetManagerTest, ListIsFilledAtCreationAndRefreshedOnlyByAClickOnItsFirstItem) {
    home.add_preset("b second.pre");
    home.add_preset("A first.pre");
    home.write("PRESETS/notes.txt", "x");
    make();
    form->FormShow();
    EXPECT_EQ(list(), (std::vector<std::string>{"PRESETS (Click to refresh list)", "Download From Internet 2000 presets",
                                                 "A first.pre", "b second.pre"}));

    home.add_preset("F4 Later.pre");
    form->FormKeyUp(4);  // not listed yet: nothing
    EXPECT_EQ(row1_kind(), 0);
    pm().ComboBox_PRESETS.set_item_index(1);  // a click on another item does not refresh
    pm().ComboBox_PRESETS.click();
    EXPECT_EQ(list().size(), 4u);
    dialogs.messages.clear();  // the download item's page
    pm().ComboBox_PRESETS.set_item_index(0);
    pm().ComboBox_PRESETS.click();
    EXPECT_EQ(list(), (std::vector<std::string>{"PRESETS (Click to refresh list)", "Download From Internet",
                                                 "A first.pre", "b second.pre", "F4 Later.pre"}));
    EXPECT_EQ(pm().ComboBox_PRESETS.item_index(), 0);
    form->FormKeyUp(4);
    EXPECT_EQ(row1_kind(), kKindGain);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(PresetManagerTest, F9LoadsSilentlyOnceAndF1DoesNotMatchF10) {
    home.add_preset("F9 - High Gain Distortion Noise Gate.pre", kKindNoiseGate);
    home.add_preset("F10 Lead.pre", kKindGain);
    home.write("face.ini", "[Default Preset]\nPath=none\n");  // no start-up preset
    make();
    form->FormShow();
    form->FormKeyUp(1);  // only F10 Lead: F1 loads nothing
    EXPECT_EQ(row1_kind(), 0);

    form->FormKeyUp(9);
    EXPECT_EQ(row1_kind(), kKindNoiseGate);
    EXPECT_EQ(pm().ComboBox_PRESETS.text(), "F9 - High Gain Distortion Noise Gate.pre");
    EXPECT_EQ(pm().quiet_load(), 0);
    EXPECT_TRUE(dialogs.messages.empty());
    form->chain().row(1).combo.set_item_index(kKindGain);
    form->FormKeyUp(9);  // the list still shows it: nothing is loaded
    EXPECT_EQ(row1_kind(), kKindGain);

    home.add_preset("F1 Clean.pre", kKindNoiseGate);
    pm().ComboBox_PRESETS.set_item_index(0);
    pm().ComboBox_PRESETS.click();
    form->FormKeyUp(1);
    EXPECT_EQ(pm().ComboBox_PRESETS.text(), "F1 Clean.pre");
    EXPECT_EQ(row1_kind(), kKindNoiseGate);
    form->FormKeyUp(10);
    EXPECT_EQ(pm().ComboBox_PRESETS.text(), "F10 Lead.pre");
    form->FormKeyUp(0);  // another key
    form->FormKeyUp(13);
    EXPECT_EQ(pm().ComboBox_PRESETS.text(), "F10 Lead.pre");
    EXPECT_EQ(PresetManager::function_key_prefix(1), "F1 ");
    EXPECT_EQ(PresetManager::function_key_prefix(12), "F12");
}

TEST_F(PresetManagerTest, ChoosingFromTheListLoadsThenNamesThePresetsPage) {
    home.add_preset("Clean.pre");
    make();
    form->FormShow();
    pm().ComboBox_PRESETS.set_item_index(2);
    EXPECT_EQ(row1_kind(), kKindGain);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].rfind(PresetManager::kDownloadMessageStart, 0), 0u);
    EXPECT_NE(dialogs.messages[0].find(home.path("html/presets.html")), std::string::npos);

    // "Download From Internet" opens the local presets page (or says it is missing).
    pm().ComboBox_PRESETS.set_item_index(1);
    pm().ComboBox_PRESETS.click();
    EXPECT_TRUE(dialogs.urls.empty());
    EXPECT_NE(dialogs.messages.back().find("is missing"), std::string::npos);
    std::filesystem::create_directories(home.path("html"));
    home.write("html/presets.html", "<html></html>");
    pm().ComboBox_PRESETS.click();
    ASSERT_EQ(dialogs.urls.size(), 1u);
    EXPECT_EQ(dialogs.urls[0], file_url(home.path("html/presets.html")) + "#more-presets");
}

TEST_F(PresetManagerTest, LoadFxChainLoadsThePickedFileAndAlwaysShowsTheKeysMessage) {
    const std::string p = home.add_preset("Picked.pre");
    make();
    form->FormShow();
    dialogs_script().push_answer(std::nullopt);  // cancelled
    pm().spSkinButton18.click();
    EXPECT_EQ(row1_kind(), 0);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].rfind("Fast FX chain load: press F1 .. F12.\n", 0), 0u);
    const platform::FileDialogRequest& r = dialogs_script().requests().back();
    EXPECT_EQ(r.title, "Open file");
    EXPECT_EQ(r.filter, "Presets|*.pre");
    EXPECT_EQ(r.initial_folder, home.path("PRESETS"));
    EXPECT_EQ(pm().spSkinButton18.caption(), "Load FX chain");
    EXPECT_TRUE(pm().spSkinButton18.enabled());

    dialogs_script().push_answer(p);
    pm().spSkinButton18.click();
    EXPECT_EQ(row1_kind(), kKindGain);
    EXPECT_EQ(dialogs.messages.size(), 2u);
}

TEST_F(PresetManagerTest, SaveFxChainAddsTheExtensionAsksBeforeReplacingAndSaysWhenItCannotWrite) {
    make();
    form->FormShow();
    form->chain().row(1).combo.set_item_index(kKindNoiseGate);
    dialogs_script().push_answer(home.path("PRESETS/Mine"));
    pm().spSkinButton17.click();
    const platform::FileDialogRequest& r = dialogs_script().requests().back();
    EXPECT_EQ(r.title, "Save file");
    EXPECT_EQ(r.initial_folder, home.path("PRESETS"));
    EXPECT_FALSE(r.confirm_overwrite);
    PresetRecord back;
    ASSERT_TRUE(read_preset_record(home.path("PRESETS/Mine.pre"), back));
    EXPECT_EQ(back.kind(0), kKindNoiseGate);
    EXPECT_TRUE(dialogs.questions.empty());
    EXPECT_EQ(pm().spSkinButton17.caption(), "Save FX chain");

    // Replacing: No keeps the old file, Yes replaces it.
    form->chain().row(1).combo.set_item_index(kKindGain);
    dialogs_script().push_answer(home.path("PRESETS/Mine.pre"));
    dialogs.answers = {false};
    pm().spSkinButton17.click();
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0], "Mine.pre already exists. Do you want to replace it?");
    ASSERT_TRUE(read_preset_record(home.path("PRESETS/Mine.pre"), back));
    EXPECT_EQ(back.kind(0), kKindNoiseGate);
    dialogs_script().push_answer(home.path("PRESETS/Mine.pre"));
    dialogs.answers = {true};
    pm().spSkinButton17.click();
    ASSERT_TRUE(read_preset_record(home.path("PRESETS/Mine.pre"), back));
    EXPECT_EQ(back.kind(0), kKindGain);
    EXPECT_TRUE(dialogs.messages.empty());

    dialogs_script().push_answer(home.path("no such folder/x.pre"));
    pm().spSkinButton17.click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages[0].find(", so the preset was not saved;"), std::string::npos) << dialogs.messages[0];
    EXPECT_TRUE(pm().spSkinButton17.enabled());
}

TEST_F(PresetManagerTest, HelpMenuAndLinkLabelsOpenShippedPagesThatExist) {
    // The staged pages beside the test program (build/bin/html).
    set_program_folder(executable_folder());
    make();
    ASSERT_EQ(help_menu_entries().size(), 12u);
    for (int i = 0; i < kHelpMenuEntries; ++i) form->HelpMenuClick(i);
    form->extras().LinkLabel1.click();
    form->extras().LinkLabel2.click();
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messages[0];
    ASSERT_EQ(dialogs.urls.size(), 14u);
    EXPECT_EQ(dialogs.urls[0], help_page_url("index.html"));
    // Every fragment an entry points at is an anchor of its page.
    std::vector<std::string> pages{kLinkLabel1Page, kLinkLabel2Page, kMorePresetsPage, skins::kMoreSkinsPage};
    for (const HelpEntry& e : help_menu_entries()) pages.push_back(e.page);
    for (const std::string& page : pages) {
        const std::size_t hash = page.find('#');
        if (hash == std::string::npos) continue;
        std::ifstream in(help_page_file(page));
        const std::string html{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        EXPECT_NE(html.find("id=\"" + page.substr(hash + 1) + "\""), std::string::npos) << page;
    }
    dialogs.url_opens = false;
    form->HelpMenuClick(0);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].rfind("No web browser could be started", 0), 0u);
}

}  // namespace
}  // namespace tw
