// A fixed-size delay line (ring) of N samples held inside the effect: push a
// sample, read the one pushed d samples ago (d = 0 is the newest), or read
// between two samples with linear interpolation.
//
// Audio thread (or any thread on its own line): no allocation; every read
// position wraps into the line, so no index ever leaves it.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace tw::dsp {

template <typename T, std::size_t N>
class DelayLine {
    static_assert(N >= 2, "a delay line needs at least two samples");
    static_assert(N <= 0x7fffffff, "delay lines are indexed with 32-bit integers");

public:
    static constexpr std::int32_t kSize = static_cast<std::int32_t>(N);

    // Clears the line and moves the write position to 0.
    void reset() {
        line_.fill(T{});
        write_ = 0;
    }

    // Fills every slot with v, keeping the write position.
    void fill(T v) { line_.fill(v); }

    // Stores x as the newest sample.
    void write(T x) {
        if (++write_ == kSize) write_ = 0;
        line_[static_cast<std::size_t>(write_)] = x;
    }

    // The sample written `delay` writes ago; 0 is the newest, N - 1 the
    // oldest. Other values wrap around the line.
    T read(std::int64_t delay) const { return line_[static_cast<std::size_t>(index_of(delay))]; }

    // Between read(floor(delay)) and the older read(floor(delay) + 1),
    // weighted by the fraction. A non-finite delay reads the newest sample.
    T read_fractional(double delay) const {
        if (!std::isfinite(delay)) return read(0);
        const double whole = std::floor(delay);
        const T frac = static_cast<T>(delay - whole);
        const std::int64_t d = static_cast<std::int64_t>(std::fmod(whole, static_cast<double>(N)));
        const T newer = read(d);
        const T older = read(d + 1);
        return newer + (older - newer) * frac;
    }

    // Direct access to slot i (0 .. N - 1) and the slot written last, for
    // effects whose positions are defined on the ring itself.
    T& at(std::int32_t i) { return line_[static_cast<std::size_t>(wrap(i))]; }
    const T& at(std::int32_t i) const { return line_[static_cast<std::size_t>(wrap(i))]; }
    std::int32_t write_position() const { return write_; }

private:
    static std::int32_t wrap(std::int64_t i) {
        if (i >= 0 && i < kSize) return static_cast<std::int32_t>(i);
        std::int64_t m = i % kSize;
        if (m < 0) m += kSize;
        return static_cast<std::int32_t>(m);
    }
    std::int32_t index_of(std::int64_t delay) const { return wrap(static_cast<std::int64_t>(write_) - delay); }

    std::array<T, N> line_{};
    std::int32_t write_ = 0;
};

}  // namespace tw::dsp
