// Takes on disk while they are recorded: the hidden file follows the take
// and plays as a WAV at any moment, a saved take leaves no hidden file, and a
// take left by a process that died is found with its header mended.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "fx/record_wavs.h"
#include "fx/take_stream.h"
#include "wav_test_support.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

class TakeStreamTest : public test::ScratchFolderTest {
protected:
    static std::vector<short> read_shorts(const std::string& p, SF_INFO& info) {
        info = {};
        SNDFILE* f = sf_open(p.c_str(), SFM_READ, &info);
        if (f == nullptr) return {};
        std::vector<short> s(static_cast<std::size_t>(info.frames * info.channels));
        sf_read_short(f, s.data(), static_cast<sf_count_t>(s.size()));
        sf_close(f);
        return s;
    }
    std::vector<fs::path> hidden_takes() const {
        std::vector<fs::path> out;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(dir_ / "RECORDINGS", ec))
            if (e.path().filename().string().rfind(".take-", 0) == 0) out.push_back(e.path());
        return out;
    }
};

TEST_F(TakeStreamTest, TheHiddenFileFollowsTheTakeAndGoesWhenItIsSaved) {
    TRecord_wav_form r;
    r.Button_Save.click();
    ASSERT_TRUE(r.take_stream().running());
    std::vector<float> buf(2 * 4800);
    for (int block = 0; block < 3; ++block) {
        for (std::size_t i = 0; i < buf.size(); ++i) buf[i] = static_cast<float>(block * 1000 + static_cast<int>(i % 500));
        r.process(4800, 48000, 2, buf.data());
    }
    const_cast<TakeStream&>(r.take_stream()).sync_now();
    ASSERT_EQ(hidden_takes().size(), 1u);
    SF_INFO info;
    const auto got = read_shorts(r.take_stream().path(), info);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplerate, 48000);
    ASSERT_EQ(got.size(), 3u * 9600u);
    EXPECT_EQ(got[0], 0);
    EXPECT_EQ(got[9600 + 499], 1499);
    EXPECT_EQ(got[2 * 9600 + 7], 2007);
    EXPECT_EQ(r.take_stream().write_failures(), 0);

    // Start again: a new take, and the old hidden file is gone.
    r.start_recording();
    r.process(100, 48000, 2, buf.data());
    const_cast<TakeStream&>(r.take_stream()).sync_now();
    ASSERT_EQ(hidden_takes().size(), 1u);
    EXPECT_EQ(read_shorts(r.take_stream().path(), info).size(), 200u);

    ASSERT_TRUE(r.stop_and_save_to(path("take.wav")));
    EXPECT_TRUE(hidden_takes().empty());
    EXPECT_EQ(read_shorts(path("take.wav"), info).size(), 200u);
}

TEST_F(TakeStreamTest, LeftoversOfDeadProcessesAreMendedAndOthersLeftAlone) {
    fs::create_directories(dir_ / "RECORDINGS");
    // A process id that is surely gone: a child that has exited and been reaped.
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    const std::string dead = (dir_ / "RECORDINGS" / (".take-" + std::to_string(child) + "-0.wav")).string();
    // A header that says 0 bytes (the process died before its update) and
    // one second of mono 8 kHz samples plus half a frame.
    auto bytes = pcm16_wav_header({1, 8000}, 0);
    for (int i = 0; i < 8000; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(i & 0xFF));
        bytes.push_back(0);
    }
    bytes.push_back(1);
    std::ofstream(dead, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    // Ours (a running process), an empty dead one and a stranger's file.
    const std::string live = (dir_ / "RECORDINGS" / (".take-" + std::to_string(::getpid()) + "-99.wav")).string();
    std::ofstream(live) << "still recording";
    const std::string empty = (dir_ / "RECORDINGS" / (".take-" + std::to_string(child) + "-1.wav")).string();
    const auto header = pcm16_wav_header({2, 48000}, 0);
    std::ofstream(empty, std::ios::binary).write(reinterpret_cast<const char*>(header.data()), 44);
    std::ofstream(dir_ / "RECORDINGS" / "song.wav") << "x";

    const auto found = leftover_takes((dir_ / "RECORDINGS").string());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].path, dead);
    EXPECT_DOUBLE_EQ(found[0].seconds, 1.0);
    SF_INFO info;
    const auto samples = read_shorts(dead, info);
    ASSERT_EQ(samples.size(), 8000u);
    EXPECT_EQ(samples[257], 1);
    EXPECT_FALSE(fs::exists(empty));
    EXPECT_TRUE(fs::exists(live));
    EXPECT_TRUE(fs::exists(dir_ / "RECORDINGS" / "song.wav"));
}

}  // namespace
}  // namespace tw
