// tonewarp-preset: shows a preset file as text or JSON, and builds a preset
// file from the JSON form (the bundled presets are kept as JSON sources).
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <system_error>

#include "presets/preset_file.h"
#include "presets/preset_json.h"
#include "stop_signals.h"

namespace {

// A preset's JSON form is a few kilobytes; anything far larger is not one.
constexpr std::uintmax_t kMaxJsonBytes = 16u << 20;

int fail(const std::string& message) {
    std::fprintf(stderr, "tonewarp-preset: %s.\n", message.c_str());
    return 1;
}

int show(const std::string& path, bool as_json) {
    tw::PresetRecord rec;
    std::string why;
    if (!tw::read_preset_record(path, rec, &why)) return fail(why);
    const int v = rec.version();
    if (v < 0 || v > tw::kPresetVersion)
        return fail(path + " is not a preset file: its format version " + std::to_string(v) +
                    " is not one this program knows (0..303)");
    if (as_json) {
        std::cout << tw::preset_to_json(rec).dump(2) << "\n";
    } else {
        std::cout << path << "\n" << tw::preset_to_text(rec);
    }
    // The listing is only complete once it has left the buffers.
    errno = 0;
    std::cout.flush();
    if (!std::cout || std::fflush(stdout) != 0 || std::ferror(stdout))
        return fail(std::string("cannot write the listing: ") + (errno != 0 ? std::strerror(errno) : "output error"));
    return 0;
}

// The whole file as text; false with the reason in `why`.
bool read_text(const std::string& path, std::string& text, std::string& why) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        why = path + " is a folder, not a JSON file";
        return false;
    }
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (!ec && size > kMaxJsonBytes) {
        why = path + " is " + std::to_string(size) + " bytes long, far too long for a preset's JSON form";
        return false;
    }
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = "cannot open " + path + (errno != 0 ? std::string(": ") + std::strerror(errno) : std::string());
        return false;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad()) {
        why = "cannot read " + path;
        return false;
    }
    text = ss.str();
    return true;
}

int build(const std::string& json_path, const std::string& out_path) {
    std::string text, why;
    if (!read_text(json_path, text, why)) return fail(why);
    nlohmann::json j;
    if (!tw::parse_preset_json(text, j, &why)) return fail(json_path + " is not usable JSON: " + why);
    tw::PresetRecord rec;
    if (!tw::preset_from_json(j, rec, &why)) return fail(json_path + ": " + why);
    if (!tw::write_preset_record(out_path, rec, &why)) return fail(why);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Before any thread starts: the main thread takes the stop signals.
    tw::tools::block_stop_signals();
    CLI::App app{
        "Shows Tonewarp 3 preset files (.pre) and builds them from a JSON form.\n"
        "A preset holds, for each of the 16 rows of the chain, the effect kind, On/Off and the effect's\n"
        "settings. 'show' lists them field by field with the names of the effect's controls; 'show --json'\n"
        "prints the JSON form, which 'build' turns back into a .pre file.",
        "tonewarp-preset"};
    app.require_subcommand(1);

    std::string show_path;
    bool as_json = false;
    CLI::App* show_cmd = app.add_subcommand("show", "Print a preset's chain and settings");
    show_cmd->add_option("FILE", show_path, "Preset file (.pre)")->required();
    show_cmd->add_flag("--json", as_json, "Print the JSON form (input for 'build')");

    std::string json_path, out_path;
    CLI::App* build_cmd = app.add_subcommand("build", "Write a preset file from the JSON form");
    build_cmd->add_option("FILE.json", json_path, "JSON form of a preset")->required();
    build_cmd->add_option("OUT.pre", out_path, "Preset file to write (replaced only on success)")->required();
    build_cmd->footer(
        "JSON form: {\"version\": 303, \"rows\": [{\"row\": 1, \"kind\": \"Gain\", \"on\": true,\n"
        "  \"params\": {\"ScrollBar_Gain_Mono\": 70}}]}\n"
        "Rows not listed are empty and off; fields not given (or null) take a fresh effect's values.\n"
        "Kind names: \"--- select ---\", \"noise gate\", \"EQ (8 bands) + Filters\", \"Distortion-Compresor\",\n"
        "\"Distortion (Simple)\", \"Durizezeviro Plus\", \"Distortion (Soft/Hard)\", \"Reverberator\", \"Delay\",\n"
        "\"Flanger / Chorus\", \"wah\", \"Playback wav file\", \"Record wav\", \"Gain\".");
    app.footer("Examples:\n  tonewarp-preset show \"PRESETS/F1 Clean.pre\"\n"
               "  tonewarp-preset show --json a.pre > a.json && tonewarp-preset build a.json b.pre\n"
               "Exit codes: 0 done, 1 failed (unreadable or refused input, output not written, or stopped by a\n"
               "signal such as Ctrl-C while waiting for a pipe), 2 command line not usable.");
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e);  // --help
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "tonewarp-preset: %s (see --help).\n", e.what());
        return 2;
    }
    // A FIFO nobody writes would hold the read forever; a stop signal ends it.
    int rc = 1;
    const bool showing = show_cmd->parsed();
    tw::tools::run_stoppable([&] { rc = showing ? show(show_path, as_json) : build(json_path, out_path); },
                             "tonewarp-preset",
                             "while waiting to read or write " + (showing ? show_path : json_path + " or " + out_path) +
                                 " (a pipe nobody writes or reads?); nothing was written.");
    return rc;
}
