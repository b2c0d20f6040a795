// Runs a chain holding one instance of every built kind on a separate thread
// and counts the heap allocations made on that thread while process_chain runs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <thread>
#include <vector>

#include "engine/effects.h"
#include "fx/effect_form.h"
#include "fx/kinds.h"
#include "fx/cabinet_form.h"
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

// A 32-bit float mono WAV of `taps` at `rate`, for the cabinet below.
void write_float_wav(const std::string& path, const std::vector<float>& taps, std::uint32_t rate) {
    std::vector<std::uint8_t> b;
    auto u32 = [&](std::uint32_t v) { for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i))); };
    auto u16 = [&](std::uint32_t v) { for (int i = 0; i < 2; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i))); };
    auto text = [&](const char* t) { b.insert(b.end(), t, t + 4); };
    const auto data = static_cast<std::uint32_t>(4 * taps.size());
    text("RIFF"); u32(36 + data); text("WAVE"); text("fmt "); u32(16);
    u16(3); u16(1); u32(rate); u32(4 * rate); u16(4); u16(32);
    text("data"); u32(data);
    for (float v : taps) { std::uint32_t u; std::memcpy(&u, &v, 4); u32(u); }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// The cabinet while the window swaps its IR (built on this thread, handed
// over in one step) and the audio thread changes rate: nothing allocates on
// the audio thread.
TEST(AudioPath, NoAllocationWhileTheCabinetSwapsItsIrAndTheRateChanges) {
    const auto dir = std::filesystem::temp_directory_path() / ("tw_cab_alloc_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::vector<float> a(24000), b(9000);
    for (std::size_t i = 0; i < a.size(); ++i) a[i] = std::exp(-0.0005f * static_cast<float>(i)) * std::sin(0.3f * static_cast<float>(i));
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = std::exp(-0.001f * static_cast<float>(i)) * std::cos(0.2f * static_cast<float>(i));
    write_float_wav((dir / "a.wav").string(), a, 48000);
    write_float_wav((dir / "b.wav").string(), b, 44100);
    TCabinet_form cab;
    ASSERT_TRUE(cab.load_ir((dir / "a.wav").string()));

    std::atomic<int> blocks{0};
    long allocations = -1;
    double checksum = 0.0;
    std::thread audio([&] {
        std::vector<float> buf(2 * 2048);
        const long before = audio_allocations.load();
        counting = true;
        const int rates[] = {48000, 44100, 22050, 32075, 48000};
        for (int run = 0; run < 1500; ++run) {
            const int frames = run % 7 == 0 ? 2048 : (run % 3 == 0 ? 37 : 64);
            for (int i = 0; i < 2 * frames; ++i) buf[static_cast<std::size_t>(i)] = static_cast<float>(8000.0 * std::sin(0.01 * (i + run)));
            cab.process(frames, rates[run / 300], run % 5 == 0 ? 1 : 2, buf.data());
            checksum += buf[0];
            blocks.fetch_add(1);
        }
        counting = false;
        allocations = audio_allocations.load() - before;
    });
    // Swaps while the audio runs: to b, to a, to a file that is not there
    // (the slot passes dry), back to b.
    const char* order[] = {"b.wav", "a.wav", "missing.wav", "b.wav"};
    for (int i = 0; i < 4; ++i) {
        while (blocks.load() < 300 * i + 150) std::this_thread::yield();
        cab.load_ir((dir / order[i]).string());
    }
    audio.join();
    EXPECT_EQ(allocations, 0) << "the cabinet allocated on the audio path";
    EXPECT_TRUE(std::isfinite(checksum));
    std::filesystem::remove_all(dir);
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
