// The chain editor and preset loads while an audio thread runs the live
// chain without pause: no instance may be used after it is destroyed (shown
// by AddressSanitizer), and the output stays what the chain can produce.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <thread>
#include <vector>

#include "app/chain_editor.h"
#include "app/chain_presets.h"
#include "app/program_folder.h"
#include "engine/denormals.h"
#include "fx/gain_form.h"
#include "presets/preset_file.h"

namespace tw {
namespace {

TEST(EditorLiveTest, KindChangesMovesAndLoadsUnderARunningChain) {
    reset_engine();
    const std::string file =
        (std::filesystem::temp_directory_path() / ("tw_live_" + std::to_string(::getpid()) + ".pre")).string();
    std::atomic<bool> stop{false};
    std::atomic<long> runs{0};
    std::atomic<bool> bad{false};
    std::thread audio([&] {
        enable_flush_to_zero();
        std::vector<float> buf(2 * 64);
        while (!stop.load()) {
            for (float& v : buf) v = 1000.0f;
            process_chain(64, 48000, 2, buf.data());
            // Gains of 1/11..11 over up to 16 slots stay finite.
            for (float v : buf) {
                if (!std::isfinite(v)) bad.store(true);
            }
            runs.fetch_add(1);
        }
    });
    {
        ChainEditor e;
        e.fill_kind_lists_and_build_chain();
        for (int n = 1; n <= kChainRows; n += 2) e.row(n).check.click();
        for (int n = 1; n <= 4; ++n) e.row(n).combo.set_item_index(kKindGain);
        std::string err;
        ASSERT_TRUE(save_preset_file(e, file, &err)) << err;
        for (int i = 0; i < 300; ++i) {
            const int n = 1 + i % kChainRows;
            e.row(n).combo.set_item_index(i % 3 == 0 ? kKindEmpty : kKindGain);
            if (auto* g = static_cast<Tgain_form*>(e.instance(n))) g->ScrollBar_Gain_Mono.set_position(i % 101);
            e.row(n).check.click();
            if (i % 2 == 0) {
                e.row(n).updown.click_down();
            } else {
                e.row(n).updown.click_up();
            }
            if (i % 25 == 0) {
                ASSERT_TRUE(load_preset(e, file));
            }
        }
    }
    stop.store(true);
    audio.join();
    std::filesystem::remove(file);
    EXPECT_FALSE(bad.load());
    EXPECT_GT(runs.load(), 0);
    reset_engine();
}

TEST(ProgramFolderTest, DefaultsToTheExecutablesFolder) {
    const std::string exe = executable_folder();
    EXPECT_TRUE(std::filesystem::exists(exe + "/app_tests")) << exe;
    EXPECT_EQ(program_folder(), exe);
    set_program_folder("/tmp/somewhere/");
    EXPECT_EQ(program_folder(), "/tmp/somewhere");
    EXPECT_EQ(program_path("PRESETS/F1 Clean.pre"), "/tmp/somewhere/PRESETS/F1 Clean.pre");
    set_program_folder("/");
    EXPECT_EQ(program_path("face.ini"), "/face.ini");
    set_program_folder(exe);
}

}  // namespace
}  // namespace tw
