#include "gui/screenshot.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QRegularExpression>
#include <QPixmap>
#include <QTimer>
#include <cstdio>

#include "engine/audio_builtin.h"
#include "engine/effects.h"
#include "fx/effect_form.h"
#include "gui/form_window.h"
#include "gui/main_window.h"
#include "gui/web_view.h"
#include "fx/kinds.h"

namespace tw::gui {

namespace {
int index_of(const ui::ComboBox& c, const std::string& text) {
    for (int i = 0; i < c.count(); ++i)
        if (c.items()[i] == text) return i;
    return -1;
}

int kind_index(const ui::ComboBox& c, const std::string& name) { return index_of(c, name); }

bool save(QWidget& w, const QString& path) {
    const bool ok = w.grab().save(path, "PNG");
    std::fprintf(stderr, "%s %s\n", ok ? "saved" : "could not save", path.toLocal8Bit().constData());
    return ok;
}
// Every other built kind's editor, as <kind>_editor.png (e.g. noise_gate_editor.png).
bool save_other_editors(QWidget& owner, const QString& dir) {
    bool ok = true;
    EffectRegistry* reg = init_kind_registry();
    for (int k = 1; k <= reg->last_kind; ++k) {
        if (k == kKindGain) continue;
        Instance inst = reg->create[k]();
        if (inst == nullptr) continue;
        QString file = QString::fromUtf8(reg->names[k]).toLower();
        file.replace(QRegularExpression("[^a-z0-9]+"), "_");
        while (file.endsWith('_')) file.chop(1);
        {
            EffectWindow editor(*inst, &owner);
            editor.show_editor();
            QCoreApplication::processEvents();
            // A page inside the editor is given time to load and draw.
            if (!editor.findChildren<SkinWebView*>().isEmpty()) {
                SkinWebView::wait_for_pages(editor, 60000);
                QTimer pause;
                pause.setSingleShot(true);
                QEventLoop loop;
                QObject::connect(&pause, &QTimer::timeout, &loop, &QEventLoop::quit);
                pause.start(1500);
                loop.exec();
            }
            ok = save(editor, QDir(dir).filePath(file + "_editor.png")) && ok;
        }
        delete inst;
    }
    return ok;
}
}  // namespace

void take_screenshots(TForm1& window, const QString& dir, std::function<void(bool)> done) {
    QDir().mkpath(dir);
    window.FormShow();
    ChainEditor& chain = window.chain();
    StreamControl& stream = window.stream();

    const int gain = kind_index(chain.row(1).combo, "Gain");
    if (gain > 0) {
        chain.row(1).combo.set_item_index(gain);
        chain.row(1).check.set_checked(true);
    }
    const int in = index_of(stream.ComboBox_waveIn, audio::kDemoInputName);
    const int out = index_of(stream.ComboBox_waveOut, audio::kNullOutputName);
    if (in >= 0 && out >= 0) {
        stream.ComboBox_waveIn.set_item_index(in);
        stream.ComboBox_waveOut.set_item_index(out);
        stream.BitBtn_Init.click();
    }
    // Let the status timer show the running demo for a while.
    QTimer::singleShot(1500, &window, [&window, dir, done] {
        bool ok = save(window, QDir(dir).filePath("main_window.png"));
        ChainEditor& c = window.chain();
        c.row(1).tune.click();
        EffectWindow* editor = window.editor_window(c.instance(1));
        QTimer::singleShot(300, &window, [&window, dir, done, editor, ok]() mutable {
            if (editor != nullptr) {
                ok = save(*editor, QDir(dir).filePath("gain_editor.png")) && ok;
            } else {
                std::fprintf(stderr, "no Gain editor window to save\n");
                ok = false;
            }
            if (window.stream().running()) window.stream().BitBtn_Reset.click();
            ok = save_other_editors(window, dir) && ok;
            done(ok);
        });
    });
}

}  // namespace tw::gui
