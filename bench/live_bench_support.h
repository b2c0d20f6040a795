// What the live-stream benchmarks share: dialogs that keep only the last
// message, and a private JACK dummy server for the length of a run.
#pragma once

#include <fcntl.h>
#include <jack/jack.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "app/dialogs.h"

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

}  // namespace tw::bench
