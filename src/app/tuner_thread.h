// The tuner's own thread: polls the capture side's input tap every 5 ms,
// runs the analyser over what arrived and publishes the shown frequency. The
// audio thread only copies samples into the tap and never waits for this one.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "engine/input_tap.h"

namespace tw {

class TunerThread {
public:
    static constexpr int kPollMs = 5;
    // With no input for this long (audio stopped) the reading becomes "no note".
    static constexpr int kIdleMs = 150;

    explicit TunerThread(InputTap& tap) : tap_(tap) {}
    ~TunerThread() { stop(); }
    TunerThread(const TunerThread&) = delete;
    TunerThread& operator=(const TunerThread&) = delete;

    // Enables the tap and starts the thread (nothing when running). UI thread.
    void start();
    // Disables the tap and joins the thread. UI thread.
    void stop();
    bool running() const { return thread_.joinable(); }

    // The shown frequency in Hz, 0 for "no note". Any thread.
    double frequency() const { return hz_.load(std::memory_order_acquire); }
    // Input samples analysed since start(); counted after the frequency they
    // gave is published, so a reader that sees the count sees that frequency.
    // Any thread.
    std::uint64_t analysed() const { return analysed_.load(std::memory_order_acquire); }

private:
    void run();

    InputTap& tap_;
    std::thread thread_;
    std::atomic<bool> quit_{false};
    std::atomic<double> hz_{0.0};
    std::atomic<std::uint64_t> analysed_{0};
};

}  // namespace tw
