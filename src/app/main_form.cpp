#include "app/main_form.h"

#include "app/program_folder.h"
#include "engine/effects.h"

namespace tw {

namespace {

// The readings of the status display: the engine's cpu_load, the capture
// side's levels and the stream's latency step.
StatusSources stream_status_sources(StreamControl& stream) {
    StatusSources s;
    s.cpu_load = [] { return cpu_load.load(std::memory_order_relaxed); };
    s.input_level = [&stream] { return stream.waves().get_waveIn_level(); };
    s.output_level = [&stream] { return stream.waves().get_waveOut_level(); };
    s.latency_step = [&stream] {
        stream.status_tick();
        return stream.latency();
    };
    return s;
}

}  // namespace

MainExtras::MainExtras()
    : spSkinButton17("spSkinButton17", {16, 408, 118, 26}, " Save FX chain"),
      spSkinButton18("spSkinButton18", {138, 408, 118, 26}, " Load FX chain"),
      ComboBox_PRESETS("ComboBox_PRESETS", {385, 380, 285, 22}),
      ComboBox_SKINS("ComboBox_SKINS", {264, 410, 106, 22}),
      spSkinMenuButton1("spSkinMenuButton1", {385, 408, 285, 26}, " HELP, Presets, Skins and FAQ  "),
      LinkLabel1("LinkLabel1", {16, 448, 354, 16}, "50,000 rock guitar tabs / mp3 archive (click me!)"),
      LinkLabel2("LinkLabel2", {385, 448, 285, 16}, "Top 100 guitar sites (click!) ") {
    ComboBox_PRESETS.add_item("PRESETS (Click to refresh list)");
    ComboBox_PRESETS.add_item("Download From Internet 2000 presets");
    ComboBox_PRESETS.set_item_index_silent(0);
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
    : stream_(*devices.waves, *devices.dsound, dialogs), status_(stream_status_sources(stream_)) {
    stream_.on_latency_threshold_changed = [this](int ms) { status_.set_latency_threshold(ms); };
    status_.set_latency_threshold(stream_.latency_threshold());
    stream_.is_stream_lost = [&devices] { return devices.catalog.stream_lost(); };
    // Creation of the main window: the skin start-up and the presets list
    // come here.
}

void MainForm::show_chain(ChainEditor& chain) { chain.fill_kind_lists_and_build_chain(); }

void MainForm::FormShow() {
    if (shown_) return;
    shown_ = true;
    // usefastwdm will come from the settings file, read before the lists.
    stream_.FormShow_device_lists(usefastwdm_);
    show_chain(chain_);
    // The settings are applied and the default preset loaded here.
    extras_.LinkLabel1.set_visible(true);
    extras_.LinkLabel2.set_visible(true);
}

void MainForm::FormClose() {
    stream_.shut_down();
    // The settings file is written here.
}

}  // namespace tw
