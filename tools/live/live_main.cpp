// tonewarp-live: the live stream without a screen. Starts as the main window
// does (devices, format, threshold and the last preset from face.ini), lets
// the options change any of it, runs START, prints a status line once a
// second (with --tuner: the note, cents and frequency the tuner reads from the
// input instead of the levels; on a terminal that line is rewritten in place
// ten times a second), and on SIGINT / SIGTERM (also SIGHUP, SIGPIPE,
// SIGALRM, SIGUSR1/2) stops and closes cleanly (exit 0). With --remote a
// phone drives it from a browser (html/remote/index.html served here); its
// actions run on this main thread between the MIDI polls. With --midi a foot
// controller loads presets by program change and drives the controls learned
// in the window (midi.ini); the last message shows at the end of the status
// line. A stream the sound system closes (JACK or PipeWire server gone, also
// while START opens it) ends it with 3. On PipeWire the status line also shows
// the quantum and rate the graph runs now (TONEWARP_PW_QUANTUM asks for a
// quantum). face.ini is read, never written: the settings
// belong to the window.
#include <CLI/CLI.hpp>
#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <unistd.h>

#include "app/chain_editor.h"
#include "app/chain_presets.h"
#include "app/dialogs.h"
#include "app/main_form.h"
#include "app/midi_control.h"
#include "app/program_folder.h"
#include "app/status_display.h"
#include "app/stream_control.h"
#include "app/tuner_form.h"
#include "engine/audio_devices.h"
#include "engine/effects.h"
#include "app/leftover_takes.h"
#include "platform/printable_text.h"
#include "presets/preset_file.h"
#include "plain_numbers.h"
#include "remote/remote_server.h"
#include "stop_signals.h"

namespace {

// Exit codes, shared by every tool.
constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitStreamClosed = 3;

constexpr const char* kStreamClosed =
    "The sound system closed the audio stream (was the JACK or PipeWire server stopped?). Start it again and run "
    "tonewarp-live again.";

// Messages go to stderr; "the program ends" is remembered and turned into a
// non-zero exit by the caller (nothing is saved by this tool anyway).
class PrintingDialogs : public tw::Dialogs {
public:
    bool ended = false;
    void message(const std::string& text, const std::string& detail) override { print(text, detail); }
    void warning(const std::string& text, const std::string& detail) override { print(text, detail); }
    void end_program(int) override { ended = true; }
    // Nothing here asks questions or opens pages; answer No and say where the page is.
    bool question(const std::string& text) override {
        print(text + " (answered No)", "");
        return false;
    }
    bool open_url(const std::string& url) override {
        print("See " + url, "");
        return true;
    }

private:
    static void print(const std::string& text, const std::string& detail) {
        std::fprintf(stderr, "%s\n", text.c_str());
        if (!detail.empty()) std::fprintf(stderr, "  %s\n", detail.c_str());
    }
};

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A combo entry by index ("2") or by name: an exact name first, then the only
// entry that contains the text (case-insensitive). -1 when none or ambiguous.
int pick(const tw::ui::ComboBox& combo, const std::string& want, std::string& why) {
    const int n = combo.count();
    if (!want.empty() && want.find_first_not_of("0123456789") == std::string::npos) {
        const long i = std::strtol(want.c_str(), nullptr, 10);
        if (i >= 0 && i < n) return static_cast<int>(i);
        why = "there is no device number " + want + " (0.." + std::to_string(n - 1) + ")";
        return -1;
    }
    for (int i = 0; i < n; ++i)
        if (combo.items()[i] == want) return i;
    int found = -1;
    for (int i = 0; i < n; ++i)
        if (lower(combo.items()[i]).find(lower(want)) != std::string::npos) {
            if (found >= 0) {
                why = "\"" + want + "\" matches more than one device";
                return -1;
            }
            found = i;
        }
    if (found < 0) why = "no device is called \"" + want + "\"";
    return found;
}

// The tuner's status line: "A2    +3.2 cents    110.20 Hz" or "no note".
std::string tuner_line(const tw::NoteReading& r, int a4) {
    char line[128];
    if (!r.has_note)
        std::snprintf(line, sizeof line, "tuner  no note  (A4 = %d Hz)", a4);
    else
        std::snprintf(line, sizeof line, "tuner  %-4s %+6.1f cents  %8.2f Hz  (A4 = %d Hz)",
                      (r.name + std::to_string(r.octave)).c_str(), r.cents, r.hz, a4);
    return line;
}

void print_list(const char* title, const tw::ui::ComboBox& combo) {
    std::printf("%s\n", title);
    if (combo.count() == 0) std::printf("  (%s)\n", combo.text().c_str());
    for (int i = 0; i < combo.count(); ++i) std::printf("  %d: %s\n", i, combo.items()[i].c_str());
}

// A path the program may not look at (no search permission, a loop of links,
// a name too long) is reported instead of ending the program.
bool path_exists(const std::string& p, std::string& why) {
    std::error_code ec;
    const bool there = std::filesystem::exists(p, ec);
    if (ec) why = "Cannot look at " + p + ": " + ec.message() + ". Check the path and its folders' permissions.";
    return there;
}

int run(int argc, char** argv) {
    CLI::App app{"tonewarp-live: play the effect chain live from an input device to an output device"};
    app.footer("Exit codes: 0 stopped (Ctrl-C, SIGTERM, SIGHUP, SIGUSR1 or --seconds), 1 failed (device, preset or\n"
               "folder; also stopped by a signal while waiting for a preset that is a pipe nobody writes),\n"
               "2 command line not usable (an option, a value or a device name that matches no device),\n"
               "3 the sound system closed the stream (JACK or PipeWire server stopped).\n"
               "TONEWARP_PW_QUANTUM (64..1024 frames) is the quantum asked of a PipeWire graph (default 256).");
    bool list_devices = false, mono = false, stereo = false, no_builtin = false, no_system = false;
    std::string input, output, preset, home;
    int rate = 0;
    double seconds = 0.0;
    int threshold = 0;
    bool tuner = false;
    int a4 = 0;
    std::string midi;
    bool list_midi = false;
    int crossfade = -1, spill_over = -1;
    std::string remote;
    app.add_flag("--list-devices", list_devices, "List the input and output devices and exit");
    app.add_option("--input", input, "Input device: number or name (default: face.ini's, else the first)");
    app.add_option("--output", output, "Output device: number or name (default: face.ini's, else the first)");
    app.add_option("--rate", rate, "Sample rate: 22050, 32075, 44100 or 48000 (default: face.ini's, else 48000)")
        ->check(tw::tools::plain_decimal())
        ->check(CLI::IsMember({22050, 32075, 44100, 48000}));
    auto* mono_opt = app.add_flag("--mono", mono, "One channel (default: face.ini's, else two)");
    app.add_flag("--stereo", stereo, "Two channels")->excludes(mono_opt);
    CLI::Option* preset_opt =
        app.add_option("--preset", preset,
                       "A .pre preset to load into the chain (default: face.ini's last preset, else the F9 preset)");
    app.add_option("--home", home,
                   "Program folder (PRESETS/, face.ini, demo_guitar.wav ...; default: $TONEWARP_HOME, else "
                   "~/.local/share/tonewarp for an installed program, else the executable's folder when writable)")
        ->check(tw::tools::non_empty_name());
    app.add_flag("--no-builtin", no_builtin, "Hide the built-in demo input and null output");
    app.add_flag("--no-system", no_system, "Offer only the built-in devices");
    app.add_option("--threshold", threshold, "Latency threshold in ms (1..50; default: face.ini's, else 35)")->check(tw::tools::plain_decimal())->check(CLI::Range(1, 50));
    app.add_option("--seconds", seconds, "Stop after this many seconds (default, or 0: run until Ctrl-C)")
        ->check(tw::tools::plain_decimal());
    app.add_flag("--tuner", tuner, "Show the tuner's note, cents and frequency instead of the levels");
    app.add_option("--a4", a4, "Tuner reference pitch A4 in Hz (415..466; default: face.ini's, else 440)")
        ->check(tw::tools::plain_decimal())
        ->check(CLI::Range(tw::TunerSettings::kMinA4, tw::TunerSettings::kMaxA4));
    app.add_option("--midi", midi,
                   "MIDI input for a foot controller: a port name (or part of one), \"none\", or \"list\" to list "
                   "the ports and exit (default: the window's choice in midi.ini). Program change 0..11 loads "
                   "F1..F12, 12 and up the presets list in order; learned controls follow their CCs");
    app.add_flag("--list-midi", list_midi, "List the MIDI input ports and exit");
    app.add_option("--crossfade", crossfade,
                   "A preset change fades the old chain out and the new one in over this many ms (0..200, 0 = "
                   "instant; default: face.ini's, else 20)")
        ->check(tw::tools::plain_decimal())
        ->check(CLI::Range(0, tw::kMaxCrossfadeMs))
        ->type_name("MS");
    app.add_option("--spill-over", spill_over,
                   "After a preset change the old chain's delay and reverb tails ring on for this many ms "
                   "(0..10000, 0 = off; default: face.ini's, else 2000)")
        ->check(tw::tools::plain_decimal())
        ->check(CLI::Range(0, tw::kMaxSpillOverMs))
        ->type_name("MS");
    app.add_option("--remote", remote,
                   "Serve the phone remote on [ADDRESS:]PORT (default address 127.0.0.1, this computer only; "
                   "0.0.0.0 or the LAN address to reach it from a phone); prints the address to open and the "
                   "pairing code")
        ->type_name("[ADDRESS:]PORT");
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e);  // --help
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "tonewarp-live: %s (see --help).\n", e.what());
        return kExitUsage;
    }
    if (!std::isfinite(seconds) || seconds < 0.0) {
        std::fprintf(stderr, "tonewarp-live: --seconds must be a number of seconds, 0 or more (see --help).\n");
        return kExitUsage;
    }
    if (preset_opt->count() > 0 && preset.empty()) {
        std::fprintf(stderr, "tonewarp-live: --preset needs a file name (see --help).\n");
        return kExitUsage;
    }

    std::string remote_address;
    int remote_port = 0;
    if (!remote.empty()) {
        std::string address_error;
        if (!tw::remote::parse_listen_address(remote, remote_address, remote_port, address_error)) {
            std::fprintf(stderr, "tonewarp-live: %s\n", address_error.c_str());
            return kExitUsage;
        }
    }

    std::string folder_note;
    if (!tw::setup_program_folder(home, &folder_note)) {
        std::fprintf(stderr, "%s\n", folder_note.c_str());
        return kExitFailed;
    }
    if (!folder_note.empty()) std::fprintf(stderr, "%s\n", folder_note.c_str());
    // Takes a crash left unsaved get a visible name instead of being lost.
    for (const std::string& kept : tw::keep_leftover_takes())
        std::fprintf(stderr, "tonewarp-live: a take left unsaved by an earlier run is kept as %s\n",
                     tw::platform::printable_text(kept).c_str());

    tw::DeviceOptions options = tw::MainForm::device_defaults();
    options.builtin_devices = !no_builtin;
    options.system_devices = !no_system;
    tw::AudioDevices devices(tw::make_system_backends(options));
    PrintingDialogs dialogs;
    // The main window's start-up without the window: device lists, kind
    // lists, the chain of sixteen empty slots, face.ini and its preset.
    tw::MainForm form(devices, dialogs);
    form.set_writes_settings(false);
    // face.ini and the preset it names are read here; a pipe or slow device
    // in their place must not hold off Ctrl-C.
    tw::tools::run_stoppable([&] { form.FormShow(); }, "tonewarp-live",
                             "while reading face.ini or its preset (a pipe nobody writes?).");
    if (tw::tools::stop_requested()) {
        std::fprintf(stderr, "tonewarp-live: stopped by %s before the stream started.\n",
                     tw::tools::signal_name(tw::tools::stop_signal()).c_str());
        return kExitFailed;
    }
    tw::StreamControl& sc = form.stream();
    tw::ChainEditor& editor = form.chain();
    if (crossfade >= 0) editor.switch_fade_ms = crossfade;
    if (spill_over >= 0) editor.spill_over_ms = spill_over;
    // A lost stream ends this tool with its own message and exit code 3
    // (below), instead of the window's "press START" message.
    sc.is_stream_lost = nullptr;

    if (list_devices) {
        print_list("Input devices:", sc.ComboBox_waveIn);
        print_list("Output devices:", sc.ComboBox_waveOut);
        return kExitDone;
    }
    std::string why;
    tw::MidiControl& midi_control = form.midi();
    if (list_midi || midi == "list") {
        std::printf("MIDI inputs:\n");
        if (midi_control.ports().empty()) std::printf("  (none: no ALSA sequencer port and no JACK MIDI source)\n");
        for (std::size_t i = 0; i < midi_control.ports().size(); ++i)
            std::printf("  %zu: %s\n", i, tw::platform::printable_text(midi_control.ports()[i]).c_str());
        return kExitDone;
    }
    if (midi == "none") {
        midi_control.choose_port("");
    } else if (!midi.empty()) {
        tw::ui::ComboBox& list = midi_control.ComboBox_MIDI;
        // Item 0 is "none"; a number counts from the first port.
        std::string want = midi;
        if (want.size() <= 6 && want.find_first_not_of("0123456789") == std::string::npos) want = std::to_string(std::stol(want) + 1);
        const int i = pick(list, want, why);
        if (i <= 0) {
            std::fprintf(stderr, "MIDI input: %s. See --midi list.\n",
                         i == 0 ? "\"none\" is not a port" : why.c_str());
            return kExitUsage;
        }
        if (!midi_control.choose_port(list.items()[static_cast<std::size_t>(i)])) return kExitFailed;
    }

    // A bare name is also looked for in PRESETS/ ("F9 - High Gain" or "F9 - High Gain.pre").
    if (!preset.empty() && !path_exists(preset, why)) {
        for (const std::string& candidate :
             {tw::program_path("PRESETS/" + preset), tw::program_path("PRESETS/" + preset + ".pre")}) {
            std::error_code ec;
            if (std::filesystem::is_regular_file(candidate, ec)) {
                preset = candidate;
                why.clear();
                break;
            }
            if (ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory && why.empty())
                why = "Cannot look at " + candidate + ": " + ec.message() + ". Check the folder's permissions.";
        }
    }
    bool loaded = true;
    if (!preset.empty())
        tw::tools::run_stoppable([&] { loaded = tw::load_preset(editor, preset); }, "tonewarp-live",
                                 "while waiting to read the preset " + preset + " (a pipe nobody writes?).");
    if (tw::tools::stop_requested()) {
        std::fprintf(stderr, "tonewarp-live: stopped by %s before the stream started.\n",
                     tw::tools::signal_name(tw::tools::stop_signal()).c_str());
        return kExitFailed;
    }
    if (!loaded) {
        if (why.empty()) why = "The preset " + preset + " cannot be read.";
        std::fprintf(stderr, "%s\n", why.c_str());
        return kExitFailed;
    }

    if (!input.empty()) {
        const int i = pick(sc.ComboBox_waveIn, input, why);
        if (i < 0) {
            std::fprintf(stderr, "Input: %s. See --list-devices.\n", why.c_str());
            return kExitUsage;
        }
        sc.ComboBox_waveIn.set_item_index(i);
    }
    if (!output.empty()) {
        const int i = pick(sc.ComboBox_waveOut, output, why);
        if (i < 0) {
            std::fprintf(stderr, "Output: %s. See --list-devices.\n", why.c_str());
            return kExitUsage;
        }
        sc.ComboBox_waveOut.set_item_index(i);
    }
    static const int kRates[] = {22050, 32075, 44100, 48000};
    for (int i = 0; i < 4; ++i)
        if (kRates[i] == rate) sc.rgSampleRate.set_item_index(i);
    if (mono) sc.cbStereo.set_checked(false);
    if (stereo) sc.cbStereo.set_checked(true);
    if (threshold > 0) sc.TrackBar_Latency_Porog.set_position(threshold);

    if (!sc.BitBtn_Init.enabled()) {
        std::fprintf(stderr, "%s: there is nothing to start.\n", sc.ComboBox_waveIn.text().c_str());
        return kExitFailed;
    }
    sc.BitBtn_Init.click();
    if (dialogs.ended || !sc.running()) {
        // The server going away while START opened the stream is the same
        // ending as losing the stream later.
        const bool lost = devices.catalog.stream_lost();
        form.FormClose();
        if (lost) {
            std::fprintf(stderr, "%s\n", kStreamClosed);
            return kExitStreamClosed;
        }
        return kExitFailed;
    }

    const bool on_terminal = tuner && isatty(STDOUT_FILENO) != 0;
    if (tuner) {
        if (a4 > 0) form.tuner().apply_settings({a4});
        form.tuner().open();
    }

    std::printf("Running: %s -> %s, %d Hz, %s, %d-frame buffers%s%s. Ctrl-C stops.\n",
                sc.ComboBox_waveIn.text().c_str(), sc.ComboBox_waveOut.text().c_str(), sc.sample_rate(),
                sc.channels() == 1 ? "mono" : "stereo", sc.buffer_frames(),
                tw::current_preset_path().empty() ? "" : ", preset ", tw::current_preset_path().c_str());
    std::printf("%s\n", sc.same_cycle() ? "Path: one callback (one JACK client, one PipeWire node or one ALSA device), "
                                           "input to output in the same cycle (no added latency)."
                                         : "Path: queue between the input and the output (kept short by the latency guard).");
    std::fflush(stdout);

    // The phone remote: Qt's event loop runs in slices on this thread.
    static int qt_argc = 1;
    static char qt_name[] = "tonewarp-live";
    static char* qt_argv[] = {qt_name, nullptr};
    std::unique_ptr<QCoreApplication> qt;
    std::unique_ptr<tw::remote::Hub> hub;
    std::unique_ptr<tw::remote::RemoteServer> server;
    if (!remote.empty()) {
        qt = std::make_unique<QCoreApplication>(qt_argc, qt_argv);
        hub = std::make_unique<tw::remote::Hub>(form, [&devices] {
            return tw::remote::Readings{devices.waves->get_waveIn_level(), devices.waves->get_waveOut_level(),
                                        tw::cpu_load.load(std::memory_order_relaxed), devices.catalog.xruns()};
        });
        hub->on_action = [](const std::string& line) {
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
        };
        server = std::make_unique<tw::remote::RemoteServer>(*hub, tw::program_path("html/remote"));
        std::string listen_error;
        if (!server->listen(remote_address, remote_port, listen_error)) {
            std::fprintf(stderr, "%s\n", listen_error.c_str());
            sc.BitBtn_Reset.click();
            form.FormClose();
            return kExitFailed;
        }
        std::printf("Remote: open %s on the phone; pairing code %s\n", server->url().c_str(),
                    hub->pairing_code().c_str());
        std::fflush(stdout);
    }

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    auto next = start;
    bool lost = false;
    auto next_ports = start + std::chrono::milliseconds(tw::MidiControl::kPortCheckMs);
    for (int tick = 1; !tw::tools::stop_requested(); ++tick) {
        next += std::chrono::milliseconds(100);
        // MIDI is taken every few milliseconds, so a program change reaches
        // the chain within one poll.
        bool stopping = false;
        while (Clock::now() < next) {
            const auto poll_at = std::min(next, Clock::now() + std::chrono::milliseconds(tw::MidiControl::kPollMs));
            if (tw::tools::wait_for_stop_until(poll_at)) {
                stopping = true;
                break;
            }
            midi_control.poll();
            if (server) tw::remote::RemoteServer::poll();
        }
        if (stopping) break;
        if (Clock::now() >= next_ports) {
            next_ports += std::chrono::milliseconds(tw::MidiControl::kPortCheckMs);
            midi_control.refresh_ports();
        }
        sc.status_tick();
        editor.collect_retired();
        if (tuner && (on_terminal || tick % 10 == 0)) {
            const std::string line = tuner_line(form.tuner().reading(), form.tuner().a4_hz());
            std::printf(on_terminal ? "\r%-60s" : "%s\n", line.c_str());
            std::fflush(stdout);
        } else if (!tuner && tick % 10 == 0) {
            const float in = devices.waves->get_waveIn_level();
            const float out = devices.waves->get_waveOut_level();
            const std::string last_midi = midi_control.last_message_text();
            // The period and rate the sound system runs now, where it can say
            // (a PipeWire graph may change its quantum while the stream runs).
            std::string graph;
            for (const tw::audio::AudioBackend* b : {devices.waves->selected_backend(), devices.dsound->selected_backend()})
                if (graph.empty() && b != nullptr && b->graph_frames() > 0)
                    graph = "graph " + std::to_string(b->graph_frames()) + " frames at " + std::to_string(b->graph_rate()) + " Hz  ";
            std::printf("in %5.0f (%3d)  out %5.0f (%3d)  CPU %3d %%  latency %3d ms (queue %.1f + server %.1f)  "
                        "%sunderflows %llu  xruns %llu  %s%s%s\n",
                        in, tw::level_meter_position(in), out, tw::level_meter_position(out),
                        tw::cpu_meter_position(tw::cpu_load.load(std::memory_order_relaxed)),
                        tw::round_half_even(sc.latency()), static_cast<double>(sc.queue_latency()),
                        static_cast<double>(sc.device_latency()), graph.c_str(),
                        static_cast<unsigned long long>(devices.dsound->underflows()), devices.catalog.xruns(),
                        tw::slot_loads_text(tw::default_chain(), 16).c_str(), last_midi.empty() ? "" : "  MIDI ", last_midi.c_str());
            std::fflush(stdout);
        }
        if (seconds > 0 && std::chrono::duration<double>(Clock::now() - start).count() >= seconds) break;
        if (devices.catalog.stream_lost()) {
            lost = true;
            break;
        }
    }
    if (on_terminal) std::printf("\n");
    server.reset();
    hub.reset();
    sc.BitBtn_Reset.click();
    form.FormClose();
    if (lost) {
        std::fprintf(stderr, "%s\n", kStreamClosed);
        return kExitStreamClosed;
    }
    std::printf("Stopped.\n");
    return kExitDone;
}

}  // namespace

int main(int argc, char** argv) {
    // Before any thread starts (audio, JACK): the main thread takes the stop
    // signals, the others never see them.
    tw::tools::block_stop_signals();
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tonewarp-live: %s\n", e.what());
        return kExitFailed;
    }
}
