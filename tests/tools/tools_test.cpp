// The command-line tools run as a user runs them: generated WAV files in,
// files and exit codes out.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <sndfile.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "fx/kinds.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// A kind that is listed but not built yet (its row keeps raw words), or ""
// once every kind is built.
std::string unbuilt_kind_name() {
    for (const tw::KindDecl& d : tw::kind_decls())
        if (!d.built() && !d.stores_nothing) return d.name;
    return "";
}

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

class ToolsTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("tw_tools_test_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    // Runs a tool; returns its exit code, keeps stdout and stderr.
    int run(const std::string& exe, const std::vector<std::string>& args) {
        std::string cmd = exe.find('/') == std::string::npos ? exe : quote(exe);
        for (const auto& a : args) cmd += " " + quote(a);
        cmd += " > " + quote(path("stdout.txt")) + " 2> " + quote(path("stderr.txt")) + " < /dev/null";
        const int rc = std::system(cmd.c_str());
        out_ = slurp(path("stdout.txt"));
        err_ = slurp(path("stderr.txt"));
        fs::remove(path("stdout.txt"));
        fs::remove(path("stderr.txt"));
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }
    int render(const std::vector<std::string>& args) { return run(TW_RENDER_EXE, args); }
    int preset(const std::vector<std::string>& args) { return run(TW_PRESET_EXE, args); }
    // tonewarp-live on the built-in devices only, stopped by `timeout` if it would run on.
    int live(std::vector<std::string> args) {
        args.insert(args.begin(), {"20", TW_LIVE_EXE, "--no-system"});
        return run("timeout", args);
    }

    static std::string slurp(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    // A 16-bit PCM WAV of the given interleaved integer samples.
    static void write_pcm16(const std::string& p, int rate, int channels, const std::vector<short>& s) {
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* f = sf_open(p.c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
        ASSERT_EQ(sf_write_short(f, s.data(), static_cast<sf_count_t>(s.size())), static_cast<sf_count_t>(s.size()));
        sf_close(f);
    }
    static void write_float(const std::string& p, int rate, int channels, const std::vector<float>& s) {
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        SNDFILE* f = sf_open(p.c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
        ASSERT_EQ(sf_write_float(f, s.data(), static_cast<sf_count_t>(s.size())), static_cast<sf_count_t>(s.size()));
        sf_close(f);
    }
    struct Audio {
        SF_INFO info{};
        std::vector<float> samples;
    };
    static Audio read_audio(const std::string& p) {
        Audio a;
        SNDFILE* f = sf_open(p.c_str(), SFM_READ, &a.info);
        EXPECT_NE(f, nullptr) << p;
        if (f == nullptr) return a;
        a.samples.resize(static_cast<std::size_t>(a.info.frames * a.info.channels));
        sf_read_float(f, a.samples.data(), static_cast<sf_count_t>(a.samples.size()));
        sf_close(f);
        return a;
    }
    // A test signal: integers over most of the 16-bit range, different per channel.
    static std::vector<short> signal(int frames, int channels) {
        std::vector<short> s(static_cast<std::size_t>(frames) * channels);
        for (int i = 0; i < frames; ++i)
            for (int c = 0; c < channels; ++c) s[i * channels + c] = static_cast<short>(((i * 37 + c * 911) % 5001) - 2500);
        return s;
    }
    // Builds a preset with the preset tool from a JSON form.
    void make_preset(const std::string& p, const json& j) {
        std::ofstream(path("preset.json")) << j.dump();
        ASSERT_EQ(preset({"build", path("preset.json"), p}), 0) << err_;
    }
    static json gain_row(int row, bool on, int mono, int left, int right, bool air, bool chorus, int chorus_pos) {
        return {{"row", row},
                {"kind", "Gain"},
                {"on", on},
                {"params",
                 {{"ScrollBar_Gain_Mono", mono},
                  {"ScrollBar_Gain_Left", left},
                  {"ScrollBar_Gain_Right", right},
                  {"CheckRadioBox_Air", air},
                  {"RadioBox_SimpleChorus", chorus},
                  {"ScrollBar_SimpleChorus", chorus_pos}}}};
    }
    // Starts a program with stdout/stderr in spawn_out.txt / spawn_err.txt.
    pid_t spawn(const std::vector<std::string>& argv) {
        const std::string out = path("spawn_out.txt"), err = path("spawn_err.txt");
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDOUT_FILENO);
            ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
            ::dup2(::open("/dev/null", O_RDONLY), STDIN_FILENO);
            // As from a terminal, even if this test was started ignoring some (a tool keeps such ignores).
            for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGALRM, SIGUSR1}) ::signal(sig, SIG_DFL);
            std::vector<char*> args;
            for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            ::execv(args[0], args.data());
            ::_exit(127);
        }
        return pid;
    }
    // Waits (at most 10 s) until a thread of the process has blocked SIGINT,
    // i.e. the tool takes its stop signals itself and a signal can no longer
    // end it by default. (The thread waiting in sigtimedwait shows it
    // unblocked meanwhile.)
    static void wait_until_signals_blocked(pid_t pid) {
        const fs::path tasks = "/proc/" + std::to_string(pid) + "/task";
        for (int i = 0; i < 1000; ++i) {
            std::error_code ec;
            for (const auto& t : fs::directory_iterator(tasks, ec)) {
                std::ifstream status(t.path() / "status");
                std::string line;
                while (std::getline(status, line))
                    if (line.rfind("SigBlk:", 0) == 0 && (std::stoull(line.substr(7), nullptr, 16) >> (SIGINT - 1) & 1u))
                        return;
            }
            ::usleep(10000);
        }
    }
    // Its exit code, or -1 when it had to be killed after `seconds` or died of a signal.
    static int wait_bounded(pid_t pid, int seconds) {
        int status = 0;
        for (int i = 0; i < seconds * 100; ++i) {
            if (::waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            ::usleep(10000);
        }
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return -1;
    }
    std::vector<std::string> files_in_dir() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_;
    std::string out_, err_;
};

// A backing track from --home mixed in by "Playback wav file", and the
// "Record wav" after it saving what passed it only when asked to.
TEST_F(ToolsTest, RenderPlaysTheBackingTrackAndReportsOrSavesTheTake) {
    fs::create_directories(path("home"));
    write_pcm16(path("home/demo1.wav"), 48000, 2, signal(300, 2));
    write_pcm16(path("in.wav"), 48000, 2, std::vector<short>(2 * 1000, 10));
    make_preset(path("wav.pre"), {{"rows",
                                   {{{"row", 1}, {"kind", "Playback wav file"}, {"on", true}},
                                    {{"row", 2}, {"kind", "Record wav"}, {"on", true}}}}});
    ASSERT_EQ(render({"--home", path("home"), "--preset", path("wav.pre"), path("in.wav"), path("out.wav")}), 0)
        << err_;
    EXPECT_NE(err_.find("row 2 (Record wav) recorded 0.02 s; the take was not saved"), std::string::npos) << err_;
    EXPECT_FALSE(fs::exists(path("out.take2.wav")));
    EXPECT_TRUE(fs::exists(path("home/playback.ini")));
    const auto backing = signal(300, 2);
    const Audio out = read_audio(path("out.wav"));
    ASSERT_EQ(out.samples.size(), 2000u);
    for (std::size_t i = 0; i < out.samples.size(); ++i)
        ASSERT_FLOAT_EQ(out.samples[i] * 32768.0f, 10.0f + backing[i % backing.size()]) << i;

    ASSERT_EQ(render({"--home", path("home"), "--preset", path("wav.pre"), "--save-takes", path("in.wav"),
                      path("out.wav")}),
              0)
        << err_;
    const Audio take = read_audio(path("out.take2.wav"));
    EXPECT_EQ(take.info.channels, 2);
    EXPECT_EQ(take.info.samplerate, 48000);
    ASSERT_EQ(take.samples.size(), out.samples.size());
    for (std::size_t i = 0; i < take.samples.size(); ++i) ASSERT_EQ(take.samples[i], out.samples[i]) << i;

    // Takes only beside a file: no stray "/dev/null.take2.wav".
    EXPECT_NE(render({"--home", path("home"), "--preset", path("wav.pre"), "--save-takes", path("in.wav"),
                      "/dev/null"}),
              0);
    EXPECT_NE(err_.find("OUTPUT must be a file"), std::string::npos) << err_;
    EXPECT_FALSE(fs::exists("/dev/null.take2.wav"));
    // A take that cannot be saved (a folder in the way) fails the run.
    fs::remove(path("out.take2.wav"));
    fs::create_directory(path("out.take2.wav"));
    EXPECT_EQ(render({"--home", path("home"), "--preset", path("wav.pre"), "--save-takes", path("in.wav"),
                      path("out.wav")}),
              1);
    EXPECT_NE(err_.find("not every take"), std::string::npos) << err_;
}

// kill -9 in the middle of a take: the take streamed so far stays on disk
// as a playable WAV and the next start keeps it under a visible name.
TEST_F(ToolsTest, AKilledRenderLeavesItsTakeAndTheNextStartKeepsIt) {
    fs::create_directories(path("home"));
    make_preset(path("rec.pre"), {{"rows", {{{"row", 1}, {"kind", "Record wav"}, {"on", true}}}}});
    // A WAV through a pipe at twice real time: 48 kHz stereo, 9600 frames every 100 ms.
    const std::string feeder =
        "import struct,sys,time\n"
        "o=sys.stdout.buffer\n"
        "o.write(b'RIFF'+struct.pack('<I',0xFFFFFFFF)+b'WAVEfmt '+struct.pack('<IHHIIHH',16,1,2,48000,192000,4,16)"
        "+b'data'+struct.pack('<I',0xFFFFFFFF))\n"
        "block=struct.pack('<hh',1000,-1000)*9600\n"
        "for i in range(200):\n"
        "    o.write(block); o.flush(); time.sleep(0.1)\n";
    std::ofstream(path("feed.py")) << feeder;
    const std::string cmd = "/usr/bin/python3 " + quote(path("feed.py")) + " | " + quote(TW_RENDER_EXE) +
                            " --home " + quote(path("home")) + " --preset " + quote(path("rec.pre")) +
                            " /dev/stdin " + quote(path("out.wav")) + " > /dev/null 2>&1 & echo $! > " +
                            quote(path("pid"));
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));   // about 7 s of the take
    std::string pid = slurp(path("pid"));
    while (!pid.empty() && (pid.back() == '\n' || pid.back() == ' ')) pid.pop_back();
    ASSERT_EQ(std::system(("kill -9 " + pid + "; sleep 0.2; pkill -f \"^/usr/bin/python3 " + path("feed.py") + "\"; true").c_str()), 0);
    std::vector<fs::path> hidden;
    for (const auto& e : fs::directory_iterator(path("home/RECORDINGS")))
        if (e.path().filename().string().rfind(".take-", 0) == 0) hidden.push_back(e.path());
    ASSERT_EQ(hidden.size(), 1u);
    // Playable as it is, header sizes from the last second included.
    const Audio left = read_audio(hidden[0].string());
    EXPECT_EQ(left.info.channels, 2);
    EXPECT_GE(left.info.frames, 4 * 48000);
    EXPECT_FLOAT_EQ(left.samples[0], 1000.0f / 32768.0f);

    ASSERT_EQ(live({"--home", path("home"), "--seconds", "0.2"}), 0) << err_;
    EXPECT_NE(err_.find("is kept as " + path("home/RECORDINGS") + "/Recovered take "), std::string::npos) << err_;
    std::vector<fs::path> kept;
    for (const auto& e : fs::directory_iterator(path("home/RECORDINGS"))) kept.push_back(e.path());
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_GE(read_audio(kept[0].string()).info.frames, left.info.frames);
}

TEST_F(ToolsTest, EmptyChainPassesSamplesThroughExactly) {
    const auto in = signal(3000, 2);
    write_pcm16(path("in.wav"), 44100, 2, in);
    ASSERT_EQ(render({path("in.wav"), path("out.wav")}), 0) << err_;
    const Audio a = read_audio(path("out.wav"));
    EXPECT_EQ(a.info.samplerate, 44100);
    EXPECT_EQ(a.info.channels, 2);
    EXPECT_EQ(a.info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    ASSERT_EQ(a.samples.size(), in.size());
    for (std::size_t i = 0; i < in.size(); ++i) ASSERT_EQ(a.samples[i], in[i] / 32768.0f) << i;
}

TEST_F(ToolsTest, GainPresetGivesTheKnownFactors) {
    // Mono: position 100 gives 11. Stereo: left 0 gives 1/11, right 100 with Air gives -11.
    make_preset(path("F1 Gain.pre"), {{"rows", {gain_row(2, true, 100, 0, 100, true, false, 50)}}});
    const auto mono = signal(2000, 1);
    write_pcm16(path("mono.wav"), 22050, 1, mono);
    ASSERT_EQ(render({"--preset", path("F1 Gain.pre"), path("mono.wav"), path("mono_out.wav")}), 0) << err_;
    Audio a = read_audio(path("mono_out.wav"));
    ASSERT_EQ(a.samples.size(), mono.size());
    for (std::size_t i = 0; i < mono.size(); ++i) ASSERT_FLOAT_EQ(a.samples[i], mono[i] * 11.0f / 32768.0f) << i;

    const auto st = signal(2000, 2);
    write_pcm16(path("st.wav"), 48000, 2, st);
    ASSERT_EQ(render({"--preset", path("F1 Gain.pre"), path("st.wav"), path("st_out.wav")}), 0) << err_;
    a = read_audio(path("st_out.wav"));
    ASSERT_EQ(a.samples.size(), st.size());
    for (std::size_t i = 0; i < st.size(); i += 2) {
        ASSERT_FLOAT_EQ(a.samples[i], st[i] * (1.0f / 11.0f) / 32768.0f) << i;
        ASSERT_FLOAT_EQ(a.samples[i + 1], -st[i + 1] * 11.0f / 32768.0f) << i;
    }

    // The same Gain switched off changes nothing.
    make_preset(path("off.pre"), {{"rows", {gain_row(2, false, 100, 0, 100, true, false, 50)}}});
    ASSERT_EQ(render({"--preset", path("off.pre"), path("mono.wav"), path("off_out.wav")}), 0) << err_;
    a = read_audio(path("off_out.wav"));
    for (std::size_t i = 0; i < mono.size(); ++i) ASSERT_EQ(a.samples[i], mono[i] / 32768.0f);
}

TEST_F(ToolsTest, BlockSizesGiveTheSameOutput) {
    // Simple Chorus carries a ring from block to block: any block-edge fault shows.
    make_preset(path("chorus.pre"), {{"rows", {gain_row(1, true, 60, 60, 40, false, true, 20),
                                               gain_row(3, true, 45, 45, 45, true, false, 50)}}});
    write_pcm16(path("in.wav"), 48000, 2, signal(5000, 2));
    std::vector<float> first;
    for (const char* block : {"1", "64", "512", "2048"}) {
        const std::string out = path(std::string("out_") + block + ".wav");
        ASSERT_EQ(render({"--block", block, "--preset", path("chorus.pre"), path("in.wav"), out}), 0) << err_;
        const Audio a = read_audio(out);
        ASSERT_EQ(a.samples.size(), 10000u);
        if (first.empty()) {
            first = a.samples;
        } else {
            EXPECT_EQ(a.samples, first) << "block " << block;
        }
    }
    // The chorus really delayed the right channel (its ring starts at 1.0),
    // then row 3 inverted it (Air) at position 45 (factor 1/2).
    EXPECT_FLOAT_EQ(first[1], -0.5f / 32768.0f);
}

// The chain split across threads gives exactly the one-thread output: the
// heaviest bench chain (every kind, a backing track mixed in, a recorder) over
// several file chunks, in blocks that do not divide them.
TEST_F(ToolsTest, ThreadCountsGiveTheSameOutput) {
    fs::create_directories(path("home"));
    write_pcm16(path("home/demo1.wav"), 48000, 2, signal(7000, 2));
    write_pcm16(path("in.wav"), 48000, 2, signal(150000, 2));
    std::vector<float> first;
    for (const char* threads : {"1", "2", "3", "16"}) {
        const std::string out = path(std::string("out_") + threads + ".wav");
        ASSERT_EQ(render({"--threads", threads, "--block", "100", "--home", path("home"), "--preset",
                          TW_HEAVY_PRESET, path("in.wav"), out}),
                  0)
            << err_;
        const Audio a = read_audio(out);
        ASSERT_EQ(a.samples.size(), 300000u);
        if (first.empty()) {
            first = a.samples;
            EXPECT_GT(*std::max_element(first.begin(), first.end()), 0.01f) << "the chain passes no sound";
        } else {
            EXPECT_EQ(a.samples, first) << threads << " threads";
        }
    }
    EXPECT_EQ(render({"--threads", "17", path("in.wav"), path("o.wav")}), 2);
}

TEST_F(ToolsTest, TailAppendsSilenceThatEffectsCanFill) {
    write_pcm16(path("in.wav"), 8000, 1, signal(1000, 1));
    ASSERT_EQ(render({"--tail", "0.5", path("in.wav"), path("out.wav")}), 0) << err_;
    Audio a = read_audio(path("out.wav"));
    ASSERT_EQ(a.info.frames, 1000 + 4000);
    for (int i = 1000; i < 5000; ++i) ASSERT_EQ(a.samples[i], 0.0f);

    // Stereo with the right channel delayed by 164 samples: the tail holds
    // the end of the input.
    make_preset(path("d.pre"), {{"rows", {gain_row(1, true, 50, 50, 50, false, true, 0)}}});
    const auto st = signal(1000, 2);
    write_pcm16(path("st.wav"), 8000, 2, st);
    ASSERT_EQ(render({"--tail", "0.1", "--block", "100", "--preset", path("d.pre"), path("st.wav"), path("st_out.wav")}),
              0)
        << err_;
    a = read_audio(path("st_out.wav"));
    ASSERT_EQ(a.info.frames, 1800);
    EXPECT_FLOAT_EQ(a.samples[2 * 1163 + 1], st[2 * 999 + 1] / 32768.0f);
    EXPECT_EQ(a.samples[2 * 1164 + 1], 0.0f);
}

TEST_F(ToolsTest, FailuresSayWhyAndLeaveNoOutput) {
    write_pcm16(path("in.wav"), 8000, 1, signal(100, 1));
    {
        SF_INFO info{};
        info.samplerate = 8000;
        info.channels = 3;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* f = sf_open(path("three.wav").c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr);
        std::vector<short> s(300, 5);
        sf_write_short(f, s.data(), 300);
        sf_close(f);
    }
    std::ofstream(path("short.pre"), std::ios::binary) << std::string(13187, '\0');
    std::ofstream(path("keep.wav")) << "precious";
    std::ofstream(path("empty.wav")) << "";

    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    const std::vector<Case> cases = {
        {{"--block", "0", path("in.wav"), path("keep.wav")}, "--block"},
        {{"--block", "2049", path("in.wav"), path("keep.wav")}, "--block"},
        {{"--block", "many", path("in.wav"), path("keep.wav")}, "--block"},
        {{path("in.wav")}, "OUTPUT"},
        {{"--tail", "-1", path("in.wav"), path("keep.wav")}, "--tail"},
        {{path("three.wav"), path("keep.wav")}, "3 channels"},
        {{path("missing.wav"), path("keep.wav")}, "missing.wav"},
        {{path("short.pre"), path("keep.wav")}, "short.pre"},  // not audio
        {{"--preset", path("short.pre"), path("in.wav"), path("keep.wav")}, "13187 bytes"},
        {{"--preset", path("none.pre"), path("in.wav"), path("keep.wav")}, "none.pre"},
        {{"--home", path("nofolder"), path("in.wav"), path("keep.wav")}, "not a folder"},
        {{path("in.wav"), path("nofolder/out.wav")}, "nofolder"},
        {{"/dev/null", path("keep.wav")}, "/dev/null is a device, not an audio file"},
        {{path("empty.wav"), path("keep.wav")}, "is empty (0 bytes)"},
    };
    for (const Case& c : cases) {
        EXPECT_NE(render(c.args), 0) << c.args[0];
        EXPECT_NE(err_.find(c.says), std::string::npos) << err_;
        EXPECT_EQ(std::count(err_.begin(), err_.end(), '\n'), 1) << err_;
        EXPECT_EQ(slurp(path("keep.wav")), "precious");
    }
    EXPECT_EQ(files_in_dir(),
              (std::vector<std::string>{"empty.wav", "in.wav", "keep.wav", "short.pre", "three.wav"}));
    EXPECT_NE(render({"--help"}), 1);
    EXPECT_NE(out_.find("--preset"), std::string::npos);
}

TEST_F(ToolsTest, PresetShowBuildShowIsExact) {
    json src = {{"rows",
                 {gain_row(1, true, 70, 30, 90, false, true, 10), {{"row", 5}, {"kind", "Record wav"}, {"on", true}},
                  {{"row", 16}, {"kind", "Gain"}}}}};
    const std::string raw = unbuilt_kind_name();
    if (!raw.empty()) src["rows"].push_back({{"row", 2}, {"kind", raw}, {"on", true}, {"words", {5, -6, 7}}});
    make_preset(path("a.pre"), src);
    EXPECT_EQ(fs::file_size(path("a.pre")), 13188u);
    ASSERT_EQ(preset({"show", path("a.pre")}), 0) << err_;
    EXPECT_NE(out_.find("Row  1  Gain"), std::string::npos) << out_;
    EXPECT_NE(out_.find("ScrollBar_Gain_Right     90"), std::string::npos) << out_;
    EXPECT_NE(out_.find("Row  5  Record wav               On"), std::string::npos) << out_;
    const std::string text_a = out_.substr(out_.find('\n'));
    ASSERT_EQ(preset({"show", "--json", path("a.pre")}), 0) << err_;
    const json shown = json::parse(out_);
    EXPECT_EQ(shown["rows"][0]["params"]["ScrollBar_Gain_Left"], 30);
    if (!raw.empty()) EXPECT_EQ(shown["rows"][1]["words"][1], -6);
    std::ofstream(path("b.json")) << out_;
    ASSERT_EQ(preset({"build", path("b.json"), path("b.pre")}), 0) << err_;
    EXPECT_EQ(slurp(path("a.pre")), slurp(path("b.pre")));
    ASSERT_EQ(preset({"show", path("b.pre")}), 0);
    EXPECT_EQ(out_.substr(out_.find('\n')), text_a);
}

TEST_F(ToolsTest, PresetToolRefusesBadInput) {
    std::ofstream(path("short.pre"), std::ios::binary) << std::string(100, '\0');
    write_pcm16(path("big.wav"), 8000, 1, signal(10000, 1));
    std::ofstream(path("bad.json")) << "{\"rows\": [";
    std::ofstream(path("kind.json")) << R"({"rows": [{"row": 1, "kind": "Octaver"}]})";
    std::ofstream(path("range.json")) << R"({"rows": [{"row": 1, "kind": "Gain", "params": {"ScrollBar_Gain_Mono": 500}}]})";
    EXPECT_NE(preset({"show", path("short.pre")}), 0);
    EXPECT_NE(err_.find("not a preset"), std::string::npos) << err_;
    EXPECT_NE(preset({"show", path("big.wav")}), 0);
    EXPECT_NE(err_.find("not a preset"), std::string::npos) << err_;
    EXPECT_NE(preset({"show", path("nothing.pre")}), 0);
    for (const char* j : {"bad.json", "kind.json", "range.json", "missing.json"}) {
        EXPECT_NE(preset({"build", path(j), path("out.pre")}), 0) << j;
        EXPECT_FALSE(err_.empty());
        EXPECT_FALSE(fs::exists(path("out.pre"))) << j;
    }
    EXPECT_NE(err_.find("missing.json"), std::string::npos);
    EXPECT_NE(preset({}), 0);
}

// 0 done, 1 failed, 2 command line not usable (tonewarp-live: 3 when the sound
// system closes the stream, tested on JACK), in every tool and in its --help.
TEST_F(ToolsTest, EveryToolFollowsTheExitCodeConvention) {
    write_pcm16(path("in.wav"), 8000, 1, signal(100, 1));
    fs::create_directories(path("loop"));
    fs::create_symlink("loop", path("loop/loop"));  // looking inside it fails (a loop of links)
    const std::string unreadable = path("loop/loop/loop/loop/loop/loop/loop/loop/loop/loop/loop/loop/loop/loop/loop/"
                                        "loop/loop/loop/loop/loop/loop/loop/loop/loop/loop/loop/loop/loop/loop/loop/"
                                        "loop/loop/loop/loop/loop/loop/loop/loop/loop/loop/loop/x.pre");
    struct Case {
        int code;
        std::string tool;
        std::vector<std::string> args;
        std::string says;
    };
    const std::vector<Case> cases = {
        {0, "render", {"--help"}, "Exit codes: 0"},
        {0, "preset", {"--help"}, "Exit codes: 0"},
        {0, "live", {"--help"}, "Exit codes: 0"},
        {0, "demo", {"--help"}, "Exit codes: 0"},
        {2, "render", {"--bogus", path("in.wav"), path("o.wav")}, "see --help"},
        {2, "render", {"--preset", "", path("in.wav"), path("o.wav")}, "--preset needs a file name"},
        {2, "render", {"--block", "0", path("in.wav"), path("o.wav")}, "--block"},
        {2, "preset", {"shows", path("a.pre")}, "see --help"},
        {2, "live", {"--threshold", "99"}, "see --help"},
        {2, "live", {"--seconds", "nan"}, "is not a decimal number"},
        {2, "live", {"--seconds", "inf"}, "is not a decimal number"},
        {2, "live", {"--preset", ""}, "--preset needs a file name"},
        {2, "demo", {"--bogus"}, "see --help"},
        {1, "render", {path("missing.wav"), path("o.wav")}, "missing.wav"},
        {1, "preset", {"show", path("missing.pre")}, "missing.pre"},
        {1, "live", {"--preset", unreadable, "--seconds", "0.1"}, "Cannot look at"},
        {1, "live", {"--home", path("loop/loop"), "--seconds", "0.1"}, "is not a folder"},
        {1, "live", {"--preset", path("missing.pre"), "--seconds", "0.1"}, "cannot be read"},
    };
    for (const Case& c : cases) {
        const int rc = c.tool == "render" ? render(c.args)
                       : c.tool == "preset" ? preset(c.args)
                       : c.tool == "live"   ? live(c.args)
                                            : run(TW_CHAIN_DEMO_EXE, c.args);
        const std::string where = c.tool + " " + (c.args.empty() ? "" : c.args[0]);
        EXPECT_EQ(rc, c.code) << where << "\n" << err_;
        EXPECT_NE((out_ + err_).find(c.says), std::string::npos) << where << "\n" << out_ << err_;
    }
    EXPECT_FALSE(fs::exists(path("o.wav")));
}

TEST_F(ToolsTest, RenderSilencesNonFiniteInputAndSaysHowMuch) {
    // Through the default preset's distortions: one NaN used to leave them
    // silent (non-finite) for the rest of the file.
    std::vector<float> in(2 * 9600);
    for (std::size_t i = 0; i < in.size(); ++i) in[i] = 0.3f * std::sin(0.01f * static_cast<float>(i));
    std::vector<float> zeroed = in;
    in[200] = std::numeric_limits<float>::quiet_NaN();
    in[201] = std::numeric_limits<float>::infinity();
    zeroed[200] = zeroed[201] = 0.0f;
    write_float(path("bad.wav"), 48000, 2, in);
    write_float(path("zeroed.wav"), 48000, 2, zeroed);
    const std::string f9 = std::string(TW_BUILT_PRESETS) + "/F9 - High Gain Distortion Noise Gate.pre";
    ASSERT_EQ(render({"--preset", f9, path("bad.wav"), path("bad_out.wav")}), 0) << err_;
    EXPECT_NE(err_.find("2 input samples were not finite"), std::string::npos) << err_;
    ASSERT_EQ(render({"--preset", f9, path("zeroed.wav"), path("zeroed_out.wav")}), 0) << err_;
    EXPECT_EQ(err_, "");
    const Audio bad = read_audio(path("bad_out.wav"));
    for (float v : bad.samples) ASSERT_TRUE(std::isfinite(v));
    EXPECT_EQ(bad.samples, read_audio(path("zeroed_out.wav")).samples);
}

TEST_F(ToolsTest, PresetToolRefusesHostileJsonAndReportsFailedWrites) {
    std::string deep = R"({"rows": [{"row": 1, "kind": "Gain", "params": )";
    deep += std::string(100000, '[') + std::string(100000, ']') + "}]}";
    std::ofstream(path("deep.json")) << deep;
    std::ofstream(path("big.json")) << "[1e400]";
    std::ofstream(path("twice.json")) << R"({"rows": [{"row": 1, "kind": "Gain", "kind": "Delay"}]})";
    std::ofstream(path("over.json")) << R"({"rows": [{"row": 1, "kind": "Gain", "params": {"mono_gain": 11.000005}}]})";
    fs::create_directories(path("folder.json"));
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"deep.json", "nested more than 32 levels"}, {"big.json", "number overflow"},
        {"twice.json", "\"kind\" is given twice"},   {"over.json", "mono_gain is 11.000005, outside"},
        {"folder.json", "is a folder"},
    };
    for (const auto& [file, says] : cases) {
        EXPECT_EQ(preset({"build", path(file), path("out.pre")}), 1) << file;
        EXPECT_NE(err_.find(says), std::string::npos) << err_;
        EXPECT_FALSE(fs::exists(path("out.pre")));
    }
    make_preset(path("a.pre"), {{"rows", {gain_row(1, true, 70, 30, 90, false, true, 10)}}});
    for (const char* flag : {"", "--json"}) {
        const std::string cmd = quote(TW_PRESET_EXE) + " show " + flag + " " + quote(path("a.pre")) + " > /dev/full 2> " +
                                quote(path("err.txt"));
        const int rc = std::system(cmd.c_str());
        EXPECT_EQ(WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, 1) << flag;
        EXPECT_NE(slurp(path("err.txt")).find("cannot write the listing"), std::string::npos) << flag;
    }
}

TEST_F(ToolsTest, BundledPresetsAreBuiltAndMatchTheirSources) {
    int count = 0;
    int function_keys = 0;
    bool has_default = false;
    for (const auto& e : fs::directory_iterator(TW_PRESET_SOURCES)) {
        if (e.path().extension() != ".json") continue;
        ++count;
        const std::string name = e.path().stem().string();
        has_default = has_default || name == "F9 - High Gain Distortion Noise Gate";
        // Function keys find presets by the start of their names; the
        // others are reached through the presets list.
        function_keys += name.size() > 1 && name[0] == 'F' && name[1] >= '1' && name[1] <= '9';
        const std::string built = std::string(TW_BUILT_PRESETS) + "/" + name + ".pre";
        ASSERT_TRUE(fs::exists(built)) << built;
        ASSERT_EQ(preset({"build", e.path().string(), path("again.pre")}), 0) << err_;
        EXPECT_EQ(slurp(path("again.pre")), slurp(built)) << name;
        ASSERT_EQ(preset({"show", "--json", built}), 0) << err_;
        const json shown = json::parse(out_);
        const json source = json::parse(slurp(e.path().string()));
        for (const json& row : source["rows"]) {
            const json& s = shown["rows"][row["row"].get<int>() - 1];
            EXPECT_EQ(s["kind"], row["kind"]) << name;
            EXPECT_EQ(s["on"], row.value("on", false)) << name;
        }
        // Rendering through it works and stays finite.
        write_pcm16(path("in.wav"), 48000, 2, signal(4800, 2));
        ASSERT_EQ(render({"--preset", built, path("in.wav"), path("out.wav")}), 0) << err_;
        for (float v : read_audio(path("out.wav")).samples) ASSERT_TRUE(std::isfinite(v)) << name;
    }
    EXPECT_GE(count, 3);
    EXPECT_TRUE(has_default);
    EXPECT_EQ(function_keys, 12);
}

TEST_F(ToolsTest, RenderRefusesToOverwriteItsInput) {
    write_pcm16(path("in.wav"), 8000, 1, signal(100, 1));
    const std::string before = slurp(path("in.wav"));
    fs::create_symlink("in.wav", path("link.wav"));
    fs::create_hard_link(path("in.wav"), path("hard.wav"));
    for (const char* out : {"in.wav", "link.wav", "hard.wav"}) {
        EXPECT_EQ(render({path("in.wav"), path(out)}), 2) << out;
        EXPECT_NE(err_.find("is the same file as INPUT"), std::string::npos) << err_;
        EXPECT_EQ(std::count(err_.begin(), err_.end(), '\n'), 1) << err_;
        EXPECT_TRUE(slurp(path("in.wav")) == before) << out;
    }
    EXPECT_EQ(render({path("link.wav"), path("in.wav")}), 2);
    EXPECT_TRUE(fs::is_symlink(path("link.wav")));
    EXPECT_EQ(files_in_dir(), (std::vector<std::string>{"hard.wav", "in.wav", "link.wav"}));
}

// Numbers as a person types them; an empty folder name is a mistake, not
// "the default folder".
TEST_F(ToolsTest, ToolsRefuseHexNumbersAndAnEmptyHome) {
    write_pcm16(path("in.wav"), 8000, 1, signal(100, 1));
    const std::pair<std::string, std::string> bad[] = {
        {"--block", "0x10"}, {"--tail", "1e2"}, {"--threads", "0b1"}, {"--home", ""}};
    for (const auto& [option, value] : bad) {
        EXPECT_EQ(render({option, value, path("in.wav"), path("out.wav")}), 2) << option;
        EXPECT_NE(err_.find(value.empty() ? "an empty name" : "'" + value + "' is not a decimal number"),
                  std::string::npos)
            << err_;
    }
    EXPECT_FALSE(fs::exists(path("out.wav")));
    EXPECT_EQ(render({"--block", "64", "--tail", "0.5", path("in.wav"), path("out.wav")}), 0) << err_;
    EXPECT_EQ(live({"--seconds", "0x2"}), 2);
    EXPECT_EQ(live({"--home", "", "--seconds", "1"}), 2);
}

TEST_F(ToolsTest, RenderOutputOntoLinksFoldersAndDevices) {
    write_pcm16(path("in.wav"), 8000, 1, signal(100, 1));
    // A link as OUTPUT replaces the file it points to, with that file's permissions.
    std::ofstream(path("take1.wav")) << "old take";
    fs::permissions(path("take1.wav"), fs::perms(0640));
    fs::create_symlink("take1.wav", path("wet.wav"));
    ASSERT_EQ(render({path("in.wav"), path("wet.wav")}), 0) << err_;
    EXPECT_TRUE(fs::is_symlink(path("wet.wav")));
    EXPECT_EQ(read_audio(path("take1.wav")).samples.size(), 100u);
    EXPECT_EQ(fs::status(path("take1.wav")).permissions(), fs::perms(0640));

    fs::create_directories(path("takes"));
    EXPECT_EQ(render({path("in.wav"), path("takes")}), 1);
    EXPECT_NE(err_.find(path("takes") + " is a folder; give a file name."), std::string::npos) << err_;
    EXPECT_TRUE(fs::is_empty(path("takes")));

    // A device is written into, not replaced (a private null device, so that
    // a fault can never replace /dev/null).
    if (::mknod(path("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
        EXPECT_EQ(render({path("in.wav"), path("null")}), 0) << err_;
        struct stat st {};
        ASSERT_EQ(::lstat(path("null").c_str(), &st), 0);
        EXPECT_TRUE(S_ISCHR(st.st_mode));
    }
    for (const std::string& f : files_in_dir()) EXPECT_NE(f.rfind(".tw-", 0), 0u) << f;
}

TEST_F(ToolsTest, InterruptedRenderLeavesNoTemporaryFile) {
    // A long, slow render (an hour of tail through the Distortion-Compressor),
    // stopped by each signal as soon as its temporary output exists.
    make_preset(path("slow.pre"), {{"rows", {{{"row", 1}, {"kind", "Distortion-Compresor"}, {"on", true}}}}});
    write_pcm16(path("in.wav"), 48000, 2, signal(4800, 2));
    std::ofstream(path("keep.wav")) << "precious";
    auto temporary = [&] {
        for (const std::string& f : files_in_dir())
            if (f.rfind(".tw-", 0) == 0) return true;
        return false;
    };
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGALRM, SIGUSR1}) {
        const pid_t pid = spawn({TW_RENDER_EXE, "--tail", "3600", "--preset", path("slow.pre"), path("in.wav"),
                                 path("keep.wav")});
        bool seen = false;
        for (int i = 0; i < 2000 && !seen; ++i) {
            seen = temporary();
            if (!seen) ::usleep(5000);
        }
        ::kill(pid, sig);
        EXPECT_TRUE(seen) << sig;
        EXPECT_EQ(wait_bounded(pid, 10), 1) << sig;
        EXPECT_NE(slurp(path("spawn_err.txt")).find("Stopped by SIG"), std::string::npos) << slurp(path("spawn_err.txt"));
        EXPECT_FALSE(temporary()) << sig;
        EXPECT_EQ(slurp(path("keep.wav")), "precious");
    }
}

// A FIFO that nobody writes (or reads) in place of a file: every tool waits
// for it, and every stop signal still ends it within a second.
TEST_F(ToolsTest, ToolsWaitingOnAFifoStopOnSignals) {
    write_pcm16(path("in.wav"), 8000, 1, signal(100, 1));
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    std::ofstream(path("keep.pre")) << "precious";
    const std::vector<std::vector<std::string>> commands = {
        {TW_RENDER_EXE, path("fifo"), path("out.wav")},
        {TW_RENDER_EXE, "--preset", path("fifo"), path("in.wav"), path("out.wav")},
        {TW_RENDER_EXE, path("in.wav"), path("fifo")},
        {TW_PRESET_EXE, "show", path("fifo")},
        {TW_PRESET_EXE, "build", path("fifo"), path("keep.pre")},
        {TW_LIVE_EXE, "--no-system", "--preset", path("fifo")},
    };
    int sig = SIGINT;
    for (const auto& cmd : commands) {
        const pid_t pid = spawn(cmd);
        wait_until_signals_blocked(pid);
        ::usleep(300000);
        ::kill(pid, sig);
        const auto stopped = std::chrono::steady_clock::now();
        EXPECT_EQ(wait_bounded(pid, 5), 1) << cmd[1];
        EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::seconds(2)) << cmd[1];
        EXPECT_NE(slurp(path("spawn_err.txt")).find("stopped by SIG"), std::string::npos)
            << slurp(path("spawn_err.txt"));
        sig = sig == SIGINT ? SIGTERM : SIGINT;
    }
    EXPECT_EQ(slurp(path("keep.pre")), "precious");
    EXPECT_FALSE(fs::exists(path("out.wav")));
    for (const std::string& f : files_in_dir()) EXPECT_NE(f.rfind(".tw-", 0), 0u) << f;
}

// A FIFO as OUTPUT is streamed into; a reader that leaves early ends the
// render with "output closed" instead of killing it silently.
TEST_F(ToolsTest, RenderStreamsIntoAPipe) {
    const auto in = signal(3000, 1);
    write_pcm16(path("in.wav"), 44100, 1, in);
    make_preset(path("gain.pre"), {{"rows", {gain_row(1, true, 100, 50, 50, false, false, 50)}}});
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(path("preset_fifo").c_str(), 0600), 0);
    // Every part bounded: a reader left waiting on the FIFO must not hold the test.
    const std::string exe = "timeout 20 " + quote(TW_RENDER_EXE), fifo = quote(path("fifo"));
    // The preset comes through a FIFO too, which can be read only once.
    ASSERT_EQ(run("sh", {"-c", "timeout 20 cat " + fifo + " > " + quote(path("got.wav")) + " & timeout 20 cat " +
                                   quote(path("gain.pre")) + " > " + quote(path("preset_fifo")) + " & " + exe +
                                   " --preset " + quote(path("preset_fifo")) + " " + quote(path("in.wav")) + " " +
                                   fifo + "; rc=$?; wait; exit $rc"}),
              0)
        << err_;
    const Audio a = read_audio(path("got.wav"));
    EXPECT_EQ(a.info.frames, 3000);
    EXPECT_EQ(a.info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    ASSERT_EQ(a.samples.size(), in.size());
    for (std::size_t i = 0; i < in.size(); ++i) ASSERT_FLOAT_EQ(a.samples[i], in[i] * 11.0f / 32768.0f) << i;

    EXPECT_EQ(run("sh", {"-c", "timeout 20 head -c 1000 " + fifo + " > /dev/null & " + exe + " --tail 600 " +
                                   quote(path("in.wav")) + " " + fifo + "; rc=$?; wait; exit $rc"}),
              1);
    EXPECT_NE(err_.find("The output was closed"), std::string::npos) << err_;
}

TEST_F(ToolsTest, RenderReportsThePeakAndWarnsAboveFullScale) {
    const auto mono = signal(2000, 1);
    write_pcm16(path("in.wav"), 22050, 1, mono);
    // One Gain at x11 stays below full scale; two (x121) go far above it.
    make_preset(path("one.pre"), {{"rows", {gain_row(1, true, 100, 50, 50, false, false, 50)}}});
    make_preset(path("two.pre"), {{"rows", {gain_row(1, true, 100, 50, 50, false, false, 50),
                                            gain_row(2, true, 100, 50, 50, false, false, 50)}}});
    for (const char* p : {"one.pre", "two.pre"}) {
        ASSERT_EQ(render({"--preset", path(p), path("in.wav"), path("out.wav")}), 0) << err_;
        float peak = 0.0f;
        for (float v : read_audio(path("out.wav")).samples) peak = std::max(peak, std::fabs(v));
        char want[32];
        std::snprintf(want, sizeof want, "peak %+.1f dBFS.", 20.0 * std::log10(peak));
        EXPECT_NE(out_.find(want), std::string::npos) << out_ << " wants " << want;
        EXPECT_EQ(err_.find("above full scale") != std::string::npos, peak > 1.0f) << err_;
    }
    EXPECT_NE(err_.find("Turn down"), std::string::npos) << err_;
}

TEST_F(ToolsTest, RenderWarnsAboutAnInputCutShort) {
    write_pcm16(path("in.wav"), 8000, 1, signal(1000, 1));
    fs::resize_file(path("in.wav"), fs::file_size(path("in.wav")) - 400);
    ASSERT_EQ(render({path("in.wav"), path("out.wav")}), 0) << err_;
    EXPECT_NE(err_.find("declares 1000 frames but it holds 800; the missing 200 frames"), std::string::npos) << err_;
    EXPECT_EQ(read_audio(path("out.wav")).samples.size(), 800u);
    // A whole file says nothing; its output is a plain WAV below 4 GiB.
    write_pcm16(path("in.wav"), 8000, 1, signal(1000, 1));
    ASSERT_EQ(render({path("in.wav"), path("out.wav")}), 0) << err_;
    EXPECT_EQ(err_, "");
    EXPECT_EQ(slurp(path("out.wav")).substr(0, 4), "RIFF");
}

}  // namespace
