// tonewarp-render: runs an audio file through an effect chain offline, block
// by block exactly as the audio thread runs the live chain, and writes the
// result as a 32-bit float WAV (re-amping a dry guitar track, checking a
// preset without a sound card).
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/chain_editor.h"
#include "app/chain_presets.h"
#include "app/main_form.h"
#include "app/program_folder.h"
#include "engine/denormals.h"
#include "engine/effects.h"
#include "fx/record_wavs.h"
#include "fx/services/atomic_write.h"
#include "fx/services/headless_services.h"
#include "presets/preset_file.h"

namespace {

constexpr int kMaxBlock = 2048;
constexpr int kIoFrames = 32768;  // frames per file read and write (rounded down to whole blocks)
constexpr double kMaxTailSeconds = 3600.0;
constexpr float kEngineScale = 32768.0f;

std::atomic<bool> interrupted{false};
extern "C" void on_signal(int) { interrupted.store(true); }

constexpr int kExitFailure = 1;
constexpr int kExitSameFile = 2;

struct Failure {
    std::string message;
    int exit_code = kExitFailure;
};

// libsndfile's message without its closing full stop, to end our own sentence.
std::string sf_message(SNDFILE* f) {
    std::string m = sf_strerror(f);
    while (!m.empty() && (m.back() == '.' || m.back() == ' ')) m.pop_back();
    return m;
}

// The output goes to a temporary file beside OUTPUT (libsndfile writes it)
// and is put in place only when complete; anything else removes it.
class OutputFile {
public:
    explicit OutputFile(const std::string& target) {
        std::string why;
        if (!file_.open(target, &why)) throw Failure{why + "."};
    }
    ~OutputFile() {
        if (sf_ != nullptr) sf_close(sf_);
        // file_ removes the temporary file unless it was committed.
    }
    SNDFILE* open(SF_INFO& info) {
        sf_ = sf_open_fd(file_.fd(), SFM_WRITE, &info, SF_FALSE);
        if (sf_ == nullptr) throw Failure{std::string("Cannot write the output file: ") + sf_message(nullptr) + "."};
        return sf_;
    }
    void commit() {
        sf_write_sync(sf_);
        const int rc = sf_close(sf_);
        sf_ = nullptr;
        if (rc != 0) throw Failure{"Cannot finish writing " + file_.target() + "."};
        std::string why;
        if (!file_.commit(&why)) throw Failure{why + "."};
    }

private:
    tw::services::AtomicFile file_;
    SNDFILE* sf_ = nullptr;
};

// Refuses an OUTPUT that is INPUT itself (also through a link or another
// name): the render would read what it is overwriting.
void check_not_same_file(const std::string& input, const std::string& output) {
    struct stat in_st {};
    struct stat out_st {};
    if (::stat(input.c_str(), &in_st) != 0 || ::stat(output.c_str(), &out_st) != 0) return;
    if (in_st.st_dev == out_st.st_dev && in_st.st_ino == out_st.st_ino)
        throw Failure{"OUTPUT " + output + " is the same file as INPUT " + input + "; give another output file.",
                      kExitSameFile};
}

class Progress {
public:
    Progress(std::int64_t total) : total_(total), tty_(::isatty(STDERR_FILENO) == 1), start_(clock::now()) {}
    void update(std::int64_t done) {
        if (!tty_ || total_ <= 0) return;
        // Only renders that take more than a couple of seconds get a bar.
        if (!shown_ && clock::now() - start_ < std::chrono::seconds(2)) return;
        const int percent = static_cast<int>(100 * done / total_);
        if (shown_ && percent == last_) return;
        shown_ = true;
        last_ = percent;
        const int filled = percent * 40 / 100;
        std::fprintf(stderr, "\rrendering [%.*s%*s] %3d%%", filled, "########################################",
                     40 - filled, "", percent);
        std::fflush(stderr);
    }
    void finish() {
        if (shown_) std::fputc('\n', stderr);
    }

private:
    using clock = std::chrono::steady_clock;
    std::int64_t total_;
    bool tty_;
    clock::time_point start_;
    bool shown_ = false;
    int last_ = -1;
};

struct Options {
    std::string preset;
    int block = 512;
    std::string home;
    double tail = 0.0;
    std::string input;
    std::string output;
    bool save_takes = false;
};

// The "Record wav" slots of the chain, by row, each started before the
// render so it records what passes it.
std::vector<std::pair<int, tw::TRecord_wav_form*>> start_recorders(tw::ChainEditor& editor) {
    std::vector<std::pair<int, tw::TRecord_wav_form*>> out;
    for (int n = 1; n <= tw::kChainRows; ++n) {
        if (auto* r = dynamic_cast<tw::TRecord_wav_form*>(editor.instance(n))) {
            r->Button_Save.click();
            out.emplace_back(n, r);
        }
    }
    return out;
}

// "wet.wav" -> "wet.take3.wav" for row 3.
std::string take_path(const std::string& output, int row) {
    std::filesystem::path p(output);
    const std::string ext = p.has_extension() ? p.extension().string() : std::string(".wav");
    p.replace_extension();
    return p.string() + ".take" + std::to_string(row) + ext;
}

// Saves each recorder's take beside OUTPUT through its own Stop and Save, or
// says that it was not kept.
void finish_recorders(const std::vector<std::pair<int, tw::TRecord_wav_form*>>& recorders, const Options& opt) {
    for (const auto& [row, r] : recorders) {
        const tw::WaveFormatEx f = r->rec_format();
        const std::int32_t count = r->rec_count.load();
        const double seconds = f.nSamplesPerSec > 0 ? static_cast<double>(count) / f.nChannels / f.nSamplesPerSec : 0.0;
        if (!opt.save_takes) {
            std::fprintf(stderr,
                         "tonewarp-render: row %d (Record wav) recorded %.2f s; the take was not saved "
                         "(give --save-takes to keep it beside OUTPUT).\n",
                         row, seconds);
            continue;
        }
        const std::string path = take_path(opt.output, row);
        tw::services::default_headless_services().dialogs.push_answer(path);
        r->Button_Stop_and_Save.click();
        if (r->rec_count.load() == 0)
            std::fprintf(stderr, "tonewarp-render: row %d (Record wav): %.2f s saved as %s.\n", row, seconds,
                         path.c_str());
        else
            std::fprintf(stderr, "tonewarp-render: row %d (Record wav): the take could not be saved as %s.\n", row,
                         path.c_str());
    }
}

void render(const Options& opt) {
    check_not_same_file(opt.input, opt.output);
    if (!opt.home.empty()) {
        std::error_code ec;
        if (!std::filesystem::is_directory(opt.home, ec)) throw Failure{"--home " + opt.home + " is not a folder."};
    }
    std::string folder_error;
    if (!tw::setup_program_folder(opt.home, &folder_error)) throw Failure{folder_error};
    if (!folder_error.empty()) std::fprintf(stderr, "%s\n", folder_error.c_str());
    // Effects that would show a message box say it on stderr instead.
    tw::services::default_headless_services().messages.echo_to(stderr);

    SF_INFO in_info{};
    SNDFILE* in = sf_open(opt.input.c_str(), SFM_READ, &in_info);
    if (in == nullptr) throw Failure{"Cannot read " + opt.input + ": " + sf_message(nullptr) + "."};
    struct CloseIn {
        SNDFILE* f;
        ~CloseIn() { sf_close(f); }
    } close_in{in};
    const int channels = in_info.channels;
    if (channels != 1 && channels != 2)
        throw Failure{opt.input + " has " + std::to_string(channels) + " channels; only mono and stereo are supported."};
    if (in_info.samplerate <= 0) throw Failure{opt.input + " has no valid sample rate."};
    const int rate = in_info.samplerate;

    // The chain as the main window builds it, then the preset as a load applies it.
    tw::ChainEditor editor;
    tw::MainForm::show_chain(editor);
    if (!opt.preset.empty()) {
        tw::PresetRecord check;
        std::string why;
        if (!tw::read_preset_record(opt.preset, check, &why)) throw Failure{"Cannot use the preset: " + why + "."};
        if (!tw::looks_like_preset(check, &why))
            std::fprintf(stderr, "tonewarp-render: warning: %s may not be a preset: %s; loading it anyway.\n",
                         opt.preset.c_str(), why.c_str());
        if (!tw::load_preset(editor, opt.preset)) throw Failure{"Cannot load the preset " + opt.preset + "."};
    }

    const auto recorders = start_recorders(editor);
    OutputFile out_file(opt.output);
    SF_INFO out_info{};
    out_info.samplerate = rate;
    out_info.channels = channels;
    out_info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* out = out_file.open(out_info);

    const std::int64_t tail_frames = static_cast<std::int64_t>(std::llround(opt.tail * rate));
    const std::int64_t in_frames = in_info.frames > 0 ? static_cast<std::int64_t>(in_info.frames) : 0;
    Progress progress(in_frames + tail_frames);

    std::string failure;
    std::int64_t non_finite = 0;
    std::int64_t non_finite_in = 0;
    // The processing runs on its own thread, as the audio thread would, with
    // flush-to-zero set there only.
    std::thread worker([&] {
        tw::enable_flush_to_zero();
        // The file is read and written in chunks of whole blocks (about 32k
        // frames), so the file library's per-call cost is paid once per chunk;
        // the chain still sees the same sequence of blocks.
        const int chunk = std::max(1, kIoFrames / opt.block) * opt.block;
        std::vector<float> buf(static_cast<std::size_t>(chunk) * channels);
        std::int64_t done = 0;
        bool input_done = false;
        std::int64_t tail_left = tail_frames;
        while (!interrupted.load()) {
            sf_count_t frames = 0;
            if (!input_done) {
                frames = sf_readf_float(in, buf.data(), chunk);
                if (frames < chunk) {
                    if (sf_error(in) != SF_ERR_NO_ERROR) {
                        failure = "Cannot read " + opt.input + ": " + sf_message(in) + ".";
                        return;
                    }
                    input_done = true;
                }
                // A NaN or infinity (or a value too large for the engine's
                // scale) enters as silence, as on the live capture path.
                for (sf_count_t i = 0; i < frames * channels; ++i) {
                    buf[i] *= kEngineScale;
                    if (!std::isfinite(buf[i])) {
                        buf[i] = 0.0f;
                        ++non_finite_in;
                    }
                }
            }
            if (frames == 0) {
                if (tail_left == 0) break;
                frames = std::min<std::int64_t>(tail_left, chunk);
                std::fill(buf.begin(), buf.begin() + frames * channels, 0.0f);
                tail_left -= frames;
            }
            for (sf_count_t at = 0; at < frames; at += opt.block) {
                const auto n = static_cast<std::int32_t>(std::min<sf_count_t>(opt.block, frames - at));
                tw::process_chain(n, rate, channels, buf.data() + at * channels);
            }
            constexpr float kToFile = 1.0f / kEngineScale;
            for (sf_count_t i = 0; i < frames * channels; ++i) {
                if (!std::isfinite(buf[i])) {
                    buf[i] = 0.0f;
                    ++non_finite;
                }
                buf[i] *= kToFile;
            }
            if (sf_writef_float(out, buf.data(), frames) != frames) {
                failure = "Cannot write " + opt.output + ": " + sf_message(out) + ".";
                return;
            }
            done += frames;
            progress.update(done);
        }
    });
    worker.join();
    progress.finish();
    if (interrupted.load()) throw Failure{"Interrupted; no output was written."};
    if (!failure.empty()) throw Failure{failure};
    if (non_finite_in > 0)
        std::fprintf(stderr, "tonewarp-render: %lld input samples were not finite numbers and were read as silence.\n",
                     static_cast<long long>(non_finite_in));
    if (non_finite > 0)
        std::fprintf(stderr, "tonewarp-render: %lld samples were not finite and were written as silence.\n",
                     static_cast<long long>(non_finite));
    out_file.commit();
    finish_recorders(recorders, opt);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Renders an audio file through a Tonewarp 3 effect chain, offline.\n"
        "The chain starts as the main window starts it (16 empty slots, all off); --preset loads a .pre file\n"
        "into it exactly as the program does. INPUT may be any file libsndfile reads, mono or stereo;\n"
        "OUTPUT is a 32-bit float WAV with the same rate and channels. Samples go through the engine on\n"
        "its 16-bit scale (a 16-bit value v is processed as v) in consecutive blocks of --block frames.",
        "tonewarp-render"};
    Options opt;
    CLI::Option* preset_opt =
        app.add_option("--preset", opt.preset, "Preset file (.pre) to load into the chain before rendering")
            ->type_name("FILE");
    app.add_option("--block", opt.block, "Frames per processing block, 1..2048 (default 512)")->type_name("N");
    app.add_option("--home", opt.home,
                   "Program folder where effects look up MTEQ.ini, playback.ini, demo1.wav "
                   "(default: $TONEWARP_HOME, else this executable's folder when writable, "
                   "else ~/.local/share/tonewarp)")
        ->type_name("DIR");
    app.add_option("--tail", opt.tail, "Seconds of silence appended so delays and reverbs ring out (default 0)")
        ->type_name("SECONDS");
    app.add_flag("--save-takes", opt.save_takes,
                 "Save what each \"Record wav\" slot recorded as OUTPUT.takeN.wav (N = its row); without it the "
                 "takes are dropped and only reported");
    app.add_option("INPUT", opt.input, "Audio file to process")->required();
    app.add_option("OUTPUT", opt.output, "WAV file to write (replaced only when the render succeeds)")->required();
    app.footer("Example: tonewarp-render --preset \"PRESETS/F1 Clean.pre\" --tail 2 dry.wav wet.wav\n"
               "Exit codes: 0 rendered, 1 failed (nothing written), 2 command line not usable.");
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e);  // --help
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "tonewarp-render: %s (see --help).\n", e.what());
        return 2;
    }
    // Values the command line cannot give.
    std::string usage;
    if (preset_opt->count() > 0 && opt.preset.empty()) usage = "--preset needs a file name";
    if (opt.block < 1 || opt.block > kMaxBlock)
        usage = "--block must be between 1 and 2048 frames, not " + std::to_string(opt.block);
    if (!std::isfinite(opt.tail) || opt.tail < 0.0 || opt.tail > kMaxTailSeconds)
        usage = "--tail must be between 0 and 3600 seconds";
    if (!usage.empty()) {
        std::fprintf(stderr, "tonewarp-render: %s (see --help).\n", usage.c_str());
        return 2;
    }
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    try {
        render(opt);
    } catch (const Failure& f) {
        std::fprintf(stderr, "tonewarp-render: %s\n", f.message.c_str());
        return f.exit_code;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tonewarp-render: %s\n", e.what());
        return 1;
    }
    return 0;
}
