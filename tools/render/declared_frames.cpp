#include "declared_frames.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace tw::render {

namespace {

constexpr std::size_t kHeadBytes = 64 * 1024;
constexpr std::uint32_t kRf64Placeholder = 0xFFFFFFFFu;

std::uint32_t u32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::uint64_t u64(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint64_t>(u32(b, at)) | static_cast<std::uint64_t>(u32(b, at + 4)) << 32;
}
bool tag(std::span<const std::uint8_t> b, std::size_t at, const char* t) { return std::memcmp(&b[at], t, 4) == 0; }

}  // namespace

std::optional<std::int64_t> declared_frames(std::span<const std::uint8_t> head) {
    if (head.size() < 12 || !(tag(head, 0, "RIFF") || tag(head, 0, "RF64")) || !tag(head, 8, "WAVE")) return {};
    std::uint64_t ds64_data = 0;
    std::uint32_t block_align = 0;
    std::size_t at = 12;
    while (at + 8 <= head.size()) {
        const std::uint32_t size = u32(head, at + 4);
        const std::size_t body = at + 8;
        if (tag(head, at, "ds64") && body + 16 <= head.size()) ds64_data = u64(head, body + 8);
        if (tag(head, at, "fmt ") && body + 14 <= head.size()) block_align = u32(head, body + 12) & 0xFFFFu;
        if (tag(head, at, "data")) {
            if (block_align == 0) return {};
            const std::uint64_t bytes = size == kRf64Placeholder && ds64_data != 0 ? ds64_data : size;
            return static_cast<std::int64_t>(bytes / block_align);
        }
        // Chunks are padded to an even size.
        const std::uint64_t next = static_cast<std::uint64_t>(body) + size + (size & 1u);
        if (next > head.size()) return {};
        at = static_cast<std::size_t>(next);
    }
    return {};
}

std::optional<std::int64_t> declared_frames_of_file(const std::string& path) {
    // Only a regular file: reading a pipe here would take bytes from the render.
    struct stat before {};
    if (::stat(path.c_str(), &before) != 0 || !S_ISREG(before.st_mode)) return {};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return {};
    struct stat st {};
    std::vector<std::uint8_t> head(kHeadBytes);
    std::size_t got = 0;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        while (got < head.size()) {
            const ssize_t n = ::pread(fd, head.data() + got, head.size() - got, static_cast<off_t>(got));
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
    }
    ::close(fd);
    return declared_frames(std::span<const std::uint8_t>(head.data(), got));
}

}  // namespace tw::render
