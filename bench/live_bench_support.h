// What the live-stream benchmarks share: dialogs that keep only the last
// message, and a private JACK dummy server for the length of a run.
#pragma once

#include <fcntl.h>
#include <jack/jack.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "app/dialogs.h"
#include "app/program_folder.h"
#include "fx/kind_ids.h"
#include "presets/preset_file.h"

extern char** environ;

namespace tw::bench {

class QuietDialogs : public tw::Dialogs {
public:
    std::string last;
    void message(const std::string& t, const std::string& d) override { last = t + " " + d; }
    void warning(const std::string& t, const std::string& d) override { last = t + " " + d; }
    void end_program(int) override {}
    bool question(const std::string&) override { return false; }
    bool open_url(const std::string&) override { return false; }
};

// jackd -n <name> --no-realtime -d dummy -r 48000 -p <period>, made the
// default server of this process, stopped by pid. Main thread.
class JackServer {
public:
    JackServer(const std::string& name, int period) {
        const std::string p = std::to_string(period);
        std::vector<std::string> args = {"jackd", "-n", name, "--no-realtime", "-d", "dummy", "-r", "48000", "-p", p};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawnp(&pid_, "jackd", &fa, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&fa);
        setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
        for (int i = 0; i < 100 && pid_ > 0; ++i) {
            if (jack_client_t* c = jack_client_open("tw_bench_wait", JackNoStartServer, nullptr)) {
                jack_client_close(c);
                ready_ = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    ~JackServer() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int st = 0;
            waitpid(pid_, &st, 0);
        }
    }
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;
    bool ready() const { return ready_; }

private:
    pid_t pid_ = -1;
    bool ready_ = false;
};

// A private program folder holding "F1 Gain.pre" and "F2 Gate.pre" (one
// slot each), made the program folder while it lives and removed at the
// end. Main thread.
class BenchHome {
public:
    BenchHome() : saved_(tw::program_folder()) {
        std::string t = (std::filesystem::temp_directory_path() / "tw_bench_home_XXXXXX").string();
        dir_ = ::mkdtemp(t.data());
        std::filesystem::create_directories(dir_ + "/PRESETS");
        tw::set_program_folder(dir_);
        add("F1 Gain.pre", tw::kKindGain);
        add("F2 Gate.pre", tw::kKindNoiseGate);
    }
    ~BenchHome() {
        tw::set_program_folder(saved_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    BenchHome(const BenchHome&) = delete;
    BenchHome& operator=(const BenchHome&) = delete;
    const std::string& dir() const { return dir_; }

private:
    void add(const std::string& name, int kind) {
        tw::PresetRecord r;
        r.set_version(tw::kPresetVersion);
        r.set_kind(0, kind);
        r.set_enabled(0, 1);
        tw::write_preset_record(dir_ + "/PRESETS/" + name, r);
    }
    std::string saved_;
    std::string dir_;
};

// The q-quantile (0..1) of `v`, nearest rank; -1 for no values. Any thread.
inline double percentile(std::vector<double> v, double q) {
    if (v.empty()) return -1.0;
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(q * static_cast<double>(v.size() - 1) + 0.5)];
}

}  // namespace tw::bench
