#include "fx/take_stream.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "engine/le_bytes.h"
#include "platform/program_files.h"
#include "platform/write_at.h"

namespace tw {

namespace fs = std::filesystem;
using platform::write_all_at;

namespace {

constexpr auto kTick = std::chrono::milliseconds(10);
constexpr int kTicksPerLook = 10;        // the file follows the take every 100 ms
constexpr int kLooksPerHeader = 10;      // sizes and a flush to disk once a second
constexpr std::size_t kChunkSamples = 32768;
constexpr const char* kPrefix = ".take-";

// "<pid>" of ".take-<pid>-<n>.wav", or 0.
long take_pid(const std::string& name) {
    if (name.rfind(kPrefix, 0) != 0 || name.size() < 11 || name.substr(name.size() - 4) != ".wav") return 0;
    long pid = 0;
    for (std::size_t i = std::char_traits<char>::length(kPrefix); i < name.size() && name[i] != '-'; ++i) {
        if (name[i] < '0' || name[i] > '9' || pid > 4194304) return 0;
        pid = pid * 10 + (name[i] - '0');
    }
    return pid;
}

// Whether process `pid` still runs: it exists and is not a zombie (a killed
// process whose parent has not collected it yet).
bool process_running(long pid) {
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM) return false;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return true;
    const std::size_t close = line.rfind(')');
    return close == std::string::npos || close + 2 >= line.size() || line[close + 2] != 'Z';
}

}  // namespace

std::vector<std::uint8_t> pcm16_wav_header(const TakeFormat& f, std::uint32_t data_bytes) {
    std::vector<std::uint8_t> h(44, 0);
    const std::uint16_t channels = std::max<std::uint16_t>(f.channels, 1);
    const std::uint16_t align = static_cast<std::uint16_t>(2 * channels);
    std::copy_n("RIFF", 4, h.begin());
    store_le32(&h[4], data_bytes + 36);
    std::copy_n("WAVEfmt ", 8, h.begin() + 8);
    store_le32(&h[16], 16);
    store_le16(&h[20], 1);
    store_le16(&h[22], channels);
    store_le32(&h[24], f.rate);
    store_le32(&h[28], f.rate * align);
    store_le16(&h[32], align);
    store_le16(&h[34], 16);
    std::copy_n("data", 4, h.begin() + 36);
    store_le32(&h[40], data_bytes);
    return h;
}

std::string recordings_folder() { return platform::program_file("RECORDINGS"); }

bool TakeStream::start(const std::string& folder, const std::int16_t* memory, CountFn count, FormatFn format,
                       std::string* error) {
    discard();
    std::error_code ec;
    fs::create_directories(folder, ec);
    static std::atomic<int> serial{0};
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        path_ = folder + "/" + kPrefix + std::to_string(::getpid()) + "-" + std::to_string(serial++) + ".wav";
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) {
        if (error) *error = "Cannot keep the take on disk while recording in " + folder + " (" +
                            std::strerror(errno) + "); it is held in memory only until Stop and Save";
        path_.clear();
        return false;
    }
    memory_ = memory;
    count_ = std::move(count);
    format_ = std::move(format);
    written_ = 0;
    chunk_.assign(kChunkSamples * 2, 0);
    behind_.store(0, std::memory_order_relaxed);
    most_behind_.store(0, std::memory_order_relaxed);
    failures_.store(0, std::memory_order_relaxed);
    const auto h = pcm16_wav_header(format_(), 0);
    if (!write_all_at(fd_, 0, h.data(), h.size())) failures_.fetch_add(1, std::memory_order_relaxed);
    stop_.store(false, std::memory_order_relaxed);
    thread_ = std::thread([this] { run(); });
    return true;
}

void TakeStream::discard() {
    if (thread_.joinable()) {
        stop_.store(true, std::memory_order_release);
        thread_.join();
    }
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!path_.empty()) {
        ::unlink(path_.c_str());
        path_.clear();
    }
}

void TakeStream::sync_now() {
    if (!thread_.joinable()) return;
    const std::uint64_t want = sync_request_.fetch_add(1, std::memory_order_acq_rel) + 1;
    while (sync_done_.load(std::memory_order_acquire) < want) std::this_thread::sleep_for(kTick);
}

void TakeStream::catch_up(bool header) {
    const std::int64_t now = std::max<std::int32_t>(count_(), 0);
    if (now < written_) written_ = 0;   // the take was restarted in memory: write it again
    while (written_ < now) {
        const std::int64_t n = std::min<std::int64_t>(now - written_, kChunkSamples);
        for (std::int64_t k = 0; k < n; ++k)
            store_le16(&chunk_[static_cast<std::size_t>(2 * k)], static_cast<std::uint16_t>(memory_[written_ + k]));
        if (!write_all_at(fd_, static_cast<off_t>(44 + 2 * written_), chunk_.data(), static_cast<std::size_t>(2 * n))) {
            failures_.fetch_add(1, std::memory_order_relaxed);
            break;
        }
        written_ += n;
    }
    const std::int64_t behind = 2 * (now - written_);
    behind_.store(behind, std::memory_order_relaxed);
    if (behind > most_behind_.load(std::memory_order_relaxed)) most_behind_.store(behind, std::memory_order_relaxed);
    if (header) {
        const TakeFormat f = format_();
        std::int64_t bytes = 2 * written_;
        bytes -= bytes % (2 * std::max<std::uint16_t>(f.channels, 1));   // whole frames only
        const auto h = pcm16_wav_header(f, static_cast<std::uint32_t>(bytes));
        if (!write_all_at(fd_, 0, h.data(), h.size())) failures_.fetch_add(1, std::memory_order_relaxed);
        (void)::fdatasync(fd_);
    }
}

void TakeStream::run() {
    int looks = 0;
    for (int tick = 0;; ++tick) {
        const bool stopping = stop_.load(std::memory_order_acquire);
        const std::uint64_t request = sync_request_.load(std::memory_order_acquire);
        const bool syncing = request > sync_done_.load(std::memory_order_relaxed);
        if (stopping || syncing || tick % kTicksPerLook == 0) {
            ++looks;
            catch_up(stopping || syncing || looks % kLooksPerHeader == 0);
            if (syncing) sync_done_.store(request, std::memory_order_release);
        }
        if (stopping) return;
        std::this_thread::sleep_for(kTick);
    }
}

std::vector<LeftoverTake> leftover_takes(const std::string& folder) {
    std::vector<LeftoverTake> out;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const long pid = take_pid(name);
        if (pid <= 0) continue;
        // Still being written by a running program (this one or another).
        if (process_running(pid)) continue;
        const std::string path = it->path().string();
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0) continue;
        struct stat st {};
        std::uint8_t h[44] = {};
        const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
        const bool read_ok = regular && ::pread(fd, h, sizeof h, 0) == static_cast<ssize_t>(sizeof h) &&
                             std::equal(h, h + 4, "RIFF") && std::equal(h + 36, h + 40, "data");
        if (!read_ok) {
            ::close(fd);
            continue;
        }
        TakeFormat f;
        f.channels = std::clamp<std::uint16_t>(load_le16(h + 22), 1, 2);
        f.rate = load_le32(h + 24);
        std::int64_t bytes = std::min<std::int64_t>(st.st_size - 44, 0xFFFFFFF0ll);
        bytes -= bytes % (2 * f.channels);
        if (bytes <= 0) {
            ::close(fd);
            fs::remove(it->path(), ec);
            continue;
        }
        // The samples of the last second are in the file; the header is made to say so.
        const auto fixed = pcm16_wav_header(f, static_cast<std::uint32_t>(bytes));
        (void)write_all_at(fd, 0, fixed.data(), fixed.size());
        (void)::ftruncate(fd, static_cast<off_t>(44 + bytes));
        ::close(fd);
        LeftoverTake t;
        t.path = path;
        t.seconds = f.rate > 0 ? static_cast<double>(bytes) / (2.0 * f.channels * f.rate) : 0.0;
        t.modified = static_cast<std::int64_t>(st.st_mtime);
        out.push_back(t);
    }
    std::sort(out.begin(), out.end(), [](const LeftoverTake& a, const LeftoverTake& b) { return a.path < b.path; });
    return out;
}

}  // namespace tw
