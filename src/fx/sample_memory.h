// Zeroed memory of 16-bit samples for the WAV effects, allocated on the UI
// thread. A request larger than the machine's memory (or than a limit a
// test sets) fails like any allocation that finds no memory, instead of
// succeeding on paper and failing later when the pages are touched.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace tw {

class SampleMemory {
public:
    SampleMemory() = default;

    // `bytes` zeroed bytes (rounded up to whole samples), or an empty object
    // when the memory cannot be had. UI thread.
    static SampleMemory allocate(std::int64_t bytes);

    std::int16_t* data() const { return data_.get(); }
    std::int64_t bytes() const { return bytes_; }
    explicit operator bool() const { return data_ != nullptr; }
    // Releases the memory. UI thread.
    void reset() {
        data_.reset();
        bytes_ = 0;
    }

private:
    struct Free {
        void operator()(std::int16_t* p) const { std::free(p); }
    };
    std::unique_ptr<std::int16_t, Free> data_;
    std::int64_t bytes_ = 0;
};

// The largest request allocate() tries; by default the machine's physical
// memory. A value <= 0 restores the default. UI thread.
void set_sample_memory_limit(std::int64_t bytes);
std::int64_t sample_memory_limit();

}  // namespace tw
