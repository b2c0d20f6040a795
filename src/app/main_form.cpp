#include "app/main_form.h"

#include <cstdio>
#include <filesystem>

#include "app/chain_presets.h"
#include "app/help_pages.h"
#include "app/program_folder.h"
#include "app/skins/skin_layout.h"
#include "engine/effects.h"

namespace tw {

namespace {

// The readings of the status display: the engine's cpu_load, the capture
// side's levels and the stream's latency step.
StatusSources stream_status_sources(StreamControl& stream, ChainEditor& chain) {
    StatusSources s;
    s.slot_loads = [&chain] {
        chain.show_slot_loads();
        chain.collect_retired();
    };
    s.cpu_load = [] { return cpu_load.load(std::memory_order_relaxed); };
    s.input_level = [&stream] { return stream.waves().get_waveIn_level(); };
    s.output_level = [&stream] { return stream.waves().get_waveOut_level(); };
    s.latency_step = [&stream] {
        stream.status_tick();
        return stream.latency();
    };
    return s;
}

// The list item a stored device stands for: the item with the stored name
// when there is one (device numbers move when a sound server starts or an
// interface is plugged in), else the stored index when it is in the list;
// -1 when neither fits.
int stored_device_item(const ui::ComboBox& combo, int index, const std::string& name) {
    if (!name.empty())
        for (int i = 0; i < combo.count(); ++i)
            if (combo.items()[i] == name) return i;
    return index >= 0 && index < combo.count() ? index : -1;
}

// The main window's bars and switches a MIDI controller may drive: the
// gains, the latency threshold, mono/stereo and the rows' On/Off boxes.
std::vector<ui::Control*> learnable_main_controls(ChainEditor& chain, StreamControl& stream) {
    std::vector<ui::Control*> v{&stream.ScrollBar_waveInGain, &stream.ScrollBar_waveOutGain,
                                &stream.TrackBar_Latency_Porog, &stream.cbStereo};
    for (int n = 1; n <= kChainRows; ++n) v.push_back(&chain.row(n).check);
    return v;
}

}  // namespace

MainExtras::MainExtras()
    : ComboBox_SKINS("ComboBox_SKINS", {264, 410, 106, 22}),
      spSkinMenuButton1("spSkinMenuButton1", {385, 408, 285, 26}, " HELP, Presets, Skins and FAQ  "),
      LinkLabel1("LinkLabel1", {16, 448, 354, 16}, "50,000 rock guitar tabs / mp3 archive (click me!)"),
      LinkLabel2("LinkLabel2", {385, 448, 285, 16}, "Top 100 guitar sites (click!) ") {
    ComboBox_SKINS.add_item("SKINS");
    ComboBox_SKINS.add_item("Download from Internet");
    ComboBox_SKINS.set_item_index_silent(0);
    // The link labels appear at the end of the first show.
    LinkLabel1.set_visible(false);
    LinkLabel2.set_visible(false);
}

DeviceOptions MainForm::device_defaults() {
    DeviceOptions o(program_path("demo_guitar.wav"));
    o.builtin_devices = true;
    o.system_devices = true;
    return o;
}

MainForm::MainForm(AudioDevices& devices, Dialogs& dialogs)
    : dialogs_(dialogs),
      stream_(*devices.waves, *devices.dsound, dialogs),
      status_(stream_status_sources(stream_, chain_)),
      presets_(chain_, dialogs, [this](const std::string& page) { open_help_page(page); }),
      tuner_(*devices.waves),
      skins_(extras_.ComboBox_SKINS, dialogs, [this](const std::string&) { FitSkinLayout(); },
             [this](const std::string& page) { open_help_page(page); }),
      midi_(chain_, presets_, learnable_main_controls(chain_, stream_)) {
    midi_.on_note = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
    stream_.on_latency_threshold_changed = [this](int ms) { status_.set_latency_threshold(ms); };
    status_.set_latency_threshold(stream_.latency_threshold());
    stream_.is_stream_lost = [&devices] { return devices.catalog.stream_lost(); };
    extras_.spSkinMenuButton1.on_click = [this] {
        if (on_show_help_menu) on_show_help_menu();
    };
    extras_.LinkLabel1.on_click = [this] { open_help_page(kLinkLabel1Page); };
    extras_.LinkLabel2.on_click = [this] { open_help_page(kLinkLabel2Page); };
    // Creation of the main window: the skin start-up, then the presets list.
    skins_.start_up();
    presets_.fill_list();
}

void MainForm::FitSkinLayout() { skins::fit_skin_layout(skins_.skin().name, chain_, presets_.spSkinButton17); }

std::string MainForm::settings_path() { return program_path(kFaceIni); }

std::string MainForm::default_preset_path() { return program_path(std::string("PRESETS/") + kDefaultPresetName); }

void MainForm::show_chain(ChainEditor& chain) { chain.fill_kind_lists_and_build_chain(); }

void MainForm::FormShow() {
    if (shown_) return;
    shown_ = true;
    // The device lists read usefastwdm between the input and the output list;
    // reading it first changes nothing else.
    usefastwdm_ = read_face_settings_file(settings_path()).usefastwdm;
    stream_.FormShow_device_lists(usefastwdm_);
    show_chain(chain_);
    apply_settings(read_face_settings_file(settings_path()));
    midi_.load_settings();
    extras_.LinkLabel1.set_visible(true);
    extras_.LinkLabel2.set_visible(true);
}

void MainForm::apply_settings(const FaceSettings& s) {
    // Each setter runs its control's handler as a user's change would:
    // the input device change, the threshold change, the mono/stereo and
    // sample rate clicks.
    if (const int i = stored_device_item(stream_.ComboBox_waveIn, s.input, s.input_name); i >= 0)
        stream_.ComboBox_waveIn.set_item_index(i);
    if (const int i = stored_device_item(stream_.ComboBox_waveOut, s.output, s.output_name); i >= 0)
        stream_.ComboBox_waveOut.set_item_index(i);
    stream_.TrackBar_Latency_Porog.set_position(s.latency);
    stream_.cbStereo.set_checked(s.stereo);
    stream_.rgSampleRate.set_item_index(s.sample_freq);
    tuner_.apply_settings(s.tuner);
    chain_.switch_fade_ms = s.crossfade_ms;
    chain_.spill_over_ms = s.spill_over_ms;
    const std::string path = s.path == kNoPresetPath ? default_preset_path() : s.path;
    std::error_code ec;
    if (!path.empty() && std::filesystem::is_regular_file(path, ec)) load_preset(chain_, path);
}

FaceSettings MainForm::current_settings() const {
    FaceSettings s;
    s.input = stream_.ComboBox_waveIn.item_index();
    s.output = stream_.ComboBox_waveOut.item_index();
    s.input_name = s.input >= 0 ? stream_.ComboBox_waveIn.text() : std::string();
    s.output_name = s.output >= 0 ? stream_.ComboBox_waveOut.text() : std::string();
    s.latency = stream_.TrackBar_Latency_Porog.position();
    s.stereo = stream_.cbStereo.checked();
    s.sample_freq = stream_.rgSampleRate.item_index();
    s.tuner = tuner_.settings();
    s.crossfade_ms = chain_.switch_fade_ms;
    s.spill_over_ms = chain_.spill_over_ms;
    // No preset read in this run: "no preset saved", so the next start takes
    // the default preset again.
    s.path = current_preset_path().empty() ? std::string(kNoPresetPath) : current_preset_path();
    return s;
}

void MainForm::FormClose() {
    tuner_.close();
    stream_.shut_down();
    if (!writes_settings_ || stream_.program_ended()) return;
    std::string error;
    if (!save_face_settings_file(settings_path(), current_settings(), &error))
        dialogs_.warning(error + ", so your devices, format and preset will not be remembered.", "");
}

void MainForm::HelpMenuClick(int index) {
    if (index < 0 || index >= kHelpMenuEntries) return;
    open_help_page(help_menu_entries()[static_cast<std::size_t>(index)].page);
}

void MainForm::open_help_page(const std::string& page) {
    const std::string file = help_page_file(page);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) {
        dialogs_.message("The help page " + file + " is missing; reinstall Tonewarp 3 to get the help pages back.", "");
        return;
    }
    const std::string url = help_page_url(page);
    if (!dialogs_.open_url(url))
        dialogs_.message("No web browser could be started for the help; open " + url + " in your browser.", "");
}

}  // namespace tw
