// tonewarp-render: runs an audio file through an effect chain offline, block
// by block exactly as the audio thread runs the live chain, and writes the
// result as a 32-bit float WAV (re-amping a dry guitar track, checking a
// preset without a sound card).
#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
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
#include "platform/atomic_write.h"
#include "platform/headless_services.h"
#include "presets/preset_file.h"
#include "declared_frames.h"
#include "render_pipeline.h"
#include "wav_stream.h"
#include "plain_numbers.h"
#include "stop_signals.h"

namespace {

constexpr int kMaxBlock = 2048;
constexpr int kIoFrames = 32768;  // frames per file read and write (rounded down to whole blocks)
constexpr int kFirstIoFrames = 4096;  // the first chunk's frames (also rounded down to whole blocks)
constexpr int kRunsPerThread = 4;  // runs of slots per thread: small enough to share evenly, large enough to keep a chunk warm
constexpr double kMaxTailSeconds = 3600.0;
constexpr float kEngineScale = 32768.0f;

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
// and is put in place only when complete; anything else removes it. A pipe
// or FIFO as OUTPUT is streamed into directly (libsndfile cannot).
class OutputFile {
public:
    explicit OutputFile(const std::string& target) {
        std::string why;
        if (!file_.open(target, &why)) throw Failure{why + "."};
        struct stat st {};
        streaming_ = file_.direct() && ::fstat(file_.fd(), &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
    }
    ~OutputFile() {
        if (sf_ != nullptr) sf_close(sf_);
        // file_ removes the temporary file unless it was committed.
    }
    // A file is a plain WAV when its length is known to fit; otherwise RF64,
    // which libsndfile turns back into a WAV on closing if it ends below
    // 4 GiB after all, so that long renders at high rates keep their true
    // length. `frames`, when known, also goes into a stream's header.
    void open(int rate, int channels, std::optional<std::int64_t> frames, int max_frames) {
        channels_ = channels;
        if (streaming_) {
            bytes_ = tw::render::float_wav_header(rate, channels, frames);
            bytes_.reserve(static_cast<std::size_t>(max_frames) * channels * 4 + bytes_.size());
            return;
        }
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        const bool rf64 = tw::render::needs_rf64(frames, channels);
        info.format = (rf64 ? SF_FORMAT_RF64 : SF_FORMAT_WAV) | SF_FORMAT_FLOAT;
        sf_ = sf_open_fd(file_.fd(), SFM_WRITE, &info, SF_FALSE);
        if (sf_ == nullptr) throw Failure{std::string("Cannot write the output file: ") + sf_message(nullptr) + "."};
        if (rf64) sf_command(sf_, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    }
    // Writes `frames` frames; false with a sentence in `why`. Render thread.
    bool write(const float* samples, std::int64_t frames, std::string& why) {
        if (!streaming_) {
            if (sf_writef_float(sf_, samples, frames) == frames) {
                // Start writing what is written so far to the disk now, without
                // waiting, so that the flush before the rename finds little left.
                ::sync_file_range(file_.fd(), 0, 0, SYNC_FILE_RANGE_WRITE);
                return true;
            }
            why = "Cannot write " + file_.target() + ": " + sf_message(sf_) + ".";
            return false;
        }
        tw::render::append_float_samples(bytes_, samples, static_cast<std::size_t>(frames) * channels_);
        std::size_t done = 0;
        while (done < bytes_.size()) {
            const ssize_t n = ::write(file_.fd(), bytes_.data() + done, bytes_.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                why = errno == EPIPE ? "The output was closed: whatever reads " + file_.target() +
                                           " stopped reading before the render ended."
                                     : "Cannot write " + file_.target() + ": " + std::strerror(errno) + ".";
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        bytes_.clear();
        return true;
    }
    void commit() {
        if (sf_ != nullptr) {
            sf_write_sync(sf_);
            const int rc = sf_close(sf_);
            sf_ = nullptr;
            if (rc != 0) throw Failure{"Cannot finish writing " + file_.target() + "."};
        }
        std::string why;
        if (!file_.commit(&why)) throw Failure{why + "."};
    }

private:
    tw::platform::AtomicFile file_;
    SNDFILE* sf_ = nullptr;
    bool streaming_ = false;
    int channels_ = 1;
    std::vector<std::uint8_t> bytes_;
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

// Says plainly why INPUT cannot be an audio file before libsndfile tries:
// its messages for a device or an empty file do not say what is wrong.
void check_input_kind(const std::string& input) {
    struct stat st {};
    if (::stat(input.c_str(), &st) != 0) return;  // libsndfile's own message says why
    if (S_ISDIR(st.st_mode)) throw Failure{"INPUT " + input + " is a folder; give an audio file."};
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        throw Failure{"INPUT " + input + " is a device, not an audio file; give an audio file (a pipe works too)."};
    if (S_ISREG(st.st_mode) && st.st_size == 0)
        throw Failure{"INPUT " + input + " is empty (0 bytes), not an audio file; give an audio file."};
}

// True when OUTPUT is the file, pipe or device stdout writes to.
bool writes_to_stdout(const std::string& output) {
    struct stat out_st {};
    struct stat std_st {};
    return ::stat(output.c_str(), &out_st) == 0 && ::fstat(STDOUT_FILENO, &std_st) == 0 &&
           out_st.st_dev == std_st.st_dev && out_st.st_ino == std_st.st_ino;
}

// "-3.1 dBFS" for a peak on the file's scale (1.0 = full scale).
std::string dbfs(double peak) {
    if (!(peak > 0.0)) return "silence";
    char text[64];
    std::snprintf(text, sizeof text, "%+.1f dBFS", 20.0 * std::log10(peak));
    return text;
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
    int threads = 0;  // 0: as many as help
    std::string home;
    double tail = 0.0;
    std::string input;
    std::string output;
    bool save_takes = false;
};

// How many threads share the chain's slots: --threads, or with 0 one per
// processor (at most 4) but never more than the slots that run.
// Sets every NaN or infinity among the n samples to 0; returns how many there
// were. The count runs over the bit patterns, a loop the compiler vectorises;
// the rare repair follows only when there is something to repair.
std::int64_t silence_non_finite(float* s, std::int64_t n) {
    std::int64_t bad = 0;
    for (std::int64_t i = 0; i < n; ++i) bad += (std::bit_cast<std::uint32_t>(s[i]) & 0x7F800000u) == 0x7F800000u;
    if (bad > 0)
        for (std::int64_t i = 0; i < n; ++i)
            if (!std::isfinite(s[i])) s[i] = 0.0f;
    return bad;
}

// The largest magnitude among n finite samples: for those, the order of the
// magnitudes is the order of their bit patterns without the sign.
float largest_magnitude(const float* s, std::int64_t n) {
    std::uint32_t top = 0;
    for (std::int64_t i = 0; i < n; ++i) top = std::max(top, std::bit_cast<std::uint32_t>(s[i]) & 0x7FFFFFFFu);
    return std::bit_cast<float>(top);
}

int stage_count(int threads, const tw::ChainTable& chain) {
    int busy = 0;
    for (int i = 0; i < std::clamp(chain.count, 0, tw::kMaxSlots); ++i)
        if (chain.slot[i].enabled == 1 && chain.slot[i].kind != 0) ++busy;
    if (threads == 0) threads = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 4);
    return std::clamp(std::min(threads, busy), 1, tw::kMaxSlots);
}

// The "Record wav" slots of the chain, by row, each started before the
// render so it records what passes it.
std::vector<std::pair<int, tw::TRecord_wav_form*>> start_recorders(tw::ChainEditor& editor) {
    std::vector<std::pair<int, tw::TRecord_wav_form*>> out;
    for (int n = 1; n <= tw::kChainRows; ++n) {
        if (auto* r = dynamic_cast<tw::TRecord_wav_form*>(editor.instance(n))) {
            r->start_recording();
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

// Takes are written beside OUTPUT, which only makes sense for a file: beside
// /dev/null or a pipe they would become stray regular files in /dev or /proc.
void check_takes_beside_file(const Options& opt) {
    if (!opt.save_takes) return;
    struct stat st {};
    if (::stat(opt.output.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        throw Failure{"--save-takes saves each take beside OUTPUT, so OUTPUT must be a file, but " + opt.output +
                      " is a device, pipe or folder; give a file name as OUTPUT or leave out --save-takes."};
}

// Saves each recorder's take beside OUTPUT through its own Stop and Save, or
// says that it was not kept. False when a take that was to be saved was not.
bool finish_recorders(const std::vector<std::pair<int, tw::TRecord_wav_form*>>& recorders, const Options& opt) {
    bool all_saved = true;
    for (const auto& [row, r] : recorders) {
        const tw::WaveFormatEx f = r->rec_format();
        const std::int32_t count = r->kernel().rec_count();
        const double seconds = f.nSamplesPerSec > 0 ? static_cast<double>(count) / f.nChannels / f.nSamplesPerSec : 0.0;
        if (!opt.save_takes) {
            std::fprintf(stderr,
                         "tonewarp-render: row %d (Record wav) recorded %.2f s; the take was not saved "
                         "(give --save-takes to keep it beside OUTPUT).\n",
                         row, seconds);
            continue;
        }
        const std::string path = take_path(opt.output, row);
        if (r->stop_and_save_to(path))
            std::fprintf(stderr, "tonewarp-render: row %d (Record wav): %.2f s saved as %s.\n", row, seconds,
                         path.c_str());
        else {
            std::fprintf(stderr, "tonewarp-render: row %d (Record wav): the take could not be saved as %s.\n", row,
                         path.c_str());
            all_saved = false;
        }
    }
    return all_saved;
}

void render(const Options& opt) {
    check_not_same_file(opt.input, opt.output);
    check_takes_beside_file(opt);
    check_input_kind(opt.input);
    if (!opt.home.empty()) {
        std::error_code ec;
        if (!std::filesystem::is_directory(opt.home, ec)) throw Failure{"--home " + opt.home + " is not a folder."};
    }
    std::string folder_error;
    if (!tw::setup_program_folder(opt.home, &folder_error)) throw Failure{folder_error};
    if (!folder_error.empty()) std::fprintf(stderr, "%s\n", folder_error.c_str());
    // Effects that would show a message box say it on stderr instead.
    tw::platform::default_headless_services().messages.echo_to(stderr);

    SF_INFO in_info{};
    SNDFILE* in = sf_open(opt.input.c_str(), SFM_READ, &in_info);
    if (in == nullptr) {
        if (tw::tools::stop_requested()) throw Failure{"Stopped while opening " + opt.input + "; OUTPUT was not written."};
        throw Failure{"Cannot read " + opt.input + ": " + sf_message(nullptr) + "."};
    }
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
        // Applied from what was read: a pipe (--preset <(...)) can be read only once.
        tw::load_preset_record(editor, check, opt.preset);
    }

    const auto recorders = start_recorders(editor);
    const tw::ChainTable chain = tw::live_chain_snapshot();
    const std::int32_t slots = std::clamp(chain.count, 0, tw::kMaxSlots);
    const std::int64_t tail_frames = static_cast<std::int64_t>(std::llround(opt.tail * rate));
    // A pipe as INPUT gives no length (libsndfile reports a huge one).
    const bool length_known = in_info.frames >= 0 && in_info.frames < SF_COUNT_MAX && (in_info.seekable != 0);
    const std::int64_t in_frames = length_known ? static_cast<std::int64_t>(in_info.frames) : 0;
    OutputFile out_file(opt.output);
    out_file.open(rate, channels, length_known ? std::optional<std::int64_t>(in_frames + tail_frames) : std::nullopt,
                  std::max(kIoFrames, opt.block));
    Progress progress(in_frames + tail_frames);

    std::int64_t non_finite = 0;
    std::int64_t non_finite_in = 0;
    std::int64_t frames_read = 0;
    std::int64_t frames_written = 0;
    float peak = 0.0f;
    std::string read_failure, write_failure;
    // The file is read and written in chunks of whole blocks (about 32k
    // frames), so the file library's per-call cost is paid once per chunk;
    // the chain still sees the same sequence of blocks.
    const int chunk_frames = std::max(1, kIoFrames / opt.block) * opt.block;
    // The first chunk is shorter: on several threads it runs alone, each slot
    // timed to cut the chain into runs, so it should end soon.
    const int first_chunk_frames = std::min(chunk_frames, std::max(1, kFirstIoFrames / opt.block) * opt.block);
    bool first_read = true;
    bool input_done = false;
    std::int64_t tail_left = tail_frames;

    // Fills `c` with the next chunk of INPUT on the engine's scale (or the
    // tail's silence); false at the end or on a read error.
    auto read_chunk = [&](tw::render::Chunk& c) {
        sf_count_t frames = 0;
        if (!input_done) {
            const sf_count_t want = first_read ? first_chunk_frames : chunk_frames;
            first_read = false;
            frames = sf_readf_float(in, c.samples.data(), want);
            if (frames > 0) frames_read += frames;
            if (frames < want) {
                if (sf_error(in) != SF_ERR_NO_ERROR) {
                    read_failure = "Cannot read " + opt.input + ": " + sf_message(in) + ".";
                    return false;
                }
                input_done = true;
            }
            // A NaN or infinity (or a value too large for the engine's
            // scale) enters as silence, as on the live capture path.
            float* s = c.samples.data();
            const std::int64_t n = frames * channels;
            for (std::int64_t i = 0; i < n; ++i) s[i] *= kEngineScale;
            non_finite_in += silence_non_finite(s, n);
        }
        if (frames == 0) {
            if (tail_left == 0) return false;
            frames = std::min<std::int64_t>(tail_left, chunk_frames);
            std::fill(c.samples.begin(), c.samples.begin() + frames * channels, 0.0f);
            tail_left -= frames;
        }
        c.frames = frames;
        c.done_slots = 0;
        return true;
    };
    // Runs slots first .. last-1 over the chunk, block by block.
    auto run_slots = [&](tw::render::Chunk& c, std::int32_t first, std::int32_t last) {
        first = std::max(first, c.done_slots);
        if (first < last)
            for (std::int64_t at = 0; at < c.frames; at += opt.block) {
                const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(opt.block, c.frames - at));
                tw::process_chain_slots(first, last, n, rate, channels, c.samples.data() + at * channels);
            }
        c.done_slots = std::max(c.done_slots, last);
    };
    // Back to the file's scale, counted and written; false on a write error.
    std::int64_t done = 0;
    auto write_chunk = [&](tw::render::Chunk& c) {
        constexpr float kToFile = 1.0f / kEngineScale;  // a power of two: scaling is exact
        float* s = c.samples.data();
        const std::int64_t n = c.frames * channels;
        non_finite += silence_non_finite(s, n);
        for (std::int64_t i = 0; i < n; ++i) s[i] *= kToFile;
        peak = std::max(peak, largest_magnitude(s, n));
        if (!out_file.write(c.samples.data(), c.frames, write_failure)) return false;
        done += c.frames;
        frames_written = done;
        progress.update(done);
        return true;
    };

    const int stages = stage_count(opt.threads, chain);
    if (stages == 1) {
        // One thread does it all, as the audio thread would, with
        // flush-to-zero set there only.
        std::thread worker([&] {
            tw::enable_flush_to_zero();
            tw::render::Chunk c;
            c.samples.resize(static_cast<std::size_t>(chunk_frames) * channels);
            while (!tw::tools::stop_requested() && read_chunk(c)) {
                run_slots(c, 0, slots);
                if (!write_chunk(c)) return;
            }
        });
        worker.join();
    } else {
        // Steps: 0 reads a chunk, 1 .. runs each run a run of consecutive
        // slots, the last writes; the threads share them (run_steps). The
        // first chunk runs whole in step 0, each slot timed, and the runs are
        // cut from those times, several per thread so that the work can be
        // shared evenly.
        const int runs = std::min(slots, kRunsPerThread * stages);
        const int steps = runs + 2;
        std::vector<std::int32_t> splits{0, slots};
        std::vector<tw::render::Chunk> pool(static_cast<std::size_t>(steps + stages));
        for (auto& c : pool) c.samples.resize(static_cast<std::size_t>(chunk_frames) * channels);
        bool measured = false;
        auto step = [&](int k, tw::render::Chunk& c) {
            if (k == steps - 1) return write_chunk(c);
            if (k > 0) {
                run_slots(c, splits[static_cast<std::size_t>(k - 1)], splits[static_cast<std::size_t>(k)]);
                return true;
            }
            if (!read_chunk(c)) return false;
            if (!measured) {
                std::vector<double> cost(static_cast<std::size_t>(slots), 0.0);
                for (std::int32_t i = 0; i < slots; ++i) {
                    const auto s0 = std::chrono::steady_clock::now();
                    run_slots(c, i, i + 1);
                    cost[static_cast<std::size_t>(i)] =
                        std::chrono::duration<double>(std::chrono::steady_clock::now() - s0).count();
                }
                splits = tw::render::choose_splits(cost, runs);
                measured = true;
            }
            return true;
        };
        tw::render::run_steps(steps, stages, pool, step, [] { tw::enable_flush_to_zero(); },
                              [] { return tw::tools::stop_requested(); });
    }
    const std::string failure = !read_failure.empty() ? read_failure : write_failure;
    progress.finish();
    if (!failure.empty()) throw Failure{failure};
    if (tw::tools::stop_requested())
        throw Failure{"Stopped by " + tw::tools::signal_name(tw::tools::stop_signal()) +
                      "; OUTPUT was not written (an existing file keeps its old contents)."};
    if (non_finite_in > 0)
        std::fprintf(stderr, "tonewarp-render: %lld input samples were not finite numbers and were read as silence.\n",
                     static_cast<long long>(non_finite_in));
    if (non_finite > 0)
        std::fprintf(stderr, "tonewarp-render: %lld samples were not finite and were written as silence.\n",
                     static_cast<long long>(non_finite));
    if (const auto declared = tw::render::declared_frames_of_file(opt.input); declared && *declared > frames_read)
        std::fprintf(stderr,
                     "tonewarp-render: warning: %s is cut short: its header declares %lld frames but it holds "
                     "%lld; the missing %lld frames (%.3f s) were not rendered.\n",
                     opt.input.c_str(), static_cast<long long>(*declared), static_cast<long long>(frames_read),
                     static_cast<long long>(*declared - frames_read),
                     static_cast<double>(*declared - frames_read) / rate);
    out_file.commit();
    // On stdout, unless the audio itself went there (OUTPUT /dev/stdout).
    FILE* report = writes_to_stdout(opt.output) ? stderr : stdout;
    std::fprintf(report, "Wrote %s: %lld frames (%.3f s), %d Hz, %s, peak %s.\n", opt.output.c_str(),
                static_cast<long long>(frames_written), static_cast<double>(frames_written) / rate, rate,
                channels == 1 ? "mono" : "stereo", dbfs(peak).c_str());
    std::fflush(report);
    if (peak > 1.0f)
        std::fprintf(stderr,
                     "tonewarp-render: warning: the output peaks at %s, above full scale; most players and "
                     "converters will clip it. Turn down the gains in the chain (the Gain or noise gate "
                     "output levels, distortion volume) and render again.\n",
                     dbfs(peak).c_str());
    if (!finish_recorders(recorders, opt))
        throw Failure{"OUTPUT was written, but not every take: free some space or choose another folder for "
                      "OUTPUT and render again."};
}

}  // namespace

int main(int argc, char** argv) {
    // Before any thread starts, so that all of them leave these signals to
    // the main thread.
    tw::tools::block_stop_signals();
    CLI::App app{
        "Renders an audio file through a Tonewarp 3 effect chain, offline.\n"
        "The chain starts as the main window starts it (16 empty slots, all off); --preset loads a .pre file\n"
        "into it exactly as the program does. INPUT may be any file libsndfile reads, mono or stereo;\n"
        "OUTPUT is a 32-bit float WAV with the same rate and channels (RF64 past 4 GiB). Samples go\n"
        "through the engine on its 16-bit scale (a 16-bit value v is processed as v) in consecutive blocks\n"
        "of --block frames. INPUT may be a pipe; a pipe or FIFO as OUTPUT gets the WAV streamed into it.\n"
        "The closing line gives the output's length and peak in dBFS; a peak above 0 dBFS is warned about.",
        "tonewarp-render"};
    Options opt;
    CLI::Option* preset_opt =
        app.add_option("--preset", opt.preset, "Preset file (.pre) to load into the chain before rendering")
            ->type_name("FILE");
    app.add_option("--block", opt.block, "Frames per processing block, 1..2048 (default 512)")
        ->type_name("N")
        ->check(tw::tools::plain_decimal());
    app.add_option("--threads", opt.threads,
                   "Threads that share the chain's slots, 1..16 (default 0: one per processor, at most 4); "
                   "the output is the same for any number")
        ->type_name("N")
        ->check(tw::tools::plain_decimal());
    app.add_option("--home", opt.home,
                   "Program folder where effects look up MTEQ.ini, playback.ini, demo1.wav "
                   "(default: $TONEWARP_HOME, else ~/.local/share/tonewarp for an installed program, "
                   "else this executable's folder when writable)")
        ->type_name("DIR")
        ->check(tw::tools::non_empty_name());
    app.add_option("--tail", opt.tail, "Seconds of silence appended so delays and reverbs ring out (default 0)")
        ->type_name("SECONDS")
        ->check(tw::tools::plain_decimal());
    app.add_flag("--save-takes", opt.save_takes,
                 "Save what each \"Record wav\" slot recorded as OUTPUT.takeN.wav (N = its row); without it the "
                 "takes are dropped and only reported");
    app.add_option("INPUT", opt.input, "Audio file to process")->required();
    app.add_option("OUTPUT", opt.output, "WAV file to write (replaced only when the render succeeds)")->required();
    app.footer("Example: tonewarp-render --preset \"PRESETS/F1 Clean.pre\" --tail 2 dry.wav wet.wav\n"
               "SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGALRM, SIGUSR1 and SIGUSR2 stop the render within a second,\n"
               "also while it waits for a FIFO; OUTPUT is then left as it was.\n"
               "Exit codes: 0 rendered, 1 failed or stopped by a signal (nothing written), 2 command line not\n"
               "usable.");
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
    if (opt.threads < 0 || opt.threads > 16) usage = "--threads must be between 0 and 16";
    if (!std::isfinite(opt.tail) || opt.tail < 0.0 || opt.tail > kMaxTailSeconds)
        usage = "--tail must be between 0 and 3600 seconds";
    if (!usage.empty()) {
        std::fprintf(stderr, "tonewarp-render: %s (see --help).\n", usage.c_str());
        return 2;
    }
    int rc = 0;
    tw::tools::run_stoppable(
        [&] {
            try {
                render(opt);
            } catch (const Failure& f) {
                std::fprintf(stderr, "tonewarp-render: %s\n", f.message.c_str());
                rc = f.exit_code;
            } catch (const std::exception& e) {
                std::fprintf(stderr, "tonewarp-render: %s\n", e.what());
                rc = 1;
            }
        },
        "tonewarp-render",
        "while waiting to open, read or write a file (a pipe or device nobody writes or reads?); OUTPUT was not "
        "written.");
    return rc;
}
