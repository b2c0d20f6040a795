#include "presets/preset_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "engine/le_bytes.h"
#include "fx/kinds.h"
#include "platform/atomic_write.h"

namespace tw {

namespace {

bool valid_slot(int s) { return s >= 0 && s < kPresetSlots; }
int param_offset(int s, int w) { return kPresetOffParams + kParamRecordBytes * s + 4 * w; }

// Old kind numbering (versions below 303) -> current kind, indexed by old kind.
constexpr std::int32_t kOldToNew[14] = {0, 13, 4, 3, 6, 7, 9, 2, 11, 8, 5, 12, 10, 1};

}  // namespace

std::int16_t PresetRecord::version() const {
    return static_cast<std::int16_t>(load_le16(&bytes[kPresetOffVersion]));
}
void PresetRecord::set_version(std::int16_t v) {
    store_le16(&bytes[kPresetOffVersion], static_cast<std::uint16_t>(v));
}
std::int32_t PresetRecord::kind(int s) const {
    return valid_slot(s) ? static_cast<std::int32_t>(load_le32(&bytes[kPresetOffKind + 4 * s])) : 0;
}
void PresetRecord::set_kind(int s, std::int32_t k) {
    if (valid_slot(s)) store_le32(&bytes[kPresetOffKind + 4 * s], static_cast<std::uint32_t>(k));
}
std::int32_t PresetRecord::enabled(int s) const {
    return valid_slot(s) ? static_cast<std::int32_t>(load_le32(&bytes[kPresetOffEnabled + 4 * s])) : 0;
}
void PresetRecord::set_enabled(int s, std::int32_t e) {
    if (valid_slot(s)) store_le32(&bytes[kPresetOffEnabled + 4 * s], static_cast<std::uint32_t>(e));
}
std::int32_t PresetRecord::param_word(int s, int w) const {
    if (!valid_slot(s) || w < 0 || w >= kParamRecordWords) return 0;
    return static_cast<std::int32_t>(load_le32(&bytes[param_offset(s, w)]));
}
void PresetRecord::set_param_word(int s, int w, std::int32_t v) {
    if (!valid_slot(s) || w < 0 || w >= kParamRecordWords) return;
    store_le32(&bytes[param_offset(s, w)], static_cast<std::uint32_t>(v));
}
void PresetRecord::get_params(int s, ParamRecord& out) const {
    if (!valid_slot(s)) return;
    std::memcpy(out.bytes.data(), &bytes[param_offset(s, 0)], 4 * kPresetStoredWords);
}
void PresetRecord::set_params(int s, const ParamRecord& in) {
    if (!valid_slot(s)) return;
    std::memcpy(&bytes[param_offset(s, 0)], in.bytes.data(), 4 * kPresetStoredWords);
}

std::int32_t convert_old_kind(std::int32_t old_kind) {
    if (old_kind < 0 || old_kind > 13) return old_kind;
    return kOldToNew[old_kind];
}

std::int32_t effective_kind(const PresetRecord& rec, int s) {
    std::int32_t k = rec.kind(s);
    if (rec.version() < kPresetVersion) k = convert_old_kind(k);
    // The kind lists hold kKindCount items; anything else loads as an empty slot.
    if (k < 0 || k >= kKindCount) k = kKindEmpty;
    return k;
}

bool looks_like_preset(const PresetRecord& rec, std::string* why) {
    const int v = rec.version();
    if (v < 0 || v > kPresetVersion) {
        if (why) *why = "its format version " + std::to_string(v) + " is not one this program knows (0..303)";
        return false;
    }
    for (int s = 0; s < kPresetUsedSlots; ++s) {
        std::int32_t k = rec.kind(s);
        if (v < kPresetVersion) k = convert_old_kind(k);
        if (k < 0 || k >= kKindCount) {
            if (why) *why = "row " + std::to_string(s + 1) + " holds the unknown effect kind " + std::to_string(k);
            return false;
        }
    }
    return true;
}

bool read_preset_record(const std::string& path, PresetRecord& out, std::string* error) {
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    const int open_errno = errno;
    std::error_code ec;
    if (!in || std::filesystem::is_directory(path, ec)) {
        if (error) {
            *error = "cannot open " + path;
            if (std::filesystem::is_directory(path, ec)) *error += ": it is a folder";
            else if (open_errno != 0) *error += std::string(": ") + std::strerror(open_errno);
        }
        return false;
    }
    PresetRecord tmp;
    in.read(reinterpret_cast<char*>(tmp.bytes.data()), kPresetRecordBytes);
    if (in.gcount() != kPresetRecordBytes) {
        if (error) {
            *error = path + " is not a preset file: it holds " + std::to_string(in.gcount()) + " bytes, a preset holds " +
                     std::to_string(kPresetRecordBytes);
        }
        return false;
    }
    out = tmp;
    return true;
}

bool write_preset_record(const std::string& path, const PresetRecord& rec, std::string* error) {
    return platform::write_file_atomically(path, rec.bytes.data(), rec.bytes.size(), error);
}

}  // namespace tw
