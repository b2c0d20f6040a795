// Runs a chain holding one instance of every built kind on a separate thread
// and counts the heap allocations made on that thread while process_chain runs.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <thread>
#include <vector>

#include "engine/effects.h"
#include "fx/effect_form.h"
#include "fx/kinds.h"
#include "fx/limiter_form.h"

namespace {
thread_local bool counting = false;
std::atomic<long> audio_allocations{0};

void note_allocation() {
    if (counting) audio_allocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

void* operator new(std::size_t n) {
    note_allocation();
    if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
    note_allocation();
    if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    note_allocation();
    return std::malloc(n == 0 ? 1 : n);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    note_allocation();
    return std::malloc(n == 0 ? 1 : n);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// Plain C allocations too (the sanitizers bring their own allocator).
extern "C" void* __libc_malloc(std::size_t);
extern "C" void* __libc_calloc(std::size_t, std::size_t);
extern "C" void* __libc_realloc(void*, std::size_t);
extern "C" void* malloc(std::size_t n) {
    note_allocation();
    return __libc_malloc(n);
}
extern "C" void* calloc(std::size_t a, std::size_t b) {
    note_allocation();
    return __libc_calloc(a, b);
}
extern "C" void* realloc(void* p, std::size_t n) {
    note_allocation();
    return __libc_realloc(p, n);
}
#endif

namespace tw {
namespace {

TEST(AudioPath, NoAllocationWhileEveryKindRuns) {
    reset_engine();
    EffectRegistry* reg = init_kind_registry();
    ChainTable t;
    std::vector<Instance> made;
    for (int k = 1; k <= reg->last_kind; ++k) {
        Instance inst = reg->create[k]();
        t.slot[t.count].process = reg->process[k];
        t.slot[t.count].params = reg->params[k];
        t.slot[t.count].kind = k;
        t.slot[t.count].instance = inst;
        t.slot[t.count].enabled = 1;
        ++t.count;
        if (inst) made.push_back(inst);
    }
    // The Distortion (Simple) also in its soft-limiter / power-law modes (the
    // block power paths); the loop above made it in mode 0.
    for (const std::int32_t mode : {1, 2}) {
        Instance inst = reg->create[kKindLimiter]();
        auto* lim = static_cast<Tlimiter_form*>(inst);
        lim->params.mode = mode;
        lim->publish();
        t.slot[t.count].process = reg->process[kKindLimiter];
        t.slot[t.count].params = reg->params[kKindLimiter];
        t.slot[t.count].kind = kKindLimiter;
        t.slot[t.count].instance = inst;
        t.slot[t.count].enabled = 1;
        ++t.count;
        made.push_back(inst);
    }
    commit_chain(t);

    long allocations = -1;
    double checksum = 0.0;
    std::thread audio([&] {
        std::vector<float> buf(2 * 2048);
        counting = true;
        for (int run = 0; run < 200; ++run) {
            const int channels = run % 2 == 0 ? 2 : 1;
            const int frames = run % 3 == 0 ? 2048 : 256;
            for (std::size_t i = 0; i < buf.size(); ++i)
                buf[i] = static_cast<float>(8000.0 * std::sin(0.01 * static_cast<double>(i + run)));
            process_chain(frames, 48000, channels, buf.data());
            checksum += buf[0];
        }
        counting = false;
        allocations = audio_allocations.load();
    });
    audio.join();
    EXPECT_EQ(allocations, 0) << "the audio path allocated";
    EXPECT_TRUE(std::isfinite(checksum));

    reset_engine();
    for (Instance i : made) delete i;
}

// A preset change on the audio thread: the crossfade and the old chain's
// tail (both chains hold every kind) allocate nothing either.
TEST(AudioPath, NoAllocationWhileAPresetChangeFadesAndRingsOut) {
    reset_engine();
    EffectRegistry* reg = init_kind_registry();
    std::vector<Instance> made;
    auto every_kind = [&] {
        ChainTable t;
        for (int k = 1; k <= reg->last_kind; ++k) {
            Instance inst = reg->create[k]();
            t.slot[t.count] = ChainSlot{reg->process[k], inst, reg->params[k], k, 1, {}};
            ++t.count;
            if (inst) made.push_back(inst);
        }
        return t;
    };
    commit_chain(every_kind());
    default_chain().commit_faded(every_kind(), 20, 100);
    long allocations = -1;
    std::thread audio([&] {
        std::vector<float> buf(2 * 2048);
        counting = true;
        // 40 buffers of 256 frames: 213 ms, past the fade and the tail.
        for (int run = 0; run < 40; ++run) {
            for (std::size_t i = 0; i < buf.size(); ++i)
                buf[i] = static_cast<float>(8000.0 * std::sin(0.01 * static_cast<double>(i + run)));
            process_chain(run % 5 == 0 ? 2048 : 256, 48000, 2, buf.data());
        }
        counting = false;
        allocations = audio_allocations.load();
    });
    audio.join();
    EXPECT_EQ(allocations, 0) << "the switch allocated on the audio path";
    EXPECT_TRUE(default_chain().release_retired());
    reset_engine();
    for (Instance i : made) delete i;
}

TEST(AudioPath, TheCounterSeesAnAllocation) {
    // Guards the test above against a counter that never counts.
    const long before = audio_allocations.load();
    counting = true;
    auto* p = new std::vector<int>(100);
    counting = false;
    delete p;
    EXPECT_GT(audio_allocations.load(), before);
}

}  // namespace
}  // namespace tw
