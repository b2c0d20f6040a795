#include "gui/main_window.h"

#include <QCloseEvent>
#include <QCursor>
#include <QTimer>

#include "engine/effects.h"
#include "fx/effect_form.h"
#include "gui/controls.h"
#include "gui/form_window.h"
#include "gui/led_meter.h"
#include "gui/look.h"

namespace tw::gui {

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

TForm1::TForm1(WaveIn& waves, DSound& dsound, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), dialogs_(dialogs), stream_(waves, dsound, dialogs), status_(stream_status_sources(stream_)) {
    setObjectName("TForm1");
    setWindowTitle("Tonewarp 3");
    setFixedSize(kClientWidth, kClientHeight);
    apply_look(*this);
    build_widgets();
    bind_chain_hooks();
    stream_.on_latency_threshold_changed = [this](int ms) { status_.set_latency_threshold(ms); };
    status_.set_latency_threshold(stream_.latency_threshold());

    // Timer1 runs from creation to the end, whether or not audio runs.
    timer_ = new QTimer(this);
    timer_->setObjectName("Timer1");
    timer_->setInterval(StatusDisplay::kTimerInterval);
    connect(timer_, &QTimer::timeout, this, [this] { status_.Timer1Timer(); });
    timer_->start();
}

TForm1::~TForm1() {
    timer_->stop();
    // Widgets go before the models they show: editor windows first (their
    // instances are deleted by the chain editor), then every control widget.
    for (auto& [inst, win] : editors_) delete win;
    editors_.clear();
    const auto kids = findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget* w : kids) delete w;
}

void TForm1::build_widgets() {
    // The stream controls carry their own design positions; they sit on a
    // panel that places them right of the chain rows. The panel lies below
    // the rows so it never takes their clicks.
    stream_panel_ = new QWidget(this);
    stream_panel_->setObjectName("Panel_stream");
    stream_panel_->setGeometry(kStreamPanelLeft, 0, kClientWidth - kStreamPanelLeft, 272);
    for (ui::Control* c : std::initializer_list<ui::Control*>{
             &stream_.ComboBox_waveIn, &stream_.ComboBox_waveOut, &stream_.rgSampleRate, &stream_.cbStereo,
             &stream_.BitBtn_Init, &stream_.BitBtn_Reset, &stream_.spSkinButton19, &stream_.spSkinButton20,
             &stream_.ScrollBar_waveInGain, &stream_.ScrollBar_waveOutGain, &stream_.TrackBar_Latency_Porog,
             &stream_.Label_Latency_Porog}) {
        make_control_widget(*c, stream_panel_);
    }
    auto* porog = static_cast<SkinScrollBar*>(control("TrackBar_Latency_Porog"));
    porog->on_mouse_enter = [this] { stream_.TrackBar_Latency_PorogMouseEnter(); };
    porog->on_mouse_leave = [this] { stream_.TrackBar_Latency_PorogMouseLeave(); };

    for (int n = 1; n <= kChainRows; ++n) {
        ChainRow& r = chain_.row(n);
        new SkinCheckBox(r.check, this);
        new SkinComboBox(r.combo, this);
        new SkinButton(r.tune, this);
        new SkinUpDown(r.updown, this);
    }

    for (LedMeter* m : {&status_.ProgressBar_inlevel, &status_.ProgressBar_outlevel, &status_.ProgressBar_CPU,
                        &status_.ProgressBar_Latency}) {
        new LedMeterWidget(*m, this);
    }
    for (ui::Label* l : {&status_.Label_inlevel, &status_.Label_outlevel, &status_.Label_CPU, &status_.Label_Latency,
                         &status_.Label_delay}) {
        new SkinLabel(*l, this);
    }

    for (ui::Control* c : std::initializer_list<ui::Control*>{
             &extras_.spSkinButton17, &extras_.spSkinButton18, &extras_.ComboBox_PRESETS, &extras_.ComboBox_SKINS,
             &extras_.spSkinMenuButton1, &extras_.LinkLabel1, &extras_.LinkLabel2}) {
        make_control_widget(*c, this);
    }
    stream_panel_->lower();
}

void TForm1::bind_chain_hooks() {
    chain_.on_show_editor = [this](int n, Instance inst) { show_editor(n, inst); };
    chain_.on_instance_destroying = [this](Instance inst) { destroy_editor(inst); };
    chain_.on_move_pointer = [](int dy) { QCursor::setPos(QCursor::pos() + QPoint(0, dy)); };
    chain_.on_focus_list = [this](int n) {
        if (QWidget* w = control(chain_.row(n).combo.name())) w->setFocus(Qt::OtherFocusReason);
    };
}

QWidget* TForm1::control(const std::string& name) const {
    return findChild<QWidget*>(QString::fromStdString(name));
}

EffectWindow* TForm1::editor_window(Instance inst) const {
    const auto it = editors_.find(inst);
    return it == editors_.end() ? nullptr : it->second;
}

void TForm1::show_editor(int n, Instance inst) {
    if (inst == nullptr) return;
    // Let the "wait" caption show while the window is built.
    if (QWidget* b = control(chain_.row(n).tune.name()); b != nullptr && b->isVisible()) b->repaint();
    EffectWindow* win = editor_window(inst);
    if (win == nullptr) {
        win = new EffectWindow(*inst, this);
        editors_[inst] = win;
    }
    win->show_editor();
}

void TForm1::destroy_editor(Instance inst) {
    const auto it = editors_.find(inst);
    if (it == editors_.end()) return;
    EffectWindow* win = it->second;
    editors_.erase(it);
    win->hide();
    win->close();
    delete win;  // now: the instance it shows is deleted right after
}

void TForm1::FormShow() {
    if (shown_) return;
    shown_ = true;
    stream_.FormShow_device_lists(0);
    chain_.fill_kind_lists_and_build_chain();
    extras_.LinkLabel1.set_visible(true);
    extras_.LinkLabel2.set_visible(true);
}

void TForm1::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    FormShow();
}

void TForm1::closeEvent(QCloseEvent* e) {
    stream_.shut_down();
    for (auto& [inst, win] : editors_) win->close();
    e->accept();
}

}  // namespace tw::gui
