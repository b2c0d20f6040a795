// Helpers shared by the end-to-end tests on real sound servers: a list item
// by name, a Gain x2 preset to play through, and a command's exit code and
// output.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/chain_editor.h"
#include "app/chain_presets.h"
#include "fx/gain_form.h"
#include "fx/kind_ids.h"
#include "ui/combo_box.h"

namespace tw::test {

inline int index_of(const ui::ComboBox& c, const std::string& name) {
    for (int i = 0; i < c.count(); ++i)
        if (c.items()[i] == name) return i;
    return -1;
}

// A preset whose first slot is a Gain at x2 on both channels, in dir/PRESETS.
inline std::string write_gain_preset(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir / "PRESETS");
    const std::string path = (dir / "PRESETS" / "Gain x2.pre").string();
    ChainEditor maker;
    maker.fill_kind_lists_and_build_chain();
    maker.row(1).combo.set_item_index(kKindGain);
    maker.row(1).check.set_checked(true);
    auto* g = dynamic_cast<Tgain_form*>(maker.instance(1));
    if (g == nullptr) return {};
    g->ScrollBar_Gain_Left.set_position(55);
    g->ScrollBar_Gain_Right.set_position(55);
    std::string err;
    return save_preset_file(maker, path, &err) ? path : std::string();
}

// Runs a command, returns its exit code and its output.
inline int run(const std::string& cmd, std::string& text) {
    FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    if (p == nullptr) return -1;
    char buf[256];
    while (std::fgets(buf, sizeof buf, p)) text += buf;
    const int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace tw::test
