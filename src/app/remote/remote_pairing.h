// The remote's pairing code and its guard against guessing: a few wrong
// codes are answered at once, then each further try must wait twice as long
// as the one before (up to kMaxWaitMs), counted over every connection, so a
// six-digit code cannot be run through. A right code clears the count.
//
// Threads: UI thread (one object, used by the hub).
#pragma once

#include <cstdint>
#include <string>

namespace tw::remote {

class Pairing {
public:
    static constexpr int kDigits = 6;
    static constexpr int kFreeFailures = 3;
    static constexpr std::int64_t kFirstWaitMs = 1000;
    static constexpr std::int64_t kMaxWaitMs = 30000;

    // A random code of kDigits digits (std::random_device). UI thread.
    Pairing();
    // A given code (tests). UI thread.
    explicit Pairing(std::string code) : code_(std::move(code)) {}

    const std::string& code() const { return code_; }

    enum class Result { Accepted, Refused, Wait };
    // Checks a try at time `now_ms` (a steady clock). Wait: a try came before
    // wait_ms() had passed since the last failure; it is not compared and
    // not counted. UI thread.
    Result check(const std::string& code, std::int64_t now_ms);
    // How long the next try must wait after the last failure, in ms (0 while
    // the free failures last). UI thread.
    std::int64_t wait_ms() const;
    // Milliseconds left at `now_ms` before a try is compared again. UI thread.
    std::int64_t wait_left(std::int64_t now_ms) const;
    int failures() const { return failures_; }

private:
    std::string code_;
    int failures_ = 0;
    std::int64_t last_failure_ms_ = 0;
};

// A per-connection cap on messages: a bucket of kBurst tokens refilled at
// kPerSecond; each message takes one, a message finding none is refused.
// UI thread.
class RateCap {
public:
    static constexpr double kPerSecond = 30;
    static constexpr double kBurst = 40;
    // True when a message at `now_ms` is within the cap.
    bool take(std::int64_t now_ms);

private:
    double tokens_ = kBurst;
    std::int64_t last_ms_ = -1;
};

}  // namespace tw::remote
