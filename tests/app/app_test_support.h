// Pieces the main form tests share: a private program folder (PRESETS/,
// face.ini) that replaces the real one while a test runs, preset files that
// put one kind in row 1, and a main form on fake devices.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "fx/kind_ids.h"
#include "app/chain_presets.h"
#include "app/main_form.h"
#include "app/program_folder.h"
#include "audio/fake_backend.h"
#include "engine/effects.h"
#include "presets/preset_file.h"

namespace tw::test {

class TempHome {
public:
    TempHome() : saved_(program_folder()) {
        std::string t = (std::filesystem::temp_directory_path() / "tw_home_XXXXXX").string();
        dir_ = ::mkdtemp(t.data());
        std::filesystem::create_directories(dir_ + "/PRESETS");
        set_program_folder(dir_);
    }
    ~TempHome() {
        set_program_folder(saved_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    const std::string& dir() const { return dir_; }
    std::string path(const std::string& rel) const { return dir_ + "/" + rel; }
    // PRESETS/<name>: row 1 holds `kind`, on.
    std::string add_preset(const std::string& name, int kind = kKindGain) const {
        PresetRecord r;
        r.set_version(kPresetVersion);
        r.set_kind(0, kind);
        r.set_enabled(0, 1);
        const std::string p = path("PRESETS/" + name);
        EXPECT_TRUE(write_preset_record(p, r));
        return p;
    }
    void write(const std::string& rel, const std::string& text) const {
        std::ofstream(path(rel), std::ios::binary) << text;
    }
    std::string read(const std::string& rel) const {
        std::ifstream in(path(rel), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    std::string saved_;
    std::string dir_;
};

// A main form on a fake backend, in a private program folder.
class FormRig : public ::testing::Test {
protected:
    void SetUp() override {
        reset_engine();
        set_current_preset_path("");  // one program run per test
    }
    void TearDown() override {
        form.reset();
        devices.reset();
        reset_engine();
    }
    void make(std::vector<audio::BackendDevice> devs = {FakeBackend::input("in A"), FakeBackend::output("out A")}) {
        form.reset();
        devices.reset();
        auto f = std::make_unique<FakeBackend>();
        fake = f.get();
        fake->devs = std::move(devs);
        std::vector<std::unique_ptr<audio::AudioBackend>> v;
        v.push_back(std::move(f));
        devices = std::make_unique<AudioDevices>(std::move(v));
        form = std::make_unique<MainForm>(*devices, dialogs);
    }
    int row1_kind() { return form->chain().row(1).combo.item_index(); }

    TempHome home;
    FakeBackend* fake = nullptr;
    RecordingDialogs dialogs;
    std::unique_ptr<AudioDevices> devices;
    std::unique_ptr<MainForm> form;
};

}  // namespace tw::test
