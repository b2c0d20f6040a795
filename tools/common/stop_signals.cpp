#include "stop_signals.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <exception>
#include <thread>

#include "platform/atomic_write.h"

namespace tw::tools {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2};
constexpr auto kPollStep = std::chrono::milliseconds(50);

std::atomic<int> g_signal{0};

// The stop signals this process takes: those it was started ignoring stay
// ignored (nohup's SIGHUP, SIGINT of a job started with & by a script).
sigset_t stop_set() {
    static const sigset_t set = [] {
        sigset_t s;
        sigemptyset(&s);
        for (int sig : kStopSignals) {
            struct sigaction old {};
            if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
            sigaddset(&s, sig);
        }
        return s;
    }();
    return set;
}

// The job's thread sends this to the main thread when it ends, so the main
// thread's wait ends at once rather than at its next poll.
int wake_signal() { return SIGRTMIN; }

// Takes one pending stop signal, waiting at most `wait`; the first one is
// kept. The wake signal only ends the wait.
void take_signal(std::chrono::nanoseconds wait) {
    sigset_t set = stop_set();
    sigaddset(&set, wake_signal());
    if (wait < std::chrono::nanoseconds(0)) wait = std::chrono::nanoseconds(0);
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(wait.count() / 1000000000);
    ts.tv_nsec = static_cast<long>(wait.count() % 1000000000);
    const int s = ::sigtimedwait(&set, nullptr, &ts);
    if (s > 0 && s != wake_signal()) {
        int none = 0;
        g_signal.compare_exchange_strong(none, s);
    }
}

}  // namespace

void block_stop_signals() {
    sigset_t set = stop_set();
    sigaddset(&set, wake_signal());
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int stop_signal() { return g_signal.load(); }

std::string signal_name(int sig) {
    switch (sig) {
        case SIGINT: return "SIGINT";
        case SIGTERM: return "SIGTERM";
        case SIGHUP: return "SIGHUP";
        case SIGPIPE: return "SIGPIPE";
        case SIGALRM: return "SIGALRM";
        case SIGUSR1: return "SIGUSR1";
        case SIGUSR2: return "SIGUSR2";
        default: return "signal " + std::to_string(sig);
    }
}

bool wait_for_stop_until(std::chrono::steady_clock::time_point deadline) {
    while (!stop_requested()) {
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::nanoseconds(0)) break;
        take_signal(std::min<std::chrono::nanoseconds>(left, kPollStep));
    }
    return stop_requested();
}

void run_stoppable(const std::function<void()>& job, const std::string& tool, const std::string& stuck_note,
                   std::chrono::milliseconds grace) {
    std::atomic<bool> done{false};
    std::exception_ptr thrown;
    const pthread_t main_thread = ::pthread_self();
    std::thread worker([&] {
        try {
            job();
        } catch (...) {
            thrown = std::current_exception();
        }
        done.store(true);
        ::pthread_kill(main_thread, wake_signal());
    });
    while (!done.load() && !stop_requested()) take_signal(kPollStep);
    const auto give_up = std::chrono::steady_clock::now() + grace;
    while (!done.load() && std::chrono::steady_clock::now() < give_up) std::this_thread::sleep_for(kPollStep / 5);
    if (!done.load()) {
        // The job waits in a call that no flag reaches; end the process
        // without it, leaving no half-written file behind.
        tw::platform::abandon_unfinished_files();
        std::fprintf(stderr, "%s: stopped by %s %s\n", tool.c_str(), signal_name(stop_signal()).c_str(),
                     stuck_note.c_str());
        std::fflush(stderr);
        std::fflush(stdout);
        ::_exit(1);
    }
    worker.join();
    if (thrown) std::rethrow_exception(thrown);
}

}  // namespace tw::tools
