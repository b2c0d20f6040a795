#include "gui/screenshot.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QRegularExpression>
#include <QPixmap>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "engine/audio_builtin.h"
#include "engine/effects.h"
#include "fx/effect_form.h"
#include "gui/form_window.h"
#include "gui/main_window.h"
#include "gui/tuner_window.h"
#include "gui/web_view.h"
#include "fx/kinds.h"
#include "app/skins/skin_chooser.h"

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
            EffectWindow editor(*effect_form(inst), &owner);
            editor.show_editor();
            QCoreApplication::processEvents();
            // A page inside the editor is given time to load and draw.
            if (!SkinWebView::views_in(editor).isEmpty()) {
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
// Opens the tuner on the running demo, waits (up to 3 s) until it shows a note,
// saves tuner_window.png, closes it and runs `then(ok)`.
void save_tuner(TForm1& window, const QString& dir, std::function<void(bool)> then, int tries = 60) {
    if (window.tuner_window() == nullptr || !window.tuner_window()->isVisible()) {
        window.form().tuner().Button_Tuner.click();
        if (TunerWindow* t = window.tuner_window()) t->resize(480, 320);
    }
    TunerWindow* t = window.tuner_window();
    if (t == nullptr) {
        then(false);
        return;
    }
    t->refresh();
    if (!t->display().reading().has_note && tries > 0) {
        QTimer::singleShot(50, &window, [&window, dir, then, tries] { save_tuner(window, dir, then, tries - 1); });
        return;
    }
    const bool ok = save(*t, QDir(dir).filePath("tuner_window.png"));
    t->close();
    then(ok);
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
            save_tuner(window, dir, [&window, dir, done, ok](bool tuner_ok) {
                bool all = ok && tuner_ok;
                if (window.stream().running()) window.stream().BitBtn_Reset.click();
                all = save_other_editors(window, dir) && all;
                done(all);
            });
        });
    });
}

namespace {
void shoot_skin(TForm1& window, const QString& dir, std::vector<std::string> packages, int row, bool ok,
                std::function<void(bool)> done) {
    if (packages.empty() || row > kChainRows) {
        window.form().skins().LoadSkinPackage(skins::skins_folder() + "/" + skins::kDefaultPackage);
        window.form().FitSkinLayout();
        done(ok);
        return;
    }
    const std::string package = packages.front();
    packages.erase(packages.begin());
    // What choosing the package in the list does, without its message box.
    window.form().skins().LoadSkinPackage(skins::skins_folder() + "/" + package);
    window.form().FitSkinLayout();
    ChainEditor& chain = window.chain();
    const int gain = kind_index(chain.row(row).combo, "Gain");
    if (gain > 0) {
        chain.row(row).combo.set_item_index(gain);
        chain.row(row).check.set_checked(true);
    }
    QString base = QString::fromStdString(package);
    base.chop(4);
    QTimer::singleShot(300, &window, [&window, dir, packages, row, ok, done, base]() mutable {
        ok = save(window, QDir(dir).filePath("skin_" + base + "_main.png")) && ok;
        window.chain().row(row).tune.click();
        EffectWindow* editor = window.editor_window(window.chain().instance(row));
        QTimer::singleShot(300, &window, [&window, dir, packages, row, ok, done, base, editor]() mutable {
            ok = editor != nullptr && save(*editor, QDir(dir).filePath("skin_" + base + "_gain.png")) && ok;
            if (editor != nullptr) editor->close();
            shoot_skin(window, dir, packages, row + 1, ok, done);
        });
    });
}
}  // namespace

void take_skin_screenshots(TForm1& window, const QString& dir, std::function<void(bool)> done) {
    QDir().mkpath(dir);
    window.FormShow();
    std::vector<std::string> packages = skins::list_skin_packages(skins::skins_folder());
    std::sort(packages.begin(), packages.end());
    shoot_skin(window, dir, packages, 1, !packages.empty(), std::move(done));
}

}  // namespace tw::gui
