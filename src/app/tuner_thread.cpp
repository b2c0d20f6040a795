#include "app/tuner_thread.h"

#include <chrono>

#include "app/tuner_analyser.h"

namespace tw {

void TunerThread::start() {
    if (thread_.joinable()) return;
    quit_.store(false);
    hz_.store(0.0, std::memory_order_relaxed);
    analysed_.store(0, std::memory_order_relaxed);
    tap_.discard();  // the reader side, before the reader exists
    tap_.set_enabled(true);
    thread_ = std::thread([this] { run(); });
}

void TunerThread::stop() {
    if (!thread_.joinable()) return;
    tap_.set_enabled(false);
    quit_.store(true);
    thread_.join();
    hz_.store(0.0, std::memory_order_relaxed);
}

void TunerThread::run() {
    TunerAnalyser analyser;
    analyser.configure(tap_.sample_rate());
    float block[1024];
    int idle_ms = 0;
    while (!quit_.load(std::memory_order_relaxed)) {
        const std::size_t n = tap_.read(block, std::size(block));
        if (n > 0) {
            idle_ms = 0;
            // A restart at another rate: begin afresh at that rate.
            if (tap_.sample_rate() != analyser.input_rate()) analyser.configure(tap_.sample_rate());
            analyser.feed(block, n);
            hz_.store(analyser.frequency(), std::memory_order_relaxed);
            analysed_.fetch_add(n, std::memory_order_release);
            if (n == std::size(block)) continue;
        } else if ((idle_ms += kPollMs) >= kIdleMs && analyser.frequency() > 0.0) {
            analyser.configure(analyser.input_rate());
            hz_.store(0.0, std::memory_order_relaxed);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
}

}  // namespace tw
