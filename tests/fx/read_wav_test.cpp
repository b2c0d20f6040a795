// Playback wav file: the header reader's edge cases, loading through
// playback.ini, the mixing rows, looping, and the failures a file can cause.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "fx/read_wav.h"
#include "fx/sample_memory.h"
#include "platform/ini_file.h"
#include "platform/program_files.h"
#include "fx/wav_header.h"
#include "fx_test_support.h"
#include "wav_test_support.h"

namespace tw {
namespace {

using test::WavSpec;
using test::wav_bytes;

WavHeaderResult header_of(const std::vector<std::uint8_t>& b) { return read_wav_header(MemorySource(b)); }

TEST(WavHeaderReader, FindsTheDataChunkAsTheSlidingSearchDoes) {
    // The standard 44-byte header.
    auto r = header_of(wav_bytes({.channels = 2, .samples = {1, 2, 3, 4}}));
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.header.fmt_size, 16u);
    EXPECT_EQ(r.header.data_offset, 44);
    EXPECT_EQ(r.header.data_size, 8);
    EXPECT_EQ(r.header.nChannels(), 2);
    EXPECT_EQ(r.header.nSamplesPerSec(), 48000u);
    EXPECT_EQ(r.header.wBitsPerSample(), 16);

    // LIST and fact chunks before the data chunk are slid over.
    const std::string list = std::string("LIST\x0a\0\0\0", 8) + "INFOabcdef";
    const std::string fact = std::string("fact\x04\0\0\0\x10\0\0\0", 12);
    r = header_of(wav_bytes({.samples = {5, 6}, .between = list + fact}));
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.header.data_offset, static_cast<std::int32_t>(44 + list.size() + fact.size()));
    EXPECT_EQ(r.header.data_size, 4);

    // The text "data" inside an earlier chunk is taken as the data chunk.
    const std::string tricky = std::string("LIST\x0c\0\0\0ICMTdata\x02\0\0\0", 20);
    r = header_of(wav_bytes({.samples = {5, 6}, .between = tricky}));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.header.data_offset, 36 + 12 + 8);
    EXPECT_EQ(r.header.data_size, 2);

    // The largest format block, with cbSize read from it.
    WavSpec big{.samples = {1}, .fmt_size = 400};
    auto bytes = wav_bytes(big);
    bytes[20 + 16] = 0x2A;
    r = header_of(bytes);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.header.data_offset, 20 + 400 + 8);
    EXPECT_EQ(r.header.cbSize(), 0x2A);
}

TEST(WavHeaderReader, RefusesWithTheMessageOfEachFault) {
    auto bytes = wav_bytes({.samples = {0}});   // 46 bytes: the smallest accepted
    ASSERT_EQ(bytes.size(), 46u);
    EXPECT_TRUE(header_of(bytes).ok);
    bytes.pop_back();
    auto r = header_of(bytes);
    EXPECT_EQ(r.message, "Too small file! There is no space for WaveFormatEx!");
    EXPECT_TRUE(r.warning);

    EXPECT_EQ(header_of(wav_bytes({.samples = {0, 0}, .fmt_size = 15})).message,
              "Too small size of Wave-Format-Size sructure");
    EXPECT_EQ(header_of(wav_bytes({.samples = {0}, .fmt_size = 401})).message,
              "Too big size of Wave-Format-Size sructure");

    bytes = wav_bytes({.samples = {0, 0}});
    bytes[9] = 'X';   // "WXVEfmt "
    EXPECT_EQ(header_of(bytes).message, "WAVEfmt Substring not found");
    bytes[9] = 'A';
    bytes[8] = 0;     // the text ends at the first byte
    EXPECT_EQ(header_of(bytes).message, "WAVEfmt Substring not found");
    bytes[8] = 'x';
    bytes[15] = 0;    // "xAVEfmt": no match either
    EXPECT_FALSE(header_of(bytes).ok);

    // Attempts 0 .. 50000 are made, not one more.
    auto at_limit = wav_bytes({.samples = {1, 2}, .between = std::string(50000, 'x')});
    r = header_of(at_limit);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.header.data_offset, 36 + 50000 + 8);
    EXPECT_EQ(header_of(wav_bytes({.samples = {1, 2}, .between = std::string(50001, 'x')})).message,
              "data Substring not found");

    // "data" at the very end, without its size.
    bytes = wav_bytes({.samples = {}, .between = std::string(10, 'x')});
    bytes.resize(bytes.size() - 4);
    EXPECT_FALSE(header_of(bytes).ok);
}

TEST(WavHeaderReader, HeadersThatCannotPlayAreNamed) {
    auto r = header_of(wav_bytes({.channels = 0, .samples = {1, 2}}));
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(unplayable_reason(r.header).has_value());
    r = header_of(wav_bytes({.samples = {1, 2}, .declared_data = 0x80000000LL}));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.header.data_size, INT32_MIN);
    EXPECT_TRUE(unplayable_reason(r.header).has_value());
    r = header_of(wav_bytes({.samples = {1, 2}, .declared_data = 0x7FFFFFFF}));
    EXPECT_FALSE(unplayable_reason(r.header).has_value());
}

// The kernel alone: it plays the memory it is handed, looped, keeps its place
// while it has none, and starts again from the first frame on a new start.
TEST(ReadWavKernel, PlaysTheHandedSamplesLoopedAndRestartsOnANewStart) {
    const std::int16_t samples[3] = {10, 20, 30};
    ReadWavKernel k;
    ReadWavKernel::Params p;
    p.play_gain = 2.0f;
    p.samples = samples;
    p.frame_count = 3;
    p.file_channels = 1;
    p.start = 1;
    std::vector<float> buf(4, 1.0f);
    k.process({4, 48000, 1, buf.data()}, p);
    EXPECT_EQ(buf, (std::vector<float>{21, 41, 61, 21}));
    EXPECT_EQ(k.play_position(), 1);
    ReadWavKernel::Params none = p;
    none.samples = nullptr;
    buf.assign(2, 5.0f);
    k.process({1, 48000, 2, buf.data()}, none);
    EXPECT_EQ(buf, (std::vector<float>{5, 5}));
    EXPECT_EQ(k.play_position(), 1);
    k.process({1, 48000, 2, buf.data()}, p);   // the same start: goes on
    EXPECT_EQ(buf, (std::vector<float>{45, 45}));
    p.start = 2;
    buf.assign(1, 0.0f);
    k.process({1, 48000, 1, buf.data()}, p);
    EXPECT_EQ(buf[0], 20.0f);
    EXPECT_EQ(k.play_position(), 1);
}

class ReadWavTest : public test::ScratchFolderTest {
protected:
    // A player created with `w` as the fresh installation's demo1.wav.
    std::unique_ptr<TReadWav> player_of(const WavSpec& w) {
        test::write_bytes(path("demo1.wav"), wav_bytes(w));
        return std::make_unique<TReadWav>();
    }
    // The buffer after one call of `frames` frames over `live`.
    static std::vector<float> mix(TReadWav& p, int channels, std::vector<float> live) {
        p.process(static_cast<int>(live.size()) / channels, 48000, channels, live.data());
        return live;
    }
};

TEST_F(ReadWavTest, AFreshInstallationCreatesPlaybackIniAndPlaysDemo1) {
    auto p = player_of({.samples = {100, -200, 300}});
    platform::IniFile ini(path("playback.ini"));
    ASSERT_TRUE(ini.existed());
    EXPECT_EQ(ini.read_string("File", "Path", ""), path("demo1.wav"));
    EXPECT_NE(p->params.samples, nullptr);
    EXPECT_EQ(p->params.frame_count, 3);
    EXPECT_EQ(p->spSkinMemo1.lines(),
              (std::vector<std::string>{"file name: " + path("demo1.wav"), "Channels=1", "Samples Per Second=48000",
                                        "Bits Per Sample=16", "Data Size =6", "Read from file: 6 bytes.", ""}));
    EXPECT_EQ(mix(*p, 1, {1, 1, 1, 1}), (std::vector<float>{101, -199, 301, 101}));
    EXPECT_TRUE(shown().empty());
}

TEST_F(ReadWavTest, APathMissingFromPlaybackIniReadsErrorAndNothingPlays) {
    test::write_bytes(path("demo1.wav"), wav_bytes({.samples = {5}}));
    std::ofstream(path("playback.ini")) << "[File]\nOther=1\n";
    TReadWav p;
    EXPECT_EQ(p.params.samples, nullptr);
    EXPECT_TRUE(p.wav_name.empty());
    EXPECT_TRUE(p.spSkinMemo1.lines().empty());
    // "ERROR" is no file, and playback.ini is left as it was.
    EXPECT_EQ(platform::IniFile(path("playback.ini")).read_string("File", "Path", "ERROR"), "ERROR");
    EXPECT_EQ(mix(p, 1, {7}), std::vector<float>{7});
    // A path to a file that is gone is named, in a warning and in the memo.
    std::ofstream(path("playback.ini")) << "[File]\nPath=" << path("gone.wav") << "\n";
    TReadWav q;
    const std::string text = "The backing track " + path("gone.wav") + " is missing, so nothing plays.";
    EXPECT_EQ(shown(), std::vector<std::string>{text});
    EXPECT_EQ(q.spSkinMemo1.lines(), std::vector<std::string>{text});
    EXPECT_EQ(q.params.samples, nullptr);
}

TEST_F(ReadWavTest, EveryPairingOfBufferAndFileChannelsMixesItsRow) {
    const double k = 0.707;
    {   // mono buffer, stereo file: (L + R) summed as integers, times 0.707
        auto p = player_of({.channels = 2, .samples = {100, 51, -30, -40}});
        const auto out = mix(*p, 1, {1, 1});
        EXPECT_EQ(out[0], static_cast<float>(1 + 151 * k));
        EXPECT_EQ(out[1], static_cast<float>(1 - 70 * k));
        EXPECT_NE(out[0], static_cast<float>(1 + 151 / std::sqrt(2.0)));
    }
    {   // mono buffer, three channels: the first two of each frame
        auto p = player_of({.channels = 3, .samples = {10, 20, 30, 40, 50, 60}});
        ASSERT_EQ(p->params.frame_count, 2);
        EXPECT_EQ(mix(*p, 1, {0, 0}), (std::vector<float>{static_cast<float>(30 * k), static_cast<float>(90 * k)}));
    }
    {   // stereo buffer, stereo file
        auto p = player_of({.channels = 2, .samples = {100, -200, 300, -400}});
        EXPECT_EQ(mix(*p, 2, {1, 2, 3, 4, 5, 6}), (std::vector<float>{101, -198, 303, -396, 105, -194}));
    }
    {   // stereo buffer, mono file: both channels gain the same sample
        auto p = player_of({.channels = 1, .samples = {100, -200}});
        EXPECT_EQ(mix(*p, 2, {0, 0, 0, 0, 1, 1}), (std::vector<float>{100, 100, -200, -200, 101, 101}));
    }
    {   // stereo buffer, three channels: the first two as left and right
        auto p = player_of({.channels = 3, .samples = {7, 8, 9, 10, 11, 12}});
        ASSERT_EQ(p->params.frame_count, 2);
        EXPECT_EQ(mix(*p, 2, {0, 0, 0, 0, 0, 0}), (std::vector<float>{7, 8, 10, 11, 7, 8}));
    }
}

TEST_F(ReadWavTest, TheGainBarRunsFromElevenToOneEleventh) {
    auto p = player_of({.samples = {1100}});
    p->spSkinScrollBar1.set_position(0);
    EXPECT_EQ(p->params.play_gain, 11.0f);
    EXPECT_EQ(mix(*p, 1, {0}), std::vector<float>{12100});
    p->spSkinScrollBar1.set_position(100);
    EXPECT_EQ(p->params.play_gain, static_cast<float>(1.0 / 11.0));
    p->spSkinScrollBar1.set_position(50);
    EXPECT_EQ(p->params.play_gain, 1.0f);
}

TEST_F(ReadWavTest, TheFileLoopsAcrossCallsAndACancelledDialogRestartsIt) {
    auto p = player_of({.samples = {1, 2, 3}});
    EXPECT_EQ(mix(*p, 1, std::vector<float>(7, 0)), (std::vector<float>{1, 2, 3, 1, 2, 3, 1}));
    EXPECT_EQ(mix(*p, 1, std::vector<float>(2, 0)), (std::vector<float>{2, 3}));
    EXPECT_EQ(mix(*p, 1, std::vector<float>(1, 0)), (std::vector<float>{1}));
    p->spSkinButton1.click();   // the headless dialog answers "cancelled"
    ASSERT_EQ(svc.dialogs.requests().size(), 1u);
    EXPECT_EQ(svc.dialogs.requests()[0].title, "Open file");
    EXPECT_EQ(svc.dialogs.requests()[0].filter, "wav|*.wav");
    EXPECT_NE(p->params.samples, nullptr);
    EXPECT_EQ(mix(*p, 1, std::vector<float>(2, 0)), (std::vector<float>{1, 2}));
    test::expect_long_buffers_run_in_passes<TReadWav>();
}

TEST_F(ReadWavTest, TheOpenedFileIsRememberedForLaterInstances) {
    auto p = player_of({.samples = {1}});
    test::write_bytes(path("take.wav"), wav_bytes({.samples = {9, 8}}));
    svc.dialogs.push_answer(path("take.wav"));
    p->spSkinButton1.click();
    EXPECT_EQ(mix(*p, 1, {0, 0}), (std::vector<float>{9, 8}));
    EXPECT_EQ(platform::IniFile(path("playback.ini")).read_string("File", "Path", ""), path("take.wav"));
    TReadWav later;
    EXPECT_EQ(later.wav_name, path("take.wav"));
    EXPECT_EQ(mix(later, 1, {0}), std::vector<float>{9});
}

TEST_F(ReadWavTest, AFileThatCannotBeWrittenStillPlays) {
    // The running test program cannot be opened for writing, not even by
    // root; opened for reading it gets as far as its (missing) header.
    auto p = player_of({.samples = {1}});
    svc.dialogs.push_answer(platform::executable_folder() + "/fx_tests");
    p->spSkinButton1.click();
    EXPECT_EQ(shown(), (std::vector<std::string>{"WAVEfmt Substring not found", "Error: wrong wav file format."}));
    // A read-only WAV file plays.
    test::write_bytes(path("ro.wav"), wav_bytes({.samples = {4}}));
    ASSERT_EQ(::chmod(path("ro.wav").c_str(), 0444), 0);
    svc.dialogs.push_answer(path("ro.wav"));
    p->spSkinButton1.click();
    EXPECT_EQ(mix(*p, 1, {0}), std::vector<float>{4});
}

TEST_F(ReadWavTest, FaultyFilesAreRefusedAndSilenceThePreviousOne) {
    auto p = player_of({.samples = {1}});
    const auto try_file = [&](const std::vector<std::uint8_t>& bytes) {
        svc.messages.clear();
        test::write_bytes(path("bad.wav"), bytes);
        svc.dialogs.push_answer(path("bad.wav"));
        p->spSkinButton1.click();
        EXPECT_EQ(p->params.samples, nullptr);
        EXPECT_EQ(mix(*p, 1, {3}), std::vector<float>{3});
        return shown();
    };
    EXPECT_EQ(try_file({1, 2, 3}),
              (std::vector<std::string>{"Too small file! There is no space for WaveFormatEx!",
                                        "Error: wrong wav file format."}));
    EXPECT_TRUE(svc.messages.shown()[0].warning);
    auto msgs = try_file(wav_bytes({.channels = 0, .samples = {1, 2}}));
    ASSERT_EQ(msgs.size(), 2u);
    EXPECT_EQ(msgs[1], "Error: wrong wav file format.");
    msgs = try_file(wav_bytes({.samples = {1, 2}, .declared_data = 0x80000000LL}));
    ASSERT_EQ(msgs.size(), 2u);
    EXPECT_EQ(msgs[1], "Error: wrong wav file format.");
    // More samples than the memory may hold.
    set_sample_memory_limit(64);
    msgs = try_file(wav_bytes({.samples = std::vector<std::int16_t>(100, 1)}));
    set_sample_memory_limit(0);
    EXPECT_EQ(msgs, std::vector<std::string>{"Error: Out of memory, use smaller wav file or add RAM to your PC!"});
    // A missing file.
    svc.dialogs.push_answer(path("gone.wav"));
    svc.messages.clear();
    p->spSkinButton1.click();
    EXPECT_EQ(shown(), (std::vector<std::string>{"File access error", "Error: wrong wav file format."}));
}

TEST_F(ReadWavTest, ADataSizePastTheFileIsCutToWhatTheFileHolds) {
    // 8 bytes declared, 4 present: the loop is the two frames there are.
    auto p = player_of({.samples = {5, 6}, .declared_data = 8});
    EXPECT_EQ(p->params.frame_count, 2);
    EXPECT_EQ(p->spSkinMemo1.lines()[4], "Data Size =8");
    EXPECT_EQ(p->spSkinMemo1.lines()[5], "Read from file: 4 bytes.");
    EXPECT_EQ(mix(*p, 1, {0, 0, 0, 0, 0}), (std::vector<float>{5, 6, 5, 6, 5}));
    // A 19 KB file that declares 2 GB loads in memory for its 19 KB.
    set_sample_memory_limit(std::int64_t{1} << 20);
    std::vector<std::int16_t> s(9600);
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<std::int16_t>(i);
    auto big = player_of({.channels = 2, .samples = s, .declared_data = 0x7FFFFFFF});
    set_sample_memory_limit(0);
    EXPECT_TRUE(shown().empty());
    EXPECT_EQ(big->params.frame_count, 4800);
    EXPECT_EQ(mix(*big, 2, {0, 0, 0, 0}), (std::vector<float>{0, 1, 2, 3}));
    auto empty = player_of({.channels = 2, .samples = {7}});
    EXPECT_EQ(empty->params.frame_count, 0);
    EXPECT_EQ(mix(*empty, 2, {1, 2}), (std::vector<float>{1, 2}));
}

// Reloading while an audio thread plays: the old memory is released only
// after no buffer can still read it (the sanitizer builds catch a miss).
TEST_F(ReadWavTest, ReloadingWhileTheAudioThreadPlaysNeverReadsFreedMemory) {
    std::vector<std::int16_t> s(4096);
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<std::int16_t>(i);
    auto p = player_of({.channels = 2, .samples = s});
    std::atomic<bool> stop{false};
    std::atomic<long> calls{0};
    std::thread audio([&] {
        std::vector<float> buf(2 * 256);
        while (!stop.load()) {
            std::fill(buf.begin(), buf.end(), 0.0f);
            p->process(256, 48000, 2, buf.data());
            calls.fetch_add(1);
        }
    });
    for (int i = 0; i < 40; ++i) p->spSkinButton1.click();   // cancelled: reloads the same file
    while (calls.load() < 10) std::this_thread::yield();
    stop.store(true);
    audio.join();
    EXPECT_NE(p->params.samples, nullptr);
    EXPECT_TRUE(shown().empty());
}

}  // namespace
}  // namespace tw
