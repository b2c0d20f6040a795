// Fuzz target: the band file MTEQ.ini of the multiband distortion. Whatever
// the file holds, a new instance starts with every slider in its range,
// finite gains and thresholds, and closing it writes a file a new instance
// reads back to the same settings.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "fx/MultiTortions.h"
#include "platform/program_files.h"

namespace {

const std::string& fuzz_folder() {
    static const std::string dir = [] {
        const std::filesystem::path p =
            std::filesystem::temp_directory_path() / ("tw_mteq_fuzz_" + std::to_string(::getpid()));
        std::filesystem::create_directories(p);
        tw::platform::set_program_folder(p.string());
        return p.string();
    }();
    return dir;
}

void check(bool ok) {
    if (!ok) std::abort();
}

void check_instance(const tw::TMultiTortion_form& f) {
    for (int b = 0; b < tw::TMultiTortion_form::kBands; ++b) {
        check(f.ScrollBar[b].position() >= 0 && f.ScrollBar[b].position() <= 100);
        check(f.spSkinScrollBar[b].position() >= 0 && f.spSkinScrollBar[b].position() <= 100);
        check(std::isfinite(f.params.band_gain_l[b]) && std::isfinite(f.params.band_gain_r[b]));
        check(f.params.band_gain_l[b] > 0.0f && f.params.band_gain_l[b] <= 11.0f);
        check(std::isfinite(f.params.clip_thr[b]));
    }
    check(std::isfinite(f.params.gain_in) && std::isfinite(f.params.gain_out));
    check(f.params.filter2_on == 0 || f.params.filter2_on == 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string file = fuzz_folder() + "/MTEQ.ini";
    std::ofstream(file, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                  static_cast<std::streamsize>(size));
    tw::TMultiTortion_form a;
    check_instance(a);
    std::filesystem::remove(file);   // a fresh file: what one close writes alone
    a.FormClose();
    tw::TMultiTortion_form b;
    check_instance(b);
    for (int i = 0; i < tw::TMultiTortion_form::kBands; ++i) {
        check(b.ScrollBar[i].position() == a.ScrollBar[i].position());
        check(b.spSkinScrollBar[i].position() == a.spSkinScrollBar[i].position());
    }
    check(b.ScrollBar_gain_In.position() == a.ScrollBar_gain_In.position());
    check(b.CheckBox_Filter2.checked() == a.CheckBox_Filter2.checked());
    check(b.CheckBox_Standard.checked() == a.CheckBox_Standard.checked());
    return 0;
}
