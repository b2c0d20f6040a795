#include "fx/sample_memory.h"

#include <unistd.h>

#include <atomic>

namespace tw {

namespace {
std::atomic<std::int64_t> limit_override{0};

std::int64_t physical_memory() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long page = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page <= 0) return INT64_MAX;
    return static_cast<std::int64_t>(pages) * page;
}
}  // namespace

void set_sample_memory_limit(std::int64_t bytes) { limit_override.store(bytes > 0 ? bytes : 0); }

std::int64_t sample_memory_limit() {
    const std::int64_t o = limit_override.load();
    return o > 0 ? o : physical_memory();
}

SampleMemory SampleMemory::allocate(std::int64_t bytes) {
    SampleMemory m;
    if (bytes < 0 || bytes > sample_memory_limit()) return m;
    const std::size_t samples = static_cast<std::size_t>((bytes + 1) / 2);
    // calloc: large blocks come zeroed from the system without being touched.
    auto* p = static_cast<std::int16_t*>(std::calloc(samples > 0 ? samples : 1, sizeof(std::int16_t)));
    if (p == nullptr) return m;
    m.data_.reset(p);
    m.bytes_ = static_cast<std::int64_t>(samples) * 2;
    return m;
}

}  // namespace tw
