#include "gui/midi_menu.h"

#include <QAbstractSlider>
#include <QMenu>

#include "gui/controls.h"

namespace tw::gui {

namespace {

void show_menu(QWidget& anchor, const QPoint& at, MidiControl& midi, const MidiTarget& t, bool is_switch) {
    QMenu menu(&anchor);
    menu.setObjectName("MidiMenu");
    const bool learning_this = midi.learning() && midi.learn_target() == t;
    QAction* learn = menu.addAction(learning_this ? "Cancel MIDI learn" : "MIDI learn");
    learn->setObjectName("MidiLearn");
    QObject::connect(learn, &QAction::triggered, &anchor, [&midi, t, learning_this] {
        if (learning_this)
            midi.cancel_learn();
        else
            midi.learn(t);
    });
    const MidiMapping* m = midi.mapping_for(t);
    const QString bound =
        m != nullptr ? QString(" (CC %1, channel %2)").arg(m->cc).arg(m->channel + 1) : QString();
    QAction* forget = menu.addAction("Forget MIDI" + bound);
    forget->setObjectName("MidiForget");
    forget->setEnabled(m != nullptr);
    QObject::connect(forget, &QAction::triggered, &anchor, [&midi, t] { midi.forget(t); });
    if (is_switch) {
        QAction* every = menu.addAction("Toggle on every press");
        every->setObjectName("MidiEveryPress");
        every->setCheckable(true);
        every->setChecked(m != nullptr && m->every_press);
        every->setEnabled(m != nullptr);
        QObject::connect(every, &QAction::toggled, &anchor, [&midi, t](bool on) { midi.set_every_press(t, on); });
    }
    menu.exec(anchor.mapToGlobal(at));
}

void hook(QWidget& w, const std::string& name, bool is_switch, MidiControl& midi, const std::function<int()>& slot) {
    w.setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(&w, &QWidget::customContextMenuRequested, &w, [&w, name, is_switch, &midi, slot](const QPoint& at) {
        const int s = slot();
        if (s < 0) return;
        show_menu(w, at, midi, MidiTarget{s, name}, is_switch);
    });
}

}  // namespace

void attach_midi_menu(QWidget& root, MidiControl& midi, std::function<int()> slot,
                      std::function<bool(const std::string& name)> learnable) {
    // The skinned widgets carry no meta-object of their own, so they are
    // told apart by their C++ type.
    for (QWidget* w : root.findChildren<QWidget*>()) {
        if (auto* bar = dynamic_cast<SkinScrollBar*>(w)) {
            const std::string name = bar->model().name();
            if (!learnable(name)) continue;
            // The right click lands on the inner slider, whose own menu this replaces.
            hook(*bar->slider(), name, false, midi, slot);
            hook(*bar, name, false, midi, slot);
        } else if (auto* box = dynamic_cast<SkinCheckBox*>(w)) {
            const std::string name = box->model().name();
            if (learnable(name)) hook(*box, name, true, midi, slot);
        }
    }
}

}  // namespace tw::gui
