// WAV files built byte by byte for the playback and recording tests, and a
// scratch program folder with headless services installed.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/effect_services.h"
#include "platform/headless_services.h"
#include "platform/program_files.h"

namespace tw::test {

inline void put16(std::vector<std::uint8_t>& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
inline void put_text(std::vector<std::uint8_t>& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }

struct WavSpec {
    int channels = 1;
    std::vector<std::int16_t> samples;
    std::string between;                 // raw bytes between the format block and "data"
    std::uint32_t fmt_size = 16;
    std::int64_t declared_data = -1;     // data size written in the header; -1: the real one
    int bits = 16;
    std::uint32_t rate = 48000;
};

inline std::vector<std::uint8_t> wav_bytes(const WavSpec& w) {
    std::vector<std::uint8_t> b;
    const std::uint32_t data = static_cast<std::uint32_t>(w.samples.size() * 2);
    put_text(b, "RIFF");
    put32(b, 0);
    put_text(b, "WAVEfmt ");
    put32(b, w.fmt_size);
    std::vector<std::uint8_t> fmt;
    put16(fmt, 1);
    put16(fmt, static_cast<std::uint32_t>(w.channels));
    put32(fmt, w.rate);
    put32(fmt, w.rate * 2 * static_cast<std::uint32_t>(w.channels));
    put16(fmt, 2 * static_cast<std::uint32_t>(w.channels));
    put16(fmt, static_cast<std::uint32_t>(w.bits));
    fmt.resize(w.fmt_size, 0);
    b.insert(b.end(), fmt.begin(), fmt.end());
    put_text(b, w.between);
    put_text(b, "data");
    put32(b, w.declared_data >= 0 ? static_cast<std::uint32_t>(w.declared_data) : data);
    for (std::int16_t s : w.samples) put16(b, static_cast<std::uint16_t>(s));
    const std::uint32_t riff = static_cast<std::uint32_t>(b.size() - 8);
    for (int i = 0; i < 4; ++i) b[4 + i] = static_cast<std::uint8_t>(riff >> (8 * i));
    return b;
}

inline void write_bytes(const std::string& path, const std::vector<std::uint8_t>& b) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()),
                                                static_cast<std::streamsize>(b.size()));
}

// A fresh program folder and recorded services for each test.
class ScratchFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        old_folder_ = platform::program_folder();
        dir_ = std::filesystem::temp_directory_path() /
               ("tw_wav_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        platform::set_program_folder(dir_.string());
        platform::install_effect_services(&svc);
    }
    void TearDown() override {
        platform::install_effect_services(nullptr);
        platform::set_program_folder(old_folder_);
        std::filesystem::remove_all(dir_);
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    // The texts of the message boxes shown so far.
    std::vector<std::string> shown() const {
        std::vector<std::string> out;
        for (const auto& m : svc.messages.shown()) out.push_back(m.text);
        return out;
    }

    platform::HeadlessServices svc;
    std::filesystem::path dir_;
    std::string old_folder_;
};

}  // namespace tw::test
