// Little-endian loads and stores, byte by byte, whatever the host's order.
// Used for preset records, parameter records and WAV headers. Any thread.
#pragma once

#include <bit>
#include <cstdint>

namespace tw {

inline std::uint16_t load_le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t load_le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void store_le16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void store_le32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}
inline float load_le_f32(const std::uint8_t* p) { return std::bit_cast<float>(load_le32(p)); }
inline void store_le_f32(std::uint8_t* p, float v) { store_le32(p, std::bit_cast<std::uint32_t>(v)); }

}  // namespace tw
