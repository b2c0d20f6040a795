#include "fx/relayout_guard.h"

#include <chrono>
#include <thread>

namespace tw {

void RelayoutGuard::begin_relayout() {
    std::int32_t expected = kIdle;
    for (int spins = 0; !word_.compare_exchange_weak(expected, kRelaying, std::memory_order_acquire,
                                                      std::memory_order_relaxed);
         ++spins) {
        expected = kIdle;
        if (spins < 64) {
            std::this_thread::yield();
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    }
}

}  // namespace tw
