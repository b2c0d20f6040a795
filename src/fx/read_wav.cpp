#include "fx/read_wav.h"

#include <filesystem>

#include "fx/curves.h"
#include "platform/effect_services.h"
#include "platform/ini_file.h"

namespace tw {

namespace {

constexpr ui::BarRange kGainBar{0, 100, 50, 2, 5};

platform::MessageBoxes& boxes() { return platform::effect_services().message_boxes(); }

bool file_exists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::exists(path, ec);
}

}  // namespace

std::string TReadWav::ini_path() { return platform::effect_services().program_file("playback.ini"); }
std::string TReadWav::demo_path() { return platform::effect_services().program_file("demo1.wav"); }

TReadWav::TReadWav()
    : EffectForm(ui::FormModel("TReadWav", "Read wav file - Microsoft Internet Explorer", 333, 292)),
      spSkinButton1("spSkinButton1", {8, 8, 120, 26}, "Open wav file"),
      spSkinScrollBar1("spSkinScrollBar1", {140, 12, 185, 18}, kGainBar),
      spSkinMemo1("spSkinMemo1", {8, 44, 317, 240}) {
    spSkinScrollBar1.set_hint("Gain");
    form().add(spSkinButton1);
    form().add(spSkinScrollBar1);
    form().add(spSkinMemo1);
    spSkinButton1.on_click = [this] { spSkinButton1Click(); };
    spSkinScrollBar1.on_change = [this] { spSkinScrollBar1Change(); };

    // FormCreate. The creation values are ReadWavKernel::Params' own (no
    // samples, gain 1).
    publish();
    SaveFilePlayBack();
}

TReadWav::~TReadWav() {
    stop_playing();
    track_ = BackingTrack{};
}

void TReadWav::SaveFilePlayBack() {
    // A missing playback.ini is created pointing at demo1.wav, then the file
    // it names is loaded if it exists.
    platform::IniFile ini(ini_path());
    if (!ini.existed()) {
        ini.write_string("File", "Path", demo_path());
        // A folder we may not write to keeps the value in memory for this
        // instance; the next one tries again.
        ini.save();
    }
    const std::string path = ini.read_string("File", "Path", "ERROR");
    if (!file_exists(path)) {
        // "ERROR" is playback.ini without a path: nothing was chosen.
        if (path != "ERROR") {
            const std::string text = "The backing track " + path + " is missing, so nothing plays.";
            spSkinMemo1.add_line(text);
            boxes().warning(text, "Open a wav file in the Playback wav file editor (Tune).");
        }
        return;
    }
    wav_name = path;
    load_wav_name(false);
}

void TReadWav::spSkinScrollBar1Change() {
    if (auto g = gain_curve(static_cast<float>(100 - spSkinScrollBar1.position()))) {
        params.play_gain = *g;
        publish();
    }
}

void TReadWav::spSkinButton1Click() {
    platform::FileDialogRequest req{"Open file", "wav|*.wav", {}};
    if (!wav_name.empty()) req.initial_folder = std::filesystem::path(wav_name).parent_path().string();
    if (auto chosen = platform::effect_services().file_dialogs().open_file(req)) wav_name = *chosen;
    // A cancelled dialog loads the current file again.
    load_wav_name(true);
}

void TReadWav::stop_playing() {
    params.samples = nullptr;
    params.frame_count = 0;
    params.copies = {};
    publish();
    // After this, a buffer that had the old samples has ended, and every
    // later one enters the guard after it reopened and so reads the set
    // without them: the old memory is ours to release.
    guard_.relayout([] {});
}

int TReadWav::LoadFile(const std::string& path) {
    file_ = std::make_unique<FileSource>(path);
    WavHeaderResult r;
    if (!file_->is_open()) {
        r.message = "File access error";
        r.warning = true;
    } else {
        r = read_wav_header(*file_);
    }
    if (!r.ok) {
        file_.reset();
        if (r.warning) {
            boxes().warning(r.message, r.message == "File access error"
                                           ? "Could not open " + path + " for reading. Check that it is a file you may read."
                                           : std::string());
        } else {
            boxes().message(r.message, "");
        }
        return -1;
    }
    header = r.header;
    spSkinMemo1.add_line("Channels=" + std::to_string(header.nChannels()));
    spSkinMemo1.add_line("Samples Per Second=" + std::to_string(header.nSamplesPerSec()));
    spSkinMemo1.add_line("Bits Per Sample=" + std::to_string(header.wBitsPerSample()));
    spSkinMemo1.add_line("Data Size =" + std::to_string(header.data_size));
    if (auto why = unplayable_reason(header)) {
        file_.reset();
        boxes().warning(*why, "");
        return -1;
    }
    return 0;
}

void TReadWav::load_wav_name(bool remember) {
    spSkinMemo1.add_line("file name: " + wav_name);
    // A failed load also ends the file loaded before.
    stop_playing();
    track_ = BackingTrack{};

    if (LoadFile(wav_name) == -1) {
        boxes().message("Error: wrong wav file format.", "");
        return;
    }
    BackingTrackResult loaded = load_backing_track(*file_, header);
    file_.reset();
    if (loaded.outcome == BackingTrackResult::Outcome::out_of_memory) {
        boxes().message("Error: Out of memory, use smaller wav file or add RAM to your PC!", "");
        return;
    }
    if (loaded.outcome == BackingTrackResult::Outcome::refused) {
        boxes().warning(loaded.message, "");
        boxes().message("Error: wrong wav file format.", "");
        return;
    }
    track_ = std::move(loaded.track);
    spSkinMemo1.add_line("Read from file: " + std::to_string(track_.bytes_read) + " bytes.");
    for (const std::string& note : track_.notes) spSkinMemo1.add_line(note);
    spSkinMemo1.add_line("");

    if (remember) {
        platform::IniFile ini(ini_path());
        ini.write_string("File", "Path", wav_name);
        std::string why;
        if (!ini.save(&why))
            boxes().warning("The file plays, but it could not be remembered for next time.",
                            why + ". Check that the program folder may be written to.");
    }
    // The new samples play from their first frame.
    params.samples = track_.native.memory.data();
    params.frame_count = track_.native.frame_count;
    params.file_channels = track_.channels;
    for (std::size_t i = 0; i < params.copies.size() && i < track_.copies.size(); ++i) {
        const TrackSamples& c = track_.copies[i];
        params.copies[i] = {c.memory.data(), c.frame_count, c.memory ? c.rate : 0};
    }
    params.start += 1;
    publish();
}

void TReadWav::Read_wav_file(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* buf) {
    // The set is read inside the guard, so its samples stay in place for the
    // whole buffer.
    ProcessingScope scope(guard_);
    if (!scope) return;
    run_kernel({frames, sample_rate, channels, buf});
}

KindDecl read_wav_kind() {
    KindDecl d = declare_kind_storing_nothing<TReadWav>(kKindReadWav, "Playback wav file");
    d.entries.params = kEmptyKindEntries.params;   // the registry's do-nothing entry
    return d;
}

}  // namespace tw
