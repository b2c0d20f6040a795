// A take written to disk while it is recorded, so that a crash, a killed
// process or a power cut leaves a playable WAV file behind.
//
// The audio thread stores the take into the Record wav's memory, front to
// back, and publishes its count; a writer thread of this class follows that
// count every 100 ms and appends the new samples to a hidden file
// "RECORDINGS/.take-<pid>-<n>.wav" of the program folder, rewriting the
// header's sizes and flushing the file to disk once a second. The audio
// thread never waits for it: the memory holds the whole take whatever the
// disk does, and how far the file lags is counted (behind_bytes). "Stop and
// Save" writes the take from memory as before; the hidden file is then
// removed. A hidden take whose process is gone is a leftover
// (leftover_takes) that the next start offers back.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace tw {

// The format of a take: 16-bit PCM.
struct TakeFormat {
    std::uint16_t channels = 1;
    std::uint32_t rate = 48000;
};

// The 44-byte header of a 16-bit PCM WAV holding `data_bytes` of samples.
// Any thread.
std::vector<std::uint8_t> pcm16_wav_header(const TakeFormat& format, std::uint32_t data_bytes);

class TakeStream {
public:
    // Reads the take so far: how many 16-bit samples the memory holds (read
    // with acquire order, after the audio thread stored them) and the
    // current format.
    using CountFn = std::function<std::int32_t()>;
    using FormatFn = std::function<TakeFormat()>;

    TakeStream() = default;
    ~TakeStream() { discard(); }
    TakeStream(const TakeStream&) = delete;
    TakeStream& operator=(const TakeStream&) = delete;

    // Starts a new hidden file in `folder` (created when missing) for the
    // take in `memory` and the writer thread that follows it. False with a
    // sentence in `error` when the file cannot be made; the take is then
    // only in memory. A stream already running is discarded first. UI thread.
    bool start(const std::string& folder, const std::int16_t* memory, CountFn count, FormatFn format,
               std::string* error = nullptr);
    // Stops the writer and removes the hidden file (the take was saved, or
    // is given up). UI thread.
    void discard();

    // True while a hidden file is being written. UI thread.
    bool running() const { return thread_.joinable(); }
    // The hidden file ("" when not running). UI thread.
    const std::string& path() const { return path_; }
    // Bytes of the take in memory not yet in the file at the writer's last
    // look, and the most it has been. Any thread.
    std::int64_t behind_bytes() const { return behind_.load(std::memory_order_relaxed); }
    std::int64_t most_behind_bytes() const { return most_behind_.load(std::memory_order_relaxed); }
    // Writes that failed (a full disk): the file then stops growing, the
    // memory keeps the take. Any thread.
    std::int64_t write_failures() const { return failures_.load(std::memory_order_relaxed); }

    // Waits until the file holds every sample counted now, header included
    // (tests and a clean stop). UI thread.
    void sync_now();

private:
    void run();
    void catch_up(bool header);

    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<std::uint64_t> sync_request_{0}, sync_done_{0};
    int fd_ = -1;
    std::string path_;
    const std::int16_t* memory_ = nullptr;
    CountFn count_;
    FormatFn format_;
    std::int64_t written_ = 0;   // samples in the file (writer thread)
    std::vector<std::uint8_t> chunk_;
    std::atomic<std::int64_t> behind_{0}, most_behind_{0}, failures_{0};
};

// A take left by a process that is no longer running.
struct LeftoverTake {
    std::string path;
    double seconds = 0.0;
    std::int64_t modified = 0;   // seconds since 1970
};

// The leftover hidden takes in `folder`, their headers mended to the length
// the file really holds (the last second may not have been written into the
// header). Empty takes are removed. UI thread.
std::vector<LeftoverTake> leftover_takes(const std::string& folder);

// The folder of the takes: "RECORDINGS" in the program folder. Any thread
// after start-up.
std::string recordings_folder();

}  // namespace tw
