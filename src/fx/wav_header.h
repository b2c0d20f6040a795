// Reading the header of a WAV file for the playback effect: the format
// block after "WAVEfmt", then a byte-by-byte search for the "data" chunk and
// its size. Every failure comes back as the sentence the user is shown.
// The file is untrusted: nothing here reads outside what the source holds.
//
// Threads: any (the source belongs to the caller); the playback effect uses
// it on the UI thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tw {

// Random access to the bytes of a file (or of memory, for tests).
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Size in bytes.
    virtual std::int64_t size() const = 0;
    // Copies up to n bytes from `offset` into dst; returns how many were copied
    // (fewer at the end of the source, 0 past it or on an error).
    virtual std::size_t read_at(std::int64_t offset, void* dst, std::size_t n) const = 0;
};

// Bytes already in memory.
class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::int64_t size() const override { return static_cast<std::int64_t>(bytes_.size()); }
    std::size_t read_at(std::int64_t offset, void* dst, std::size_t n) const override;

private:
    std::span<const std::uint8_t> bytes_;
};

// A file opened for reading only (so read-only files play); closed when
// this object ends.
class FileSource : public ByteSource {
public:
    explicit FileSource(const std::string& path);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    bool is_open() const { return fd_ >= 0; }
    std::int64_t size() const override { return size_; }
    std::size_t read_at(std::int64_t offset, void* dst, std::size_t n) const override;

private:
    int fd_ = -1;
    std::int64_t size_ = 0;
};

inline constexpr std::size_t kFormatBlockBytes = 400;   // largest format block accepted
inline constexpr std::uint32_t kMinFormatSize = 16;
inline constexpr std::int64_t kMinWavFileBytes = 46;
inline constexpr int kLastDataSearchAttempt = 50000;   // attempts 0 .. 50000

struct WavHeader {
    std::array<std::uint8_t, kFormatBlockBytes> fmt_block{};   // zero past fmt_size
    std::uint32_t fmt_size = 0;
    std::int32_t data_size = 0;     // as the file gives it (signed)
    std::int32_t data_offset = 0;   // where the sample data begins

    // The format block as the little-endian WAVEFORMATEX layout.
    std::uint16_t wFormatTag() const { return u16(0); }
    std::uint16_t nChannels() const { return u16(2); }
    std::uint32_t nSamplesPerSec() const { return u32(4); }
    std::uint32_t nAvgBytesPerSec() const { return u32(8); }
    std::uint16_t nBlockAlign() const { return u16(12); }
    std::uint16_t wBitsPerSample() const { return u16(14); }
    std::uint16_t cbSize() const { return u16(16); }

private:
    std::uint16_t u16(int at) const;
    std::uint32_t u32(int at) const;
};

// How reading a header ended: ok, or a failure with its message. `warning`
// tells whether the message is shown as a warning box.
struct WavHeaderResult {
    bool ok = false;
    std::string message;
    bool warning = false;
    WavHeader header;
};

// The header of a file that could be opened. Never reads outside `source`.
WavHeaderResult read_wav_header(const ByteSource& source);

// Opens `path` for reading only and reads its header; a file that cannot be
// opened gives "File access error" (a warning).
WavHeaderResult read_wav_header_file(const std::string& path);

// Why a header that was read cannot be played (no channels, or a data size
// that is negative as a signed 32-bit value), or nullopt when it can.
std::optional<std::string> unplayable_reason(const WavHeader& header);

// The bytes of sample data to load: the declared size, cut to what a file of
// `file_size` bytes holds after the data offset (never negative). Any thread.
std::int32_t data_bytes_in_file(const WavHeader& header, std::int64_t file_size);

}  // namespace tw
