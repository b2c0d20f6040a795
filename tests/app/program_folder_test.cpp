// The choice of the program folder (--home, TONEWARP_HOME, an installed
// program, a writable executable folder, the per-user folder and where it is
// filled from) and the copy into it that leaves what the user has alone.
#include "app/program_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app_test_support.h"

namespace tw {
namespace {

TEST(ProgramFolderChoice, OptionThenEnvironmentThenWritableExecutableFolderThenPerUser) {
    ProgramFolderSources s;
    s.home_option = "/opt/h";
    s.env_home = "/env/h";
    s.exe_folder = "/usr/bin";
    s.exe_folder_writable = true;
    s.user_home = "/home/ann";
    EXPECT_EQ(choose_program_folder(s).folder, "/opt/h");
    s.home_option.clear();
    EXPECT_EQ(choose_program_folder(s).folder, "/env/h");
    s.env_home.clear();
    EXPECT_EQ(choose_program_folder(s).folder, "/usr/bin");
    EXPECT_EQ(choose_program_folder(s).seed_from, "");
    s.exe_folder_writable = false;
    ProgramFolderChoice c = choose_program_folder(s);
    EXPECT_EQ(c.folder, "/home/ann/.local/share/tonewarp");
    EXPECT_EQ(c.seed_from, "/usr/bin");  // no /usr/share/tonewarp here: the executable's folder
    s.xdg_data_home = "relative/ignored";
    EXPECT_EQ(choose_program_folder(s).folder, "/home/ann/.local/share/tonewarp");
    s.xdg_data_home = "/data";
    EXPECT_EQ(choose_program_folder(s).folder, "/data/tonewarp");
    // An installed program uses the per-user folder even when its own folder
    // is writable, and fills it from <prefix>/share/tonewarp.
    s.exe_folder_writable = true;
    s.installed_data = "/usr/share/tonewarp";
    c = choose_program_folder(s);
    EXPECT_EQ(c.folder, "/data/tonewarp");
    EXPECT_EQ(c.seed_from, "/usr/share/tonewarp");
}

TEST(ProgramFolderSeed, CopiesWhatIsMissingKeepsWhatIsThereAndSkipsPrograms) {
    test::TempHome from, to;
    from.add_preset("F9 x.pre");
    from.write("face.ini", "installed");
    from.write("tonewarp", "#!/bin/sh\n");
    std::filesystem::permissions(from.path("tonewarp"), std::filesystem::perms::owner_all);
    std::filesystem::create_directories(from.path("html"));
    from.write("html/index.html", "<p>");
    to.write("face.ini", "mine");
    ASSERT_TRUE(seed_program_folder(from.dir(), to.dir() + "/new"));
    ASSERT_TRUE(seed_program_folder(from.dir(), to.dir()));
    EXPECT_TRUE(std::filesystem::is_regular_file(to.path("new/PRESETS/F9 x.pre")));
    EXPECT_EQ(to.read("html/index.html"), "<p>");
    EXPECT_EQ(to.read("face.ini"), "mine");
    EXPECT_FALSE(std::filesystem::exists(to.path("tonewarp")));
    std::string error;
    EXPECT_FALSE(seed_program_folder(from.dir(), from.path("face.ini/sub"), &error));
    EXPECT_NE(error.find("Cannot make the folder"), std::string::npos) << error;
}

}  // namespace
}  // namespace tw

namespace tw {
namespace {

// Later starts of the per-user folder: files new in the installed data come
// in, files the user changed or deleted stay as the user left them.
TEST(ProgramFolderSeed, LaterStartsAddNewInstalledFilesButNotDeletedOnes) {
    test::TempHome from, to;
    from.write("PRESETS/F1 a.pre", "a");
    from.write("PRESETS/F2 b.pre", "b");
    const std::string user = to.path("user");
    ASSERT_TRUE(seed_program_folder(from.dir(), user, nullptr, true));
    std::filesystem::remove(user + "/PRESETS/F1 a.pre");
    std::ofstream(user + "/PRESETS/F2 b.pre") << "mine";
    std::filesystem::create_directories(from.path("html"));
    from.write("html/limiter1.htm", "knobs");

    ASSERT_TRUE(seed_program_folder(from.dir(), user, nullptr, true));
    EXPECT_FALSE(std::filesystem::exists(user + "/PRESETS/F1 a.pre"));
    EXPECT_EQ(to.read("user/PRESETS/F2 b.pre"), "mine");
    EXPECT_EQ(to.read("user/html/limiter1.htm"), "knobs");

    // A folder filled before the list was kept: what is missing is copied.
    std::filesystem::remove(user + "/" + kSeededListName);
    ASSERT_TRUE(seed_program_folder(from.dir(), user, nullptr, true));
    EXPECT_EQ(to.read("user/PRESETS/F1 a.pre"), "a");
    EXPECT_EQ(to.read("user/PRESETS/F2 b.pre"), "mine");
}

}  // namespace
}  // namespace tw
