// Skins: the package unpacker against hostile archives, skin.ini reading, and
// the skins list of the main form (start-up, changes, the layout fit).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "app/skins/skin_chooser.h"
#include "app/skins/skin_description.h"
#include "app/skins/skin_layout.h"
#include "app/skins/skin_package.h"
#include "app_test_support.h"

namespace tw::test {
namespace {

namespace fs = std::filesystem;
using skins::SkinColour;
using skins::SkinPart;

struct ZipEntry {
    enum Kind { File, Symlink, Encrypted };
    std::string name;
    std::string data;
    Kind kind = File;
    std::size_t zeros = 0;  // when not 0: that many zero bytes instead of data
};

// Writes a ZIP archive with libzip, entries exactly as named.
void make_zip(const std::string& path, const std::vector<ZipEntry>& entries) {
    static const std::vector<char> zero_block(65u << 20, 0);
    int err = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    ASSERT_NE(z, nullptr);
    for (const ZipEntry& e : entries) {
        const void* data = e.zeros ? zero_block.data() : e.data.data();
        const std::size_t size = e.zeros ? e.zeros : e.data.size();
        ASSERT_LE(size, zero_block.size());
        zip_source_t* src = zip_source_buffer(z, data, size, 0);
        const zip_int64_t i = zip_file_add(z, e.name.c_str(), src, ZIP_FL_ENC_RAW | ZIP_FL_OVERWRITE);
        ASSERT_GE(i, 0) << e.name;
        const auto idx = static_cast<zip_uint64_t>(i);
        if (e.zeros) zip_set_file_compression(z, idx, ZIP_CM_DEFLATE, 1);
        if (e.kind == ZipEntry::Symlink)
            zip_file_set_external_attributes(z, idx, 0, ZIP_OPSYS_UNIX, (S_IFLNK | 0777u) << 16);
        if (e.kind == ZipEntry::Encrypted) {
            ASSERT_EQ(zip_file_set_encryption(z, idx, ZIP_EM_AES_256, "secret"), 0);
        }
    }
    ASSERT_EQ(zip_close(z), 0);
}

// Every file below `dir` (relative names), not following links.
std::set<std::string> files_below(const std::string& dir) {
    std::set<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(dir)) out.insert(e.path().string().substr(dir.size() + 1));
    return out;
}

std::string read_file(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(SkinPackage, EntryNamesOutsideTheFolderAreUnsafe) {
    for (const char* ok : {"skin.ini", "button.png", "sub/pic.png", "a..b.png", ".hidden"})
        EXPECT_TRUE(skins::safe_entry_name(ok)) << ok;
    for (const char* bad : {"", "/etc/passwd", "../x", "a/../../x", "a/..", "./x", "a//b", "C:x", "c:\\x",
                            "back\\slash", "dir/", "tab\tname", ".."})
        EXPECT_FALSE(skins::safe_entry_name(bad)) << bad;
}

TEST(SkinPackage, HostileEntriesAreSkippedAndNothingOutsideTheFolderIsWritten) {
    TempHome home;
    fs::create_directories(home.path("outside"));
    // A link inside the folder that leads out must not be followed.
    fs::create_directories(home.path("temp"));
    fs::create_directory_symlink(home.path("outside"), home.path("temp/linked"));
    const std::string pkg = home.path("bad.zip");
    make_zip(pkg, {{"skin.ini", "[VERSION]\nskinname=good\n"},
                   {"../escaped.txt", "x"},
                   {"/abs.txt", "x"},
                   {"pics/../../escaped2.txt", "x"},
                   {"linked/through.txt", "x"},
                   {"back\\slash.txt", "x"},
                   {"link.png", "../outside/target", ZipEntry::Symlink},
                   {"secret.png", "hidden", ZipEntry::Encrypted},
                   {"pics/deep.png", "deep"}});
    const auto before_outside = files_below(home.path("outside"));

    const skins::UnpackResult r = skins::unpack_skin_package(pkg, home.path("temp"));

    EXPECT_TRUE(r.opened);
    EXPECT_FALSE(r.refused);
    EXPECT_EQ(std::set<std::string>(r.written.begin(), r.written.end()),
              (std::set<std::string>{"skin.ini", "pics/deep.png"}));
    EXPECT_EQ(r.skipped.size(), 7u);
    EXPECT_EQ(read_file(home.path("temp/pics/deep.png")), "deep");
    EXPECT_EQ(files_below(home.path("outside")), before_outside);
    EXPECT_FALSE(fs::exists(home.path("escaped.txt")));
    EXPECT_FALSE(fs::exists(home.dir() + "/../escaped.txt"));
    EXPECT_FALSE(fs::exists("/abs.txt"));
    EXPECT_FALSE(fs::exists(home.path("escaped2.txt")));
    // Only the good files (and the link we made) are in the folder; no temporary leftovers.
    EXPECT_EQ(files_below(home.path("temp")), (std::set<std::string>{"skin.ini", "pics", "pics/deep.png", "linked"}));
}

TEST(SkinPackage, OversizedEntriesAndDecompressionBombs) {
    TempHome home;
    const std::string big = home.path("big.zip");
    make_zip(big, {{"skin.ini", "[VERSION]\nskinname=big\n"}, {"huge.png", "", ZipEntry::File, (64u << 20) + 1}});
    skins::UnpackResult r = skins::unpack_skin_package(big, home.path("temp"));
    EXPECT_EQ(r.written, std::vector<std::string>{"skin.ini"});
    EXPECT_EQ(r.skipped, std::vector<std::string>{"huge.png"});
    EXPECT_FALSE(fs::exists(home.path("temp/huge.png")));

    // Five entries each under the entry limit, together over the package limit.
    const std::string bomb = home.path("bomb.zip");
    std::vector<ZipEntry> parts{{"skin.ini", "[VERSION]\nskinname=bomb\n"}};
    for (int i = 0; i < 5; ++i) parts.push_back({"part" + std::to_string(i) + ".png", "", ZipEntry::File, 60u << 20});
    make_zip(bomb, parts);
    EXPECT_LT(fs::file_size(bomb), 2u << 20);
    fs::remove_all(home.path("temp"));
    r = skins::unpack_skin_package(bomb, home.path("temp"));
    EXPECT_TRUE(r.refused);
    EXPECT_TRUE(r.written.empty());
    EXPECT_FALSE(fs::exists(home.path("temp/skin.ini")));

    // Not a ZIP at all.
    home.write("junk.zip", "PK\x03\x04 this is not an archive");
    r = skins::unpack_skin_package(home.path("junk.zip"), home.path("temp"));
    EXPECT_FALSE(r.opened);
}

TEST(SkinDescription, ReadsEverySectionAndRejectsWhatItCannotUse) {
    TempHome home;
    fs::create_directories(home.path("skin"));
    home.write("skin/button.png", "png bytes");
    home.write("skin/combo.png", "png bytes");
    home.write("elsewhere.png", "png bytes");
    home.write("skin/skin.ini",
               "[VERSION]\nskinname = Night \n[COLOURS]\nwindow=#102030\ntext=A0b0C0\nborder=#12345\n"
               "highlight=red\n[FONT]\nfamily=DejaVu Sans\nsize=99\n[PICTURES]\nscale=9\n"
               "button=button.png\nbutton_margins=5,6,7,500\ncombo=combo.png\ncombo_margins=3\n"
               "panel=../elsewhere.png\nwindow=missing.png\ncheck_on=sub/combo.png\n");
    const skins::SkinDescription s = skins::read_skin_description(home.path("skin/skin.ini"));
    ASSERT_TRUE(s.loaded);
    EXPECT_EQ(s.name, "Night");
    EXPECT_EQ(s.colour(SkinColour::Window), (skins::Rgb{0x10, 0x20, 0x30}));
    EXPECT_EQ(s.colour(SkinColour::Text), (skins::Rgb{0xa0, 0xb0, 0xc0}));
    EXPECT_FALSE(s.colour(SkinColour::Border).has_value());
    EXPECT_FALSE(s.colour(SkinColour::Highlight).has_value());
    EXPECT_FALSE(s.colour(SkinColour::Panel).has_value());
    EXPECT_EQ(s.font_family, "DejaVu Sans");
    EXPECT_EQ(s.font_size, 0);  // out of range: the built-in size
    EXPECT_EQ(s.scale, skins::kMaxScale);
    EXPECT_EQ(s.picture(SkinPart::Button).path, home.path("skin/button.png"));
    EXPECT_EQ(s.picture(SkinPart::Button).margins, (skins::Margins{5, 6, 7, skins::kMaxMargin}));
    EXPECT_EQ(s.picture(SkinPart::Combo).margins, (skins::Margins{3, 3, 3, 3}));
    EXPECT_EQ(s.picture(SkinPart::Panel).path, "");
    EXPECT_EQ(s.picture(SkinPart::Window).path, "");
    EXPECT_EQ(s.picture(SkinPart::CheckOn).path, "");

    // Damaged or nameless descriptions give the built-in look.
    home.write("skin/skin.ini", std::string("\x00\xff\x89PNG\r\n[VERSION\nskinname", 22));
    EXPECT_FALSE(skins::read_skin_description(home.path("skin/skin.ini")).loaded);
    home.write("skin/skin.ini", "[COLOURS]\nwindow=#000000\n");
    EXPECT_FALSE(skins::read_skin_description(home.path("skin/skin.ini")).loaded);
    EXPECT_FALSE(skins::read_skin_description(home.path("skin/none.ini")).loaded);
}

TEST(SkinLayout, AtmosphereWidensTheSwitchesOnceAndAnyOtherSkinRestoresThem) {
    ChainEditor chain;
    ui::Button save("spSkinButton17", {16, 408, 118, 26}, " Save FX chain");
    const ui::Rect plain = chain.row(7).check.bounds();
    ASSERT_EQ(plain.width, skins::kPlainSwitchWidth);
    for (int i = 0; i < 2; ++i) {
        skins::fit_skin_layout("@mosphere", chain, save);
        for (int n = 1; n <= kChainRows; ++n) {
            EXPECT_EQ(chain.row(n).check.bounds().width, 56);
            EXPECT_EQ(chain.row(n).check.bounds().left, plain.left - 8);
        }
        EXPECT_EQ(save.bounds().left, 8);
    }
    for (int i = 0; i < 2; ++i) {
        skins::fit_skin_layout("symbios", chain, save);
        EXPECT_EQ(chain.row(16).check.bounds().width, 48);
        EXPECT_EQ(chain.row(16).check.bounds().left, plain.left);
        EXPECT_EQ(save.bounds().left, 16);
    }
}

// The skins list on a main form, with packages made here.
class SkinChooserTest : public FormRig {
protected:
    void add_package(const std::string& file, const std::string& skin_name, std::vector<ZipEntry> extra = {}) {
        fs::create_directories(home.path("SKINS"));
        extra.push_back({"skin.ini", "[VERSION]\nskinname=" + skin_name + "\n"});
        make_zip(home.path("SKINS/" + file), extra);
    }
    void choose(const std::string& item) {
        auto& combo = form->extras().ComboBox_SKINS;
        const auto& items = combo.items();
        const auto it = std::find(items.begin(), items.end(), item);
        ASSERT_NE(it, items.end()) << item;
        combo.set_item_index(static_cast<int>(it - items.begin()));
        combo.click();
    }
    std::string skin() { return form->skins().skin().name; }
};

TEST_F(SkinChooserTest, FirstStartUnpacksTheDefaultAndLaterStartsKeepTheChoice) {
    add_package("symbios.zip", "symbios", {{"a.png", "a"}});
    add_package("other.zip", "@mosphere");
    make();
    EXPECT_EQ(skin(), "symbios");
    EXPECT_TRUE(fs::exists(home.path("temp/a.png")));
    const auto& items = form->extras().ComboBox_SKINS.items();
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0], "SKINS");
    EXPECT_EQ(items[1], "Download from Internet");
    EXPECT_EQ(std::set<std::string>(items.begin() + 2, items.end()), (std::set<std::string>{"symbios.zip", "other.zip"}));
    EXPECT_EQ(form->extras().ComboBox_SKINS.item_index(), 0);

    choose("other.zip");
    EXPECT_EQ(skin(), "@mosphere");
    // A restart loads what temp/ holds, shifted, and the list starts at its title.
    make();
    EXPECT_EQ(skin(), "@mosphere");
    EXPECT_EQ(form->chain().row(1).check.bounds().width, 56);
    EXPECT_EQ(form->extras().ComboBox_SKINS.item_index(), 0);
}

TEST_F(SkinChooserTest, NoPackagesAndNoFolderLeaveTheBuiltInLookAndTwoItems) {
    make();
    EXPECT_FALSE(form->skins().skin().loaded);
    EXPECT_EQ(form->extras().ComboBox_SKINS.count(), 2);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(SkinChooserTest, ChangesLoadTheSkinFitTheLayoutAndKeepLeftovers) {
    add_package("symbios.zip", "symbios", {{"only_in_symbios.png", "s"}, {"shared.png", "old"}});
    add_package("atmo.zip", "@mosphere", {{"shared.png", "new"}});
    fs::create_directories(home.path("html"));
    home.write("html/skins.html", "<html></html>");
    make();
    const int save_left = form->presets().spSkinButton17.bounds().left;

    choose("Download from Internet");
    EXPECT_EQ(skin(), "symbios");
    ASSERT_EQ(dialogs.urls.size(), 1u);
    EXPECT_NE(dialogs.urls[0].find("skins.html#more-skins"), std::string::npos);
    EXPECT_TRUE(dialogs.messages.empty());

    choose("atmo.zip");
    EXPECT_EQ(skin(), "@mosphere");
    EXPECT_EQ(form->chain().row(1).check.bounds().width, 56);
    EXPECT_EQ(form->presets().spSkinButton17.bounds().left, save_left - 8);
    EXPECT_EQ(read_file(home.path("temp/shared.png")), "new");
    EXPECT_EQ(read_file(home.path("temp/only_in_symbios.png")), "s");
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].rfind("You can download additional skins from", 0), 0u);

    choose("atmo.zip");  // twice: shifted once only
    EXPECT_EQ(form->chain().row(1).check.bounds().width, 56);
    EXPECT_EQ(form->presets().spSkinButton17.bounds().left, save_left - 8);

    choose("symbios.zip");
    EXPECT_EQ(form->chain().row(1).check.bounds().width, 48);
    EXPECT_EQ(form->presets().spSkinButton17.bounds().left, save_left);
}

TEST_F(SkinChooserTest, UnusablePackagesAreNamedAndTheSkinBeforeStays) {
    add_package("symbios.zip", "symbios", {{"a.png", "a"}});
    home.write("SKINS/broken.zip", "not a zip at all");
    make_zip(home.path("SKINS/unsafe.zip"), {{"../escape.png", "x"}, {"/abs.png", "y"}});
    make();
    dialogs.messages.clear();
    choose("broken.zip");
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0], "The skin package broken.zip was not used: it is not a ZIP archive that can be read.");
    EXPECT_EQ(skin(), "symbios");
    choose("unsafe.zip");
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_NE(dialogs.messages[1].find("unsafe.zip was not used: none of its files"), std::string::npos);
    EXPECT_EQ(skin(), "symbios");
}

TEST_F(SkinChooserTest, ClickingTheTitleRebuildsTheListWithNewPackages) {
    add_package("symbios.zip", "symbios");
    make();
    add_package("new.zip", "new");
    home.write("SKINS/readme.txt", "not a package");
    choose("SKINS");
    const auto& items = form->extras().ComboBox_SKINS.items();
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[1], "Download From Internet");
    EXPECT_EQ(std::set<std::string>(items.begin() + 2, items.end()), (std::set<std::string>{"symbios.zip", "new.zip"}));
    EXPECT_EQ(form->extras().ComboBox_SKINS.item_index(), 0);
    EXPECT_EQ(skin(), "symbios");
}

}  // namespace
}  // namespace tw::test
