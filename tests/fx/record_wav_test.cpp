// Record wav: counts at the capacity edge, the sample conversion, the file
// written (read back with libsndfile), pause/continue, the signal watch, and
// saves that are cancelled or fail.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/resource.h>

#include <atomic>
#include <csignal>
#include <cmath>
#include <thread>

#include "engine/le_bytes.h"
#include "fx/record_wavs.h"
#include "fx/sample_memory.h"
#include "wav_test_support.h"

namespace tw {
namespace {

std::vector<std::uint8_t> slurp(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class RecordWavTest : public test::ScratchFolderTest {
protected:
    void feed(TRecord_wav_form& r, int frames, int channels, int rate = 48000, float value = 100.0f) {
        std::vector<float> buf(static_cast<std::size_t>(frames * channels), value);
        r.process(frames, rate, channels, buf.data());
    }
    void feed_ramp(TRecord_wav_form& r, int frames, int channels, int rate, int start = 0) {
        std::vector<float> buf(static_cast<std::size_t>(frames * channels));
        for (std::size_t i = 0; i < buf.size(); ++i) buf[i] = static_cast<float>(start + static_cast<int>(i));
        r.process(frames, rate, channels, buf.data());
    }
    // File size limit for this process (writes beyond it fail), restored by the caller.
    static void limit_file_size(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit l{};
        getrlimit(RLIMIT_FSIZE, &l);
        l.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &l);
    }
    static void unlimit_file_size() {
        rlimit l{};
        getrlimit(RLIMIT_FSIZE, &l);
        l.rlim_cur = l.rlim_max;
        setrlimit(RLIMIT_FSIZE, &l);
        std::signal(SIGXFSZ, SIG_DFL);
    }
};

TEST(RecordSample, ClipsAtPlusMinus32000AndRoundsTiesToEven) {
    EXPECT_EQ(record_sample(40000.0f), 32000);
    EXPECT_EQ(record_sample(-40000.0f), -32000);
    EXPECT_EQ(record_sample(32767.0f), 32000);
    EXPECT_EQ(record_sample(-32000.5f), -32000);
    EXPECT_EQ(record_sample(2.5f), 2);
    EXPECT_EQ(record_sample(3.5f), 4);
    EXPECT_EQ(record_sample(-2.5f), -2);
    EXPECT_EQ(record_sample(-3.5f), -4);
    EXPECT_EQ(record_sample(31999.5f), 32000);
    EXPECT_EQ(record_sample(1.4f), 1);
    EXPECT_EQ(record_sample(std::nanf("")), -32000);
}

// The kernel alone: it notes every block's format, stores only while
// recording into the memory it is handed, and stops four samples short of a
// stereo capacity.
TEST(RecordWavKernel, StoresIntoTheHandedMemoryAndNotesEveryBlock) {
    std::vector<std::int16_t> memory(10, 7);
    RecordWavKernel k;
    RecordWavKernel::Params p;
    p.rec_buffer = memory.data();
    p.rec_capacity = 10;
    std::vector<float> buf = {1.4f, -2.5f, 40000.0f, 3.5f};
    k.process({2, 44100, 2, buf.data()}, p);
    EXPECT_EQ(k.rec_count(), 0);
    EXPECT_EQ(k.signal_seen(), 1);
    EXPECT_EQ(k.rec_channels(), 2);
    EXPECT_EQ(k.rec_rate(), 44100);
    p.recording = true;
    for (int i = 0; i < 3; ++i) k.process({2, 44100, 2, buf.data()}, p);
    EXPECT_EQ(k.rec_count(), 6);   // from n = 6 = 10 - 4 on, no stereo frame fits
    EXPECT_EQ(memory, (std::vector<std::int16_t>{1, -2, 32000, 4, 1, -2, 7, 7, 7, 7}));
    EXPECT_EQ(buf[2], 40000.0f);   // the block passes unchanged
    k.clear_signal_seen();
    k.process({1, 32000, 1, buf.data()}, p);
    EXPECT_EQ(k.rec_count(), 7);
    EXPECT_EQ(memory[6], 1);
    EXPECT_EQ(k.rec_channels(), 1);
    EXPECT_EQ(k.last_rate(), 32000);
    EXPECT_EQ(k.signal_seen(), 1);
}

TEST_F(RecordWavTest, CountsGrowPerSampleAndStopShortOfTheCapacity) {
    TRecord_wav_form r;
    EXPECT_EQ(r.params.rec_capacity, 480000);
    feed(r, 4, 1);
    EXPECT_EQ(r.kernel().rec_count(), 0);   // not recording: nothing stored
    r.Button_Save.click();
    ASSERT_TRUE(r.params.recording);
    feed(r, 4, 1);
    EXPECT_EQ(r.kernel().rec_count(), 4);
    feed(r, 4, 2);
    EXPECT_EQ(r.kernel().rec_count(), 12);
    // A fresh instance records up to 480000 samples, whatever the list shows.
    for (int i = 0; i < 250; ++i) feed(r, 2000, 1);
    EXPECT_EQ(r.kernel().rec_count(), 480000 - 2);

    // The 200 KB buffer: mono stops two samples short, stereo four.
    TRecord_wav_form small;
    small.ComboBox_Memory.set_item_index(1);
    small.ComboBox_Memory.set_item_index(0);
    ASSERT_EQ(small.params.rec_capacity, 100000);
    small.Button_Save.click();
    feed(small, 99997, 1);
    EXPECT_EQ(small.kernel().rec_count(), 99997);
    feed(small, 5, 1);
    EXPECT_EQ(small.kernel().rec_count(), 99998);
    // While the chain runs, the timer enables Start again; pressing it starts anew.
    svc.timers.advance(100);
    feed(small, 1, 1);
    svc.timers.advance(100);
    small.Button_Save.click();
    EXPECT_EQ(small.kernel().rec_count(), 0);
    feed(small, 60000, 2);
    EXPECT_EQ(small.kernel().rec_count(), 99996);
    svc.timers.advance(100);
    EXPECT_EQ(small.Gauge1.progress(), 100);
}

TEST_F(RecordWavTest, TheSavedFileHasTheHeaderSizesOfWhatWasWritten) {
    TRecord_wav_form r;
    r.Button_Save.click();
    feed_ramp(r, 600, 2, 44100, -600);
    r.Button_Pause.click();                    // paused: not stored
    EXPECT_EQ(r.Button_Pause.caption(), "Continue");
    feed(r, 300, 2, 44100, 5.0f);
    r.Button_Pause.click();
    EXPECT_EQ(r.Button_Pause.caption(), "Pause");
    feed_ramp(r, 400, 2, 44100, 600);
    ASSERT_EQ(r.kernel().rec_count(), 2000);

    svc.dialogs.push_answer(path("take.wav"));
    r.Button_Stop_and_Save.click();
    ASSERT_EQ(svc.dialogs.requests().back().title, "Save wav file");
    EXPECT_EQ(svc.dialogs.requests().back().filter, "wav files|*.wav");
    const auto b = slurp(path("take.wav"));
    ASSERT_EQ(b.size(), 4044u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(load_le32(&b[4]), 4036u);
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(load_le32(&b[16]), 16u);
    EXPECT_EQ(load_le16(&b[20]), 1);
    EXPECT_EQ(load_le16(&b[22]), 2);
    EXPECT_EQ(load_le32(&b[24]), 44100u);
    EXPECT_EQ(load_le32(&b[28]), 4u * 44100u);
    EXPECT_EQ(load_le16(&b[32]), 4);
    EXPECT_EQ(load_le16(&b[34]), 16);
    EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
    EXPECT_EQ(load_le32(&b[40]), 4000u);

    SF_INFO info{};
    SNDFILE* f = sf_open(path("take.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(info.frames, 1000);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplerate, 44100);
    std::vector<short> s(2000);
    EXPECT_EQ(sf_readf_short(f, s.data(), 1000), 1000);
    sf_close(f);
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(s[static_cast<std::size_t>(i)], i - 600) << i;

    // Back to idle: the take is gone, the list may be changed again.
    EXPECT_EQ(r.kernel().rec_count(), 0);
    EXPECT_TRUE(r.Button_Save.enabled());
    EXPECT_FALSE(r.Button_Pause.enabled());
    EXPECT_FALSE(r.Button_Stop_and_Save.enabled());
    EXPECT_TRUE(r.ComboBox_Memory.enabled());
    EXPECT_TRUE(shown().empty());
}

TEST_F(RecordWavTest, ACancelledOrFailedSaveKeepsTheTakeAndTheOldFile) {
    TRecord_wav_form r;
    r.Button_Save.click();
    feed(r, 500, 1);
    r.Button_Stop_and_Save.click();   // the headless dialog cancels
    EXPECT_EQ(r.kernel().rec_count(), 500);
    EXPECT_FALSE(r.params.recording);
    EXPECT_TRUE(r.Button_Stop_and_Save.enabled());
    r.Button_Pause.click();           // Pause resumes the cancelled take
    feed(r, 10, 1);
    EXPECT_EQ(r.kernel().rec_count(), 510);

    test::write_bytes(path("old.wav"), {'o', 'l', 'd'});
    // The header cannot be written: nothing replaces the old file.
    limit_file_size(20);
    svc.dialogs.push_answer(path("old.wav"));
    r.Button_Stop_and_Save.click();
    unlimit_file_size();
    EXPECT_EQ(shown(), std::vector<std::string>{"Error! Can NOT Rewrite Out wav"});
    EXPECT_EQ(slurp(path("old.wav")), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(r.kernel().rec_count(), 510);
    EXPECT_TRUE(r.Button_Stop_and_Save.enabled());
    EXPECT_FALSE(r.ComboBox_Memory.enabled());

    // A folder cannot be opened as the target.
    svc.messages.clear();
    svc.dialogs.push_answer(dir_.string());
    r.Button_Stop_and_Save.click();
    EXPECT_EQ(shown(), std::vector<std::string>{"Error! Can NOT open Out wav"});
    EXPECT_EQ(r.kernel().rec_count(), 510);
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) files += e.is_regular_file();
    EXPECT_EQ(files, 1);   // old.wav only: no temporary file is left behind
}

TEST_F(RecordWavTest, AShortWriteLeavesTheEarlierFileAndKeepsTheTake) {
    TRecord_wav_form r;
    r.Button_Save.click();
    feed_ramp(r, 1000, 2, 48000);
    test::write_bytes(path("take.wav"), {'o', 'l', 'd'});
    limit_file_size(44 + 1002);   // the disk fills up in the middle of the samples
    svc.dialogs.push_answer(path("take.wav"));
    r.Button_Stop_and_Save.click();
    unlimit_file_size();
    EXPECT_EQ(shown(), std::vector<std::string>{
                           "Error during recording into wav file, may be there is no enough free space on hard disk"});
    EXPECT_EQ(slurp(path("take.wav")), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) files += e.is_regular_file();
    EXPECT_EQ(files, 1);   // no temporary file is left behind
    EXPECT_EQ(r.kernel().rec_count(), 2000);
    EXPECT_TRUE(r.Button_Stop_and_Save.enabled());
    // With room again, the same take saves whole.
    svc.dialogs.push_answer(path("take.wav"));
    r.Button_Stop_and_Save.click();
    EXPECT_EQ(slurp(path("take.wav")).size(), 44u + 4000u);
    EXPECT_EQ(r.kernel().rec_count(), 0);
}

TEST_F(RecordWavTest, TheTimerJudgesTheSignalEvery200Milliseconds) {
    TRecord_wav_form r;
    EXPECT_EQ(svc.timers.live_timers(), 1u);
    feed(r, 64, 2, 44100);
    svc.timers.advance(100);   // phase 0: clears the flag
    EXPECT_EQ(r.Label1.caption(), "no signals");
    feed(r, 64, 2, 44100);
    svc.timers.advance(100);   // phase 1: the chain called this slot
    EXPECT_EQ(r.Label1.caption(), "Signals detected : stereo  44.1 kHz");
    r.Button_Save.click();
    feed(r, 2400, 2, 44100);
    svc.timers.advance(100);
    EXPECT_EQ(r.Gauge1.progress(), 1);   // 4800 of 480000
    feed(r, 64, 1, 32075);
    svc.timers.advance(100);
    EXPECT_EQ(r.Label1.caption(), "Signals detected : mono  32.075 kHz");
    EXPECT_TRUE(r.Button_Save.enabled());   // enabled again while recording
    // The audio stops: within 200 ms the recording ends and the buttons go,
    // except Stop and Save, which still saves the take held in memory.
    svc.timers.advance(200);
    EXPECT_EQ(r.Label1.caption(), "no signals");
    EXPECT_FALSE(r.params.recording);
    EXPECT_FALSE(r.Button_Save.enabled());
    EXPECT_FALSE(r.Button_Pause.enabled());
    EXPECT_TRUE(r.Button_Stop_and_Save.enabled());
    EXPECT_EQ(r.kernel().rec_count(), 4864);
    svc.dialogs.push_answer(path("after_stop.wav"));
    r.Button_Stop_and_Save.click();
    EXPECT_EQ(slurp(path("after_stop.wav")).size(), 44u + 2u * 4864u);
    EXPECT_EQ(r.kernel().rec_count(), 0);
    // With nothing held and no signal, nothing is offered.
    svc.timers.advance(200);
    EXPECT_FALSE(r.Button_Stop_and_Save.enabled());
}

TEST_F(RecordWavTest, WithoutMemoryStartRecordingRefuses) {
    TRecord_wav_form r;
    set_sample_memory_limit(1000);
    r.ComboBox_Memory.set_item_index(3);
    set_sample_memory_limit(0);
    EXPECT_EQ(r.rec_bytes, 0);
    EXPECT_EQ(shown(), std::vector<std::string>{"Error: out of memory, use smaller buffer or add RAM to your PC!"});
    r.Button_Save.click();
    EXPECT_FALSE(r.params.recording);
    EXPECT_EQ(shown().back(), "Error: memory for wav recording buffer was not allocated");
    feed(r, 100, 2);
    EXPECT_EQ(r.kernel().rec_count(), 0);
    // An item that exists again gives memory again.
    r.ComboBox_Memory.set_item_index(7);
    EXPECT_EQ(r.params.rec_capacity, 36000000);
    r.Button_Save.click();
    feed(r, 100, 2);
    EXPECT_EQ(r.kernel().rec_count(), 200);
}

// The audio thread records while the UI restarts, saves and resizes: the
// memory is replaced only when no buffer can still write into it.
TEST_F(RecordWavTest, TheUiNeverPullsMemoryFromUnderTheAudioThread) {
    TRecord_wav_form r;
    std::atomic<bool> stop{false};
    std::atomic<long> calls{0};
    std::thread audio([&] {
        std::vector<float> buf(2 * 128, 1000.0f);
        while (!stop.load()) {
            r.process(128, 48000, 2, buf.data());
            calls.fetch_add(1);
        }
    });
    for (int i = 0; i < 20; ++i) {
        r.Button_Save.click();
        const long seen = calls.load();
        while (calls.load() < seen + 3) std::this_thread::yield();
        svc.dialogs.push_answer(path("t.wav"));
        r.Button_Stop_and_Save.click();
        r.ComboBox_Memory.set_item_index(i % 2);
    }
    stop.store(true);
    audio.join();
    EXPECT_TRUE(shown().empty());
    SF_INFO info{};
    SNDFILE* f = sf_open(path("t.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    EXPECT_GE(info.frames, 3 * 128);
    sf_close(f);
}

}  // namespace
}  // namespace tw
