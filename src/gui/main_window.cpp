#include "gui/main_window.h"

#include "app/leftover_takes.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QMenu>
#include <QTimer>

#include "app/help_pages.h"
#include "engine/effects.h"
#include "app/preset_switch_choices.h"
#include "fx/effect_form.h"
#include "gui/controls.h"
#include "gui/form_window.h"
#include "gui/led_meter.h"
#include "gui/midi_menu.h"
#include "gui/look.h"
#include "gui/tuner_window.h"

namespace tw::gui {

TForm1::TForm1(AudioDevices& devices, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), form_(devices, dialogs), dialogs_(dialogs) {
    setObjectName("TForm1");
    setWindowTitle("Tonewarp 3");
    setFixedSize(kClientWidth, kClientHeight);
    // The skin the form loaded at its creation, and every later change.
    show_skin(form_.skins().skin());
    form_.skins().on_skin_loaded = [this](const skins::SkinDescription& s) { show_skin(s); };
    build_widgets();
    bind_chain_hooks();
    form_.on_show_help_menu = [this] { show_help_menu(); };
    // F1..F12 reach the form before the controls see them.
    qApp->installEventFilter(this);

    // Timer1 runs from creation to the end, whether or not audio runs.
    timer_ = new QTimer(this);
    timer_->setObjectName("Timer1");
    timer_->setInterval(StatusDisplay::kTimerInterval);
    connect(timer_, &QTimer::timeout, this, [this] { status().Timer1Timer(); });
    timer_->start();

    // MIDI: the foot controller's messages are taken every few milliseconds
    // (a program change reaches the chain within one tick), its port list is
    // looked at once a second (unplugged / back).
    midi_timer_ = new QTimer(this);
    midi_timer_->setObjectName("Timer_MIDI");
    midi_timer_->setInterval(MidiControl::kPollMs);
    connect(midi_timer_, &QTimer::timeout, this, [this] { form_.midi().poll(); });
    midi_timer_->start();
    midi_ports_timer_ = new QTimer(this);
    midi_ports_timer_->setInterval(MidiControl::kPortCheckMs);
    connect(midi_ports_timer_, &QTimer::timeout, this, [this] {
        if (first_show_done()) form_.midi().refresh_ports();
    });
    midi_ports_timer_->start();
}

void TForm1::show_skin(const skins::SkinDescription& skin) {
    set_current_look(look_from_skin(skin));
    if (!current_look().refusal.isEmpty()) dialogs_.warning(current_look().refusal.toStdString(), "");
    apply_look(*this);
    // The LED meters paint from the look in force.
    update();
}

TForm1::~TForm1() {
    form_.skins().on_skin_loaded = nullptr;
    qApp->removeEventFilter(this);
    timer_->stop();
    midi_timer_->stop();
    midi_ports_timer_->stop();
    // Widgets go before the models they show: editor windows first (their
    // instances are deleted by the chain editor), then every control widget.
    for (auto& [inst, win] : editors_) delete win;
    editors_.clear();
    delete tuner_window_;
    tuner_window_ = nullptr;
    const auto kids = findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget* w : kids) delete w;
}

void TForm1::build_widgets() {
    StreamControl& sc = stream();
    StatusDisplay& sd = status();
    MainExtras& ex = extras();
    PresetManager& pm = form_.presets();
    // The stream controls carry their own design positions; they sit on a
    // panel that places them right of the chain rows. The panel lies below
    // the rows so it never takes their clicks.
    stream_panel_ = new QWidget(this);
    stream_panel_->setObjectName("Panel_stream");
    stream_panel_->setGeometry(kStreamPanelLeft, 0, kClientWidth - kStreamPanelLeft, 272);
    for (ui::Control* c : std::initializer_list<ui::Control*>{
             &sc.ComboBox_waveIn, &sc.ComboBox_waveOut, &sc.rgSampleRate, &sc.cbStereo,
             &sc.BitBtn_Init, &sc.BitBtn_Reset, &sc.spSkinButton19, &sc.spSkinButton20,
             &sc.ScrollBar_waveInGain, &sc.ScrollBar_waveOutGain, &sc.TrackBar_Latency_Porog,
             &sc.Label_Latency_Porog}) {
        make_control_widget(*c, stream_panel_);
    }
    auto* porog = static_cast<SkinScrollBar*>(control("TrackBar_Latency_Porog"));
    porog->on_mouse_enter = [this] { stream().TrackBar_Latency_PorogMouseEnter(); };
    porog->on_mouse_leave = [this] { stream().TrackBar_Latency_PorogMouseLeave(); };

    for (int n = 1; n <= kChainRows; ++n) {
        ChainRow& r = chain().row(n);
        new SkinCheckBox(r.check, this);
        new SkinComboBox(r.combo, this);
        new SkinButton(r.tune, this);
        new SkinUpDown(r.updown, this);
        new LedMeterWidget(r.load, this);
    }

    for (LedMeter* m : {&sd.ProgressBar_inlevel, &sd.ProgressBar_outlevel, &sd.ProgressBar_CPU,
                        &sd.ProgressBar_Latency}) {
        new LedMeterWidget(*m, this);
    }
    for (ui::Label* l : {&sd.Label_inlevel, &sd.Label_outlevel, &sd.Label_CPU, &sd.Label_Latency,
                         &sd.Label_delay}) {
        new SkinLabel(*l, this);
    }

    for (ui::Control* c : std::initializer_list<ui::Control*>{
             &pm.spSkinButton17, &pm.spSkinButton18, &pm.ComboBox_PRESETS, &ex.ComboBox_SKINS,
             &ex.spSkinMenuButton1, &ex.LinkLabel1, &ex.LinkLabel2, &form_.tuner().Button_Tuner,
             &form_.midi().ComboBox_MIDI, &form_.midi().Label_MIDI}) {
        make_control_widget(*c, this);
    }
    // Right click on the gains, the threshold, mono/stereo and the rows'
    // On/Off boxes: MIDI learn.
    MidiControl& midi = form_.midi();
    attach_midi_menu(*this, midi, [] { return 0; }, [&midi](const std::string& name) {
        for (const ui::Control* c : midi.main_controls())
            if (c->name() == name) return true;
        return false;
    });
    form_.tuner().on_show_window = [this] {
        if (tuner_window_ == nullptr) tuner_window_ = new TunerWindow(form_.tuner(), this);
        tuner_window_->show_tuner();
    };
    stream_panel_->lower();
}

void TForm1::bind_chain_hooks() {
    chain().on_show_editor = [this](int n, Instance inst) { show_editor(n, inst); };
    chain().on_instance_destroying = [this](Instance inst) { destroy_editor(inst); };
    chain().on_move_pointer = [](int dy) { QCursor::setPos(QCursor::pos() + QPoint(0, dy)); };
    chain().on_focus_list = [this](int n) {
        if (QWidget* w = control(chain().row(n).combo.name())) w->setFocus(Qt::OtherFocusReason);
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
    if (QWidget* b = control(chain().row(n).tune.name()); b != nullptr && b->isVisible()) b->repaint();
    EffectWindow* win = editor_window(inst);
    if (win == nullptr) {
        win = new EffectWindow(*effect_form(inst), this);
        editors_[inst] = win;
        // Every bar and switch of an editor may be learned; the mapping names
        // the row the effect sits in when the menu opens (rows move).
        MidiControl& midi = form_.midi();
        attach_midi_menu(*win, midi, [&midi, inst] { const int n = midi.slot_of_editor(inst); return n > 0 ? n : -1; },
                         [](const std::string&) { return true; });
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

int TForm1::function_key(int qt_key) {
    return qt_key >= Qt::Key_F1 && qt_key <= Qt::Key_F12 ? qt_key - Qt::Key_F1 + 1 : 0;
}

bool TForm1::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::KeyRelease) {
        auto* w = qobject_cast<QWidget*>(watched);
        const auto* k = static_cast<QKeyEvent*>(e);
        // A key event travels from the focused widget up to its window;
        // handle it once, where it starts.
        QWidget* focus = QApplication::focusWidget();
        const bool first_stop = w == focus || (w == this && (focus == nullptr || focus->window() != this));
        if (w != nullptr && w->window() == this && first_stop && !k->isAutoRepeat()) {
            const int n = function_key(k->key());
            if (n != 0) form_.FormKeyUp(n);
        }
    }
    return QWidget::eventFilter(watched, e);
}

void TForm1::show_help_menu() {
    QMenu menu(this);
    menu.setObjectName("HelpMenu");
    const auto& entries = help_menu_entries();
    for (int i = 0; i < kHelpMenuEntries; ++i) {
        QAction* a = menu.addAction(QString::fromUtf8(entries[static_cast<std::size_t>(i)].caption));
        connect(a, &QAction::triggered, this, [this, i] { form_.HelpMenuClick(i); });
    }
    // How a preset change sounds: the crossfade, and how long the old
    // chain's tails ring on.
    menu.addSeparator();
    ChainEditor& ed = chain();
    QMenu* fade = menu.addMenu("Preset change: crossfade");
    fade->setObjectName("CrossfadeMenu");
    for (const int ms : kCrossfadeChoicesMs) {
        QAction* a = fade->addAction(QString::fromStdString(crossfade_caption(ms)));
        a->setCheckable(true);
        a->setChecked(ed.switch_fade_ms == ms);
        connect(a, &QAction::triggered, this, [&ed, ms] { ed.switch_fade_ms = ms; });
    }
    QMenu* spill = menu.addMenu("Preset change: tails ring on");
    spill->setObjectName("SpillOverMenu");
    for (const int ms : kSpillOverChoicesMs) {
        QAction* a = spill->addAction(QString::fromStdString(spill_over_caption(ms)));
        a->setCheckable(true);
        a->setChecked(ed.spill_over_ms == ms);
        connect(a, &QAction::triggered, this, [&ed, ms] { ed.spill_over_ms = ms; });
    }
    QWidget* button = control(extras().spSkinMenuButton1.name());
    const QPoint at = button != nullptr ? button->mapToGlobal(QPoint(0, button->height())) : QCursor::pos();
    menu.exec(at);
}

void TForm1::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    const bool first = !leftovers_offered_;
    FormShow();
    if (first) {
        leftovers_offered_ = true;
        // After the window is up, so the questions have a window to sit on.
        QTimer::singleShot(0, this, [this] { offer_leftover_takes(dialogs_); });
    }
}

void TForm1::closeEvent(QCloseEvent* e) {
    form_.FormClose();
    for (auto& [inst, win] : editors_) win->close();
    if (tuner_window_ != nullptr) tuner_window_->close();
    e->accept();
}

}  // namespace tw::gui
