// Shared pieces of the GUI tests: a Dialogs double that records messages,
// and a main window on a chosen device set, shown on the offscreen platform.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "app/dialogs.h"
#include "engine/audio_builtin.h"
#include "engine/audio_devices.h"
#include "engine/dsound.h"
#include "engine/effects.h"
#include "engine/waves.h"
#include "gui/main_window.h"

namespace tw::test {

class RecordingDialogs : public Dialogs {
public:
    void message(const std::string& text, const std::string&) override { messages.push_back(text); }
    void warning(const std::string& text, const std::string&) override { warnings.push_back(text); }
    void end_program(int code) override { exit_codes.push_back(code); }
    bool question(const std::string& text) override {
        questions.push_back(text);
        return false;
    }
    bool open_url(const std::string& url) override {
        urls.push_back(url);
        return true;
    }
    std::vector<std::string> questions;
    std::vector<std::string> urls;
    std::vector<std::string> messages;
    std::vector<std::string> warnings;
    std::vector<int> exit_codes;
};

// A device set with only the built-in demo input and null output, or none.
inline std::unique_ptr<AudioDevices> make_devices(bool builtin) {
    std::vector<std::unique_ptr<audio::AudioBackend>> v;
    if (builtin) v.push_back(audio::make_builtin_backend(""));  // no file: the riff is synthesised
    return std::make_unique<AudioDevices>(std::move(v));
}

class MainWindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        reset_engine();
        devices = make_devices(builtin_devices());
        window = std::make_unique<gui::TForm1>(*devices, dialogs);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void TearDown() override {
        if (window) window->close();
        window.reset();
        devices.reset();
        reset_engine();
    }
    virtual bool builtin_devices() const { return true; }

    template <class W = QWidget>
    W* widget(const std::string& name) {
        W* w = window->findChild<W*>(QString::fromStdString(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    template <class W = QWidget>
    W* row_widget(const char* prefix, int n) {
        return widget<W>(prefix + std::to_string(n));
    }

    RecordingDialogs dialogs;
    std::unique_ptr<AudioDevices> devices;
    std::unique_ptr<gui::TForm1> window;
};

}  // namespace tw::test
