// The services effects use: INI files beside the program, the headless timer
// hub, scripted dialogs, the access point, the program folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/effect_services.h"
#include "platform/headless_services.h"
#include "platform/ini_file.h"

namespace tw::platform {
namespace {

namespace fs = std::filesystem;

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("tw_ini_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string path(const std::string& n) const { return (dir_ / n).string(); }
    static std::string slurp(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    fs::path dir_;
};

TEST_F(IniFileTest, ReadsValuesAndDefaultsLikeAProfileFile) {
    std::ofstream(path("MTEQ.ini")) << "; band file\r\n[EQL]\r\ns0=73\r\ns1 = -12 \r\ns2=7junk\r\ns3=junk\r\n"
                                       "s4=99999999999\r\n[other]\r\nGang=0\r\n[File]\r\nPath=/music/my take.wav\r\n";
    IniFile ini(path("MTEQ.ini"));
    EXPECT_TRUE(ini.existed());
    EXPECT_EQ(ini.read_int("EQL", "s0", 50), 73);
    EXPECT_EQ(ini.read_int("EQL", "s1", 50), -12);
    EXPECT_EQ(ini.read_int("EQL", "s2", 50), 7);
    EXPECT_EQ(ini.read_int("EQL", "s3", 50), 50);
    EXPECT_EQ(ini.read_int("EQL", "s4", 50), INT_MAX);
    EXPECT_EQ(ini.read_int("EQL", "s5", 50), 50);
    EXPECT_EQ(ini.read_int("Other", "gang", 1), 0);  // case does not matter
    EXPECT_EQ(ini.read_string("File", "Path", "ERROR"), "/music/my take.wav");
    EXPECT_EQ(ini.read_string("File", "Other", "ERROR"), "ERROR");

    IniFile none(path("playback.ini"));
    EXPECT_FALSE(none.existed());
    EXPECT_EQ(none.read_string("File", "Path", "ERROR"), "ERROR");
}

TEST_F(IniFileTest, SavesWholeFilesThatReadBack) {
    {
        IniFile ini(path("playback.ini"));
        ini.write_string("File", "Path", "/a/demo1.wav");
        ini.write_int("Other", "Drive", 64);
        ini.write_string("Other", "Note", "two\nlines");
        std::string err;
        ASSERT_TRUE(ini.save(&err)) << err;
    }
    EXPECT_EQ(slurp(path("playback.ini")), "[File]\nPath=/a/demo1.wav\n\n\n[Other]\nDrive=64\nNote=two lines\n");
    IniFile again(path("playback.ini"));
    again.write_int("Other", "Drive", 3);
    ASSERT_TRUE(again.save());
    EXPECT_EQ(IniFile(path("playback.ini")).read_int("Other", "Drive", 0), 3);
    EXPECT_EQ(IniFile(path("playback.ini")).read_string("File", "Path", ""), "/a/demo1.wav");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(IniFileTest, AFileThatCannotBeReadIsNeverOverwritten) {
    fs::create_directories(path("MTEQ.ini"));  // a folder in the way
    IniFile folder(path("MTEQ.ini"));
    EXPECT_EQ(folder.read_int("EQL", "s0", 50), 50);
    std::string err;
    EXPECT_FALSE(folder.save(&err));
    EXPECT_NE(err.find("could not be read"), std::string::npos) << err;

    const std::string big(IniFile::kMaxBytes + 1, 'x');
    std::ofstream(path("big.ini")) << big;
    IniFile huge(path("big.ini"));
    huge.write_int("EQL", "s0", 1);
    EXPECT_FALSE(huge.save());
    EXPECT_EQ(fs::file_size(path("big.ini")), big.size());
}

TEST(ManualTimers, AdvanceFiresWholeIntervalsAndSurvivesCallbacks) {
    ManualTimerHub hub;
    auto a = hub.make();
    auto b = hub.make();
    int ticks_a = 0, ticks_b = 0;
    a->start(100, [&] { ++ticks_a; });
    b->start(30, [&] {
        if (++ticks_b == 2) b.reset();  // destroys itself inside its callback
    });
    hub.advance(250);
    EXPECT_EQ(ticks_a, 2);
    EXPECT_EQ(ticks_b, 2);
    EXPECT_EQ(hub.live_timers(), 1u);
    hub.advance(50);  // 300 ms in all
    EXPECT_EQ(ticks_a, 3);
    a->stop();
    hub.advance(1000);
    a->tick();
    EXPECT_EQ(ticks_a, 3);
    a->start(0, [&] { ticks_a += 10; });  // below 1 ms counts as 1
    hub.advance(2);
    EXPECT_EQ(ticks_a, 23);
}

TEST(EffectServicesAccess, HeadlessDefaultsUntilSomethingIsInstalled) {
    EffectServices& d = effect_services();
    EXPECT_EQ(&d, &default_headless_services());
    FileDialogRequest req{"Open file", "wav|*.wav", "/music"};
    EXPECT_EQ(d.file_dialogs().open_file(req), std::nullopt);

    HeadlessServices mine;
    install_effect_services(&mine);
    mine.dialogs.push_answer("/music/a.wav");
    EXPECT_EQ(effect_services().file_dialogs().save_file(req), "/music/a.wav");
    EXPECT_EQ(effect_services().file_dialogs().save_file(req), std::nullopt);
    ASSERT_EQ(mine.dialogs.requests().size(), 2u);
    EXPECT_EQ(mine.dialogs.requests()[0].initial_folder, "/music");
    effect_services().message_boxes().warning("Error! Can NOT open Out wav", "");
    ASSERT_EQ(mine.messages.shown().size(), 1u);
    EXPECT_TRUE(mine.messages.shown()[0].warning);
    install_effect_services(nullptr);
    EXPECT_EQ(&effect_services(), &default_headless_services());

    const std::string before = program_folder();
    set_program_folder("/opt/tw//");
    EXPECT_EQ(effect_services().program_file("MTEQ.ini"), "/opt/tw/MTEQ.ini");
    set_program_folder("/");
    EXPECT_EQ(program_file("demo1.wav"), "/demo1.wav");
    set_program_folder(before);
}

TEST(FileDialogFilter, ToolkitFormFromPairs) {
    EXPECT_EQ(toolkit_filter("wav files|*.wav"), "wav files (*.wav)");
    EXPECT_EQ(toolkit_filter("Audio|*.wav;*.flac|All|*.*"), "Audio (*.wav *.flac);;All (*.*)");
    EXPECT_EQ(toolkit_filter("Anything"), "Anything (*)");
    EXPECT_EQ(toolkit_filter(""), "");
}

}  // namespace
}  // namespace tw::platform
