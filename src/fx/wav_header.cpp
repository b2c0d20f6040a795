#include "fx/wav_header.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "engine/le_bytes.h"

namespace tw {

std::size_t MemorySource::read_at(std::int64_t offset, void* dst, std::size_t n) const {
    if (offset < 0 || offset >= size()) return 0;
    const std::size_t avail = bytes_.size() - static_cast<std::size_t>(offset);
    const std::size_t k = std::min(n, avail);
    std::memcpy(dst, bytes_.data() + offset, k);
    return k;
}

FileSource::FileSource(const std::string& path) {
    // Non-blocking, so a named pipe or a device cannot hold the caller at the
    // open; anything but a regular file is refused below.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) return;
    struct stat st {};
    // Only a regular file has a size to trust; a folder or a pipe is refused.
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    size_ = static_cast<std::int64_t>(st.st_size);
}

FileSource::~FileSource() {
    if (fd_ >= 0) ::close(fd_);
}

std::size_t FileSource::read_at(std::int64_t offset, void* dst, std::size_t n) const {
    if (fd_ < 0 || offset < 0) return 0;
    std::size_t done = 0;
    auto* out = static_cast<unsigned char*>(dst);
    while (done < n) {
        const ssize_t got = ::pread(fd_, out + done, n - done, static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

std::uint16_t WavHeader::u16(int at) const { return load_le16(&fmt_block[static_cast<std::size_t>(at)]); }
std::uint32_t WavHeader::u32(int at) const { return load_le32(&fmt_block[static_cast<std::size_t>(at)]); }

namespace {

WavHeaderResult failure(std::string message, bool warning = false) {
    WavHeaderResult r;
    r.message = std::move(message);
    r.warning = warning;
    return r;
}

}  // namespace

WavHeaderResult read_wav_header(const ByteSource& src) {
    if (src.size() < kMinWavFileBytes) return failure("Too small file! There is no space for WaveFormatEx!", true);

    // The 8 bytes at offset 8 taken as a text that ends at the first NUL.
    char ident[8] = {};
    src.read_at(8, ident, sizeof ident);
    const std::string_view ident_text(ident, strnlen(ident, sizeof ident));
    if (ident_text.find("WAVEfmt") == std::string_view::npos) return failure("WAVEfmt Substring not found");

    std::uint8_t size_bytes[4] = {};
    src.read_at(16, size_bytes, 4);
    WavHeaderResult r;
    WavHeader& h = r.header;
    h.fmt_size = load_le32(size_bytes);
    if (h.fmt_size < kMinFormatSize) return failure("Too small size of Wave-Format-Size sructure");
    if (h.fmt_size > kFormatBlockBytes) return failure("Too big size of Wave-Format-Size sructure");
    h.fmt_block.fill(0);
    src.read_at(20, h.fmt_block.data(), h.fmt_size);

    // "data" is searched one byte at a time from the end of the format
    // block; chunk sizes are not used. Past the end of the file no attempt
    // can succeed, so the search ends there.
    std::int64_t pos = 20 + static_cast<std::int64_t>(h.fmt_size);
    bool found = false;
    for (int attempt = 0; attempt <= kLastDataSearchAttempt; ++attempt, ++pos) {
        char tag[4];
        if (src.read_at(pos, tag, 4) != 4) break;
        if (std::memcmp(tag, "data", 4) == 0) {
            found = true;
            break;
        }
    }
    if (!found) return failure("data Substring not found");

    std::uint8_t data_size_bytes[4];
    if (src.read_at(pos + 4, data_size_bytes, 4) != 4)
        return failure("The wav file ends right after \"data\", before the size of its sample data.");
    h.data_size = static_cast<std::int32_t>(load_le32(data_size_bytes));
    h.data_offset = static_cast<std::int32_t>(pos + 8);
    r.ok = true;
    return r;
}

WavHeaderResult read_wav_header_file(const std::string& path) {
    FileSource file(path);
    if (!file.is_open()) return failure("File access error", true);
    return read_wav_header(file);
}

std::optional<std::string> unplayable_reason(const WavHeader& h) {
    if (h.nChannels() == 0)
        return std::string("The wav file declares 0 channels, so it has no frames to play. Choose a wav file with 1 or 2 channels.");
    if (h.data_size < 0)
        return std::string("The wav file declares more than 2 GB of sample data, more than can be played. Choose a smaller wav file.");
    return std::nullopt;
}

std::int32_t data_bytes_in_file(const WavHeader& h, std::int64_t file_size) {
    const std::int64_t held = std::max<std::int64_t>(0, file_size - h.data_offset);
    // A size past the file's end would allocate (up to 2 GB) for bytes that
    // are not there: unbounded growth.
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(h.data_size, 0, held));
}

}  // namespace tw
