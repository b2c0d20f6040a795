#include "fx/read_wav.h"

#include <bit>
#include <filesystem>

#include "fx/curves.h"
#include "platform/effect_services.h"
#include "platform/ini_file.h"

namespace tw {

namespace {

constexpr ui::BarRange kGainBar{0, 100, 50, 2, 5};
constexpr double kMonoMix = 0.707;   // the decimal constant, not 1/sqrt(2)
constexpr std::int64_t kSpareBytes = 100;

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

    // FormCreate.
    SaveFilePlayBack();
}

TReadWav::~TReadWav() {
    stop_playing();
    memory_.reset();
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
    if (!file_exists(path)) return;
    wav_name = path;
    load_wav_name(false);
}

void TReadWav::spSkinScrollBar1Change() {
    if (auto g = gain_curve(static_cast<float>(100 - spSkinScrollBar1.position())))
        play_gain.store(*g, std::memory_order_relaxed);
}

void TReadWav::spSkinButton1Click() {
    platform::FileDialogRequest req{"Open file", "wav|*.wav", {}};
    if (!wav_name.empty()) req.initial_folder = std::filesystem::path(wav_name).parent_path().string();
    if (auto chosen = platform::effect_services().file_dialogs().open_file(req)) wav_name = *chosen;
    // A cancelled dialog loads the current file again.
    load_wav_name(true);
}

void TReadWav::stop_playing() {
    ready.store(0, std::memory_order_release);
    // After this, a buffer that saw ready = 1 has ended and every later one
    // sees 0, so the samples and positions are ours until ready is set again.
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
    stop_playing();
    // A failed load also ends the file loaded before.
    samples = nullptr;
    frame_count = 0;
    memory_.reset();

    if (LoadFile(wav_name) == -1) {
        boxes().message("Error: wrong wav file format.", "");
        return;
    }
    SampleMemory mem = SampleMemory::allocate(static_cast<std::int64_t>(header.data_size) + kSpareBytes);
    if (!mem) {
        file_.reset();
        boxes().message("Error: Out of memory, use smaller wav file or add RAM to your PC!", "");
        return;
    }
    play_pos = 0;
    file_channels = header.nChannels();
    frame_count = (header.data_size / 2) / file_channels;
    const std::size_t got =
        file_->read_at(header.data_offset, mem.data(), static_cast<std::size_t>(header.data_size));
    file_.reset();
    if constexpr (std::endian::native == std::endian::big) {
        auto* p = reinterpret_cast<std::uint16_t*>(mem.data());
        for (std::size_t i = 0; i < got / 2; ++i) p[i] = static_cast<std::uint16_t>((p[i] >> 8) | (p[i] << 8));
    }
    spSkinMemo1.add_line("Read from file: " + std::to_string(got) + " bytes.");
    spSkinMemo1.add_line("");
    memory_ = std::move(mem);
    samples = memory_.data();

    if (remember) {
        platform::IniFile ini(ini_path());
        ini.write_string("File", "Path", wav_name);
        std::string why;
        if (!ini.save(&why))
            boxes().warning("The file plays, but it could not be remembered for next time.",
                            why + ". Check that the program folder may be written to.");
    }
    ready.store(1, std::memory_order_release);
}

void TReadWav::Read_wav_file(std::int32_t frames, std::int32_t, std::int32_t channels, float* buf) {
    ProcessingScope scope(guard_);
    if (!scope || frames <= 0 || buf == nullptr) return;
    if (ready.load(std::memory_order_acquire) != 1) return;
    const std::int32_t count = frame_count;
    if (count <= 0 || samples == nullptr) return;
    const std::int16_t* s = samples;
    const float g = play_gain.load(std::memory_order_relaxed);
    std::int32_t pos = play_pos;
    if (pos < 0 || pos >= count) pos = 0;

    if (channels == 1) {
        if (file_channels == 1) {
            for (std::int32_t i = 0; i < frames; ++i) {
                buf[i] = buf[i] + static_cast<float>(s[pos]) * g;
                if (++pos >= count) pos = 0;
            }
        } else {
            for (std::int32_t i = 0; i < frames; ++i) {
                const int sum = static_cast<int>(s[2 * pos]) + static_cast<int>(s[2 * pos + 1]);
                buf[i] = static_cast<float>(buf[i] + sum * kMonoMix * g);
                if (++pos >= count) pos = 0;
            }
        }
    } else if (file_channels == 2) {
        for (std::int32_t i = 0; i < frames; ++i) {
            buf[2 * i] = buf[2 * i] + static_cast<float>(s[2 * pos]) * g;
            buf[2 * i + 1] = buf[2 * i + 1] + static_cast<float>(s[2 * pos + 1]) * g;
            if (++pos >= count) pos = 0;
        }
    } else {
        for (std::int32_t i = 0; i < frames; ++i) {
            const float v = static_cast<float>(s[pos]) * g;
            buf[2 * i] = buf[2 * i] + v;
            buf[2 * i + 1] = buf[2 * i + 1] + v;
            if (++pos >= count) pos = 0;
        }
    }
    play_pos = pos;
}

KindDecl read_wav_kind() {
    KindDecl d = declare_kind_storing_nothing<TReadWav>(kKindReadWav, "Playback wav file");
    d.entries.params = kEmptyKindEntries.params;   // the registry's do-nothing entry
    return d;
}

}  // namespace tw
