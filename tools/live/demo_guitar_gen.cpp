// Writes the built-in demo input's guitar loop (the plucked-string riff) as a
// 48000 Hz mono 16-bit WAV. Run by the build: demo_guitar_gen OUTPUT.wav
#include <sndfile.h>

#include <cstdio>
#include <string>

#include "engine/demo_guitar.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.wav\n", argv[0]);
        return 2;
    }
    const std::string out = argv[1];
    const std::string tmp = out + ".part";
    const auto riff = tw::audio::synthesize_demo_guitar(48000);
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(tmp.c_str(), SFM_WRITE, &info);
    if (!f) {
        std::fprintf(stderr, "cannot write %s: %s\n", tmp.c_str(), sf_strerror(nullptr));
        return 1;
    }
    const sf_count_t n = static_cast<sf_count_t>(riff.size());
    const bool ok = sf_writef_float(f, riff.data(), n) == n;
    sf_close(f);
    if (!ok || std::rename(tmp.c_str(), out.c_str()) != 0) {
        std::remove(tmp.c_str());
        std::fprintf(stderr, "cannot write %s\n", out.c_str());
        return 1;
    }
    return 0;
}
