// tonewarp-live against a JACK server that dies under it. A private dummy
// server is killed (SIGTERM or SIGKILL) while START opens the stream or soon
// after, many times over; every run must end by itself, saying that the sound
// system closed the stream, with exit code 3: never a crash, an abort or a hang.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 24;
const std::string kServer = TW_KILL_SERVER;

// Starts a program with its output in `out_path` and JACK_DEFAULT_SERVER set.
pid_t spawn(const std::vector<std::string>& args, const std::string& out_path) {
    std::vector<std::string> env_text;
    for (char** e = environ; *e != nullptr; ++e)
        if (std::strncmp(*e, "JACK_DEFAULT_SERVER=", 20) != 0) env_text.emplace_back(*e);
    env_text.push_back("JACK_DEFAULT_SERVER=" + kServer);
    std::vector<char*> envp, argv;
    for (auto& s : env_text) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> arg_text = args;
    for (auto& s : arg_text) argv.push_back(s.data());
    argv.push_back(nullptr);
    const int fd = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(fd);
    return pid;
}

// Waits up to `limit` for a child; false if it is still running.
bool wait_for(pid_t pid, int& status, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        if (::waitpid(pid, &status, WNOHANG) == pid) return true;
        std::this_thread::sleep_for(5ms);
    }
    return false;
}

void stop_child(pid_t pid) {
    int status = 0;
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
}

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The test's own client: tells when the watched client of the program registers.
class Watcher {
public:
    explicit Watcher(bool buffer_probe) : buffer_probe_(buffer_probe) {}
    bool open() {
        jack_status_t status{};
        const auto end = Clock::now() + 10s;
        while (client_ == nullptr && Clock::now() < end) {
            client_ = jack_client_open("tw_kill_watch", static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                                       &status, kServer.c_str());
            if (client_ == nullptr) std::this_thread::sleep_for(50ms);
        }
        if (client_ == nullptr) return false;
        jack_set_client_registration_callback(client_, &Watcher::on_client, this);
        return jack_activate(client_) == 0;
    }
    ~Watcher() {
        if (client_ != nullptr) jack_client_close(client_);
    }
    bool seen() const { return seen_.load(); }

private:
    // The buffer-size probe of START, or the stream's own client (any other
    // client of the program but the device list and the server check).
    static void on_client(const char* name, int registered, void* arg) {
        auto* self = static_cast<Watcher*>(arg);
        const std::string n = name;
        const bool ours = n.rfind("tonewarp", 0) == 0;
        const bool probe = n == "tonewarp-probe";
        const bool other = n == "tonewarp-list" || n == "tonewarp-check";
        if (registered != 0 && ours && !other && probe == self->buffer_probe_) self->seen_.store(true);
    }
    bool buffer_probe_;
    jack_client_t* client_ = nullptr;
    std::atomic<bool> seen_{false};
};

TEST(JackServerDeath, LiveToolEndsWithExitThreeWheneverTheServerDies) {
    jack_set_error_function([](const char*) {});
    jack_set_info_function([](const char*) {});
    const std::string out = (std::filesystem::temp_directory_path() / ("tw_kill_" + std::to_string(::getpid()))).string();
    std::mt19937 rng(20240611);
    std::vector<std::string> failures;
    int during_start = 0;
    for (int run = 0; run < kRuns; ++run) {
        // Half the runs kill when START probes the buffer size, the others when
        // the stream's client appears; some a little later, into the running stream.
        const bool at_probe = run % 2 == 0;
        const std::string trigger = at_probe ? "buffer probe" : "stream client";
        const int extra_ms = std::uniform_int_distribution<int>(0, run % 4 < 2 ? 20 : 200)(rng);
        const int sig = (run / 2) % 2 == 0 ? SIGTERM : SIGKILL;
        const std::string what = "run " + std::to_string(run) + " (" + (sig == SIGTERM ? "SIGTERM" : "SIGKILL") +
                                 " at " + trigger + " + " + std::to_string(extra_ms) + " ms)";

        const pid_t server = spawn({"/usr/bin/jackd", "-n", kServer, "--no-realtime", "-d", "dummy", "-r", "48000",
                                    "-p", "256"},
                                   "/dev/null");
        ASSERT_GT(server, 0);
        auto watcher = std::make_unique<Watcher>(at_probe);
        if (!watcher->open()) {
            stop_child(server);
            FAIL() << what << ": the JACK server did not start";
        }
        const pid_t live = spawn({TW_LIVE_EXE, "--input", "jack", "--output", "jack", "--no-builtin"}, out);
        const auto end = Clock::now() + 15s;
        int status = 0;
        bool live_ended = false;
        while (!watcher->seen() && Clock::now() < end && !live_ended) {
            live_ended = ::waitpid(live, &status, WNOHANG) == live;
            std::this_thread::sleep_for(1ms);
        }
        if (watcher->seen()) std::this_thread::sleep_for(std::chrono::milliseconds(extra_ms));
        ::kill(server, sig);
        int server_status = 0;
        if (!wait_for(server, server_status, 10s)) stop_child(server);
        if (!live_ended && !wait_for(live, status, 20s)) {
            stop_child(live);
            failures.push_back(what + ": hung\n" + slurp(out));
            continue;
        }
        const std::string text = slurp(out);
        if (!watcher->seen()) {
            failures.push_back(what + ": START never came\n" + text);
        } else if (!WIFEXITED(status)) {
            failures.push_back(what + ": killed by signal " + std::to_string(WTERMSIG(status)) + "\n" + text);
        } else if (WEXITSTATUS(status) != 3 ||
                   text.find("The sound system closed the audio stream") == std::string::npos) {
            failures.push_back(what + ": exit " + std::to_string(WEXITSTATUS(status)) + "\n" + text);
        }
        if (text.find("Running:") == std::string::npos) ++during_start;
        watcher.reset();
    }
    std::filesystem::remove(out);
    // What the killed servers left in shared memory, named after this private server.
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/dev/shm", ec))
        if (e.path().filename().string().find("_" + kServer + "_") != std::string::npos)
            std::filesystem::remove(e.path(), ec);
    for (const std::string& f : failures) ADD_FAILURE() << f;
    // Most kills must land before the stream ran, or the test proves little.
    EXPECT_GE(during_start, kRuns / 4) << "of " << kRuns << " runs";
}

}  // namespace
