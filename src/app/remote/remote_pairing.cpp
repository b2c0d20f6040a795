#include "app/remote/remote_pairing.h"

#include <algorithm>
#include <random>

namespace tw::remote {

Pairing::Pairing() {
    std::random_device rd;
    std::uniform_int_distribution<int> digit(0, 9);
    for (int i = 0; i < kDigits; ++i) code_ += static_cast<char>('0' + digit(rd));
}

std::int64_t Pairing::wait_ms() const {
    if (failures_ < kFreeFailures) return 0;
    std::int64_t w = kFirstWaitMs;
    for (int i = kFreeFailures; i < failures_ && w < kMaxWaitMs; ++i) w *= 2;
    return std::min(w, kMaxWaitMs);
}

std::int64_t Pairing::wait_left(std::int64_t now_ms) const {
    return std::max<std::int64_t>(0, last_failure_ms_ + wait_ms() - now_ms);
}

Pairing::Result Pairing::check(const std::string& code, std::int64_t now_ms) {
    if (wait_left(now_ms) > 0) return Result::Wait;
    // Every digit is compared, so the time taken does not tell how many matched.
    bool same = code.size() == code_.size();
    unsigned diff = 0;
    for (std::size_t i = 0; i < code_.size(); ++i) diff |= static_cast<unsigned>(code_[i] ^ (i < code.size() ? code[i] : 0));
    same = same && diff == 0;
    if (same) {
        failures_ = 0;
        return Result::Accepted;
    }
    ++failures_;
    last_failure_ms_ = now_ms;
    return Result::Refused;
}

bool RateCap::take(std::int64_t now_ms) {
    if (last_ms_ >= 0 && now_ms > last_ms_)
        tokens_ = std::min(kBurst, tokens_ + static_cast<double>(now_ms - last_ms_) * kPerSecond / 1000.0);
    if (last_ms_ < 0 || now_ms > last_ms_) last_ms_ = now_ms;
    if (tokens_ < 1.0) return false;
    tokens_ -= 1.0;
    return true;
}

}  // namespace tw::remote
