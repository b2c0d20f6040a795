// libFuzzer target for the face.ini reader: any bytes must give settings
// inside their ranges, and writing them back and reading again must give the
// same settings.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/face_settings.h"
#include "platform/ini_file.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

void check_ranges(const tw::FaceSettings& s) {
    check(s.input >= 0 && s.output >= 0);
    check(s.latency >= 1 && s.latency <= 50);
    check(s.sample_freq >= 0 && s.sample_freq <= 3);
    check(s.usefastwdm == 0 || s.usefastwdm == 1);
    check(s.input_name.size() <= tw::FaceSettings::kMaxNameLength);
    check(s.output_name.size() <= tw::FaceSettings::kMaxNameLength);
    check(s.path.size() <= tw::FaceSettings::kMaxPathLength);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const tw::platform::IniFile ini("/nonexistent/face.ini", text);
    const tw::FaceSettings s = tw::read_face_settings(ini);
    check_ranges(s);

    // What the close writes reads back the same (into a fresh file; the
    // damaged one's other keys are not part of the round trip).
    tw::platform::IniFile fresh("/nonexistent/face.ini", "");
    tw::write_face_settings(fresh, s);
    const tw::FaceSettings back = tw::read_face_settings(fresh);
    check(back.input == s.input && back.output == s.output && back.latency == s.latency);
    check(back.stereo == s.stereo && back.sample_freq == s.sample_freq);
    check(back.input_name == s.input_name && back.output_name == s.output_name);
    check(back.path == (s.path.empty() ? std::string("ERROR") : s.path));
    return 0;
}
