// Field access to a parameter record at byte offsets. Out-of-range offsets
// read 0 and write nothing, so a mistyped offset can never overrun the record.
// Any thread (the record belongs to the caller).
#pragma once

#include <cstdint>

#include "engine/effect_types.h"
#include "engine/le_bytes.h"

namespace tw {

inline bool record_fits(int offset, int size) { return offset >= 0 && offset + size <= kParamRecordBytes; }

inline std::int32_t rec_get_i32(const ParamRecord& r, int offset) {
    return record_fits(offset, 4) ? static_cast<std::int32_t>(load_le32(&r.bytes[offset])) : 0;
}
inline void rec_set_i32(ParamRecord& r, int offset, std::int32_t v) {
    if (record_fits(offset, 4)) store_le32(&r.bytes[offset], static_cast<std::uint32_t>(v));
}
inline float rec_get_f32(const ParamRecord& r, int offset) {
    return record_fits(offset, 4) ? load_le_f32(&r.bytes[offset]) : 0.0f;
}
inline void rec_set_f32(ParamRecord& r, int offset, float v) {
    if (record_fits(offset, 4)) store_le_f32(&r.bytes[offset], v);
}
inline std::uint8_t rec_get_u8(const ParamRecord& r, int offset) {
    return record_fits(offset, 1) ? r.bytes[offset] : 0;
}
inline void rec_set_u8(ParamRecord& r, int offset, std::uint8_t v) {
    if (record_fits(offset, 1)) r.bytes[offset] = v;
}

}  // namespace tw
