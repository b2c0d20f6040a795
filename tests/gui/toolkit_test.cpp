// The widget toolkit on its own: each widget shows its model, forwards user
// input to the model's setters (so the handlers run by the models' rules),
// unsubscribes when destroyed; editor windows from a declaration; message
// boxes; the look that skins will replace.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QEnterEvent>
#include <QFile>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QGuiApplication>
#include <QMessageBox>
#include <QRadioButton>
#include <QToolButton>
#include <QScreen>
#include <QSlider>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <memory>

#include "app/status_display.h"
#include "gui/controls.h"
#include "gui/dialogs_qt.h"
#include "gui/form_window.h"
#include "gui/led_meter.h"
#include "gui/look.h"
#include "ui/form_model.h"

namespace tw::gui {
namespace {

TEST(Toolkit, ComboBoxShowsItemsOrFreeTextAndForwardsChoices) {
    QWidget parent;
    ui::ComboBox model("ComboBox_x", {4, 6, 120, 22}, "nothing here");
    int changes = 0;
    model.on_change = [&] { ++changes; };
    auto* w = new SkinComboBox(model, &parent);
    EXPECT_EQ(w->objectName(), "ComboBox_x");
    EXPECT_EQ(w->geometry(), QRect(4, 6, 120, 22));
    EXPECT_EQ(w->currentIndex(), -1);
    EXPECT_EQ(w->placeholderText(), "nothing here");

    model.add_item("a");
    model.add_item("b");
    model.set_item_index_silent(0);
    EXPECT_EQ(w->count(), 2);
    EXPECT_EQ(w->currentText(), "a");
    EXPECT_EQ(changes, 0);

    w->choose(1);
    EXPECT_EQ(model.item_index(), 1);
    EXPECT_EQ(changes, 1);
    w->choose(1);  // the same item: no change handler
    EXPECT_EQ(changes, 1);

    model.set_enabled(false);
    EXPECT_FALSE(w->isEnabled());
    model.set_hint("hint text");
    EXPECT_EQ(w->toolTip(), "hint text");
    model.set_bounds({10, 10, 50, 20});
    EXPECT_EQ(w->geometry(), QRect(10, 10, 50, 20));

    model.clear();
    model.set_text("gone");
    EXPECT_EQ(w->count(), 0);
    EXPECT_EQ(w->placeholderText(), "gone");

    delete w;
    EXPECT_FALSE(static_cast<bool>(model.on_view_update));
    model.add_item("after");  // no widget left to touch
}

TEST(Toolkit, ScrollBarsAndTrackBarsFollowTheSetterRules) {
    QWidget parent;
    ui::ScrollBar sb("ScrollBar_x", {0, 0, 150, 18}, {0, 100, 50, 5, 1});
    ui::ScrollBar tb("TrackBar_y", {0, 20, 20, 120}, {0, 100, 50, 1, 10}, ui::Orientation::Vertical,
                     ui::BarStyle::TrackBar);
    int sb_changes = 0;
    sb.on_change = [&] { ++sb_changes; };
    auto* wsb = new SkinScrollBar(sb, &parent);
    auto* wtb = new SkinScrollBar(tb, &parent);
    ASSERT_NE(qobject_cast<QScrollBar*>(wsb->slider()), nullptr);
    auto* slider = qobject_cast<QSlider*>(wtb->slider());
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->orientation(), Qt::Vertical);
    EXPECT_TRUE(slider->invertedAppearance());  // minimum at the top
    EXPECT_EQ(wsb->slider()->singleStep(), 5);
    EXPECT_EQ(wsb->slider()->pageStep(), 1);
    EXPECT_EQ(wsb->slider()->value(), 50);

    // The user moves the bar: the model takes the position and runs its handler.
    wsb->slider()->setValue(70);
    EXPECT_EQ(sb.position(), 70);
    EXPECT_EQ(sb_changes, 1);
    // The model is set (e.g. by a parameter record): the widget follows, the
    // handler runs only on a change.
    sb.set_position(500);
    EXPECT_EQ(wsb->slider()->value(), 100);
    EXPECT_EQ(sb_changes, 2);
    sb.set_position(100);
    EXPECT_EQ(sb_changes, 2);

    int enters = 0, leaves = 0;
    wsb->on_mouse_enter = [&] { ++enters; };
    wsb->on_mouse_leave = [&] { ++leaves; };
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(wsb, &enter);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(wsb, &leave);
    EXPECT_EQ(enters, 1);
    EXPECT_EQ(leaves, 1);
}

TEST(Toolkit, CheckBoxClickGoesThroughTheModel) {
    QWidget parent;
    parent.resize(200, 100);
    ui::CheckBox model("CheckBox_x", {0, 0, 100, 20}, "Off");
    int clicks = 0;
    model.on_click = [&] {
        ++clicks;
        model.set_caption(model.checked() ? "On" : "Off");
    };
    auto* w = new SkinCheckBox(model, &parent);
    parent.show();
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, QPoint(6, 10));
    EXPECT_TRUE(model.checked());
    EXPECT_TRUE(w->isChecked());
    EXPECT_EQ(w->text(), "On");
    EXPECT_EQ(clicks, 1);
    // Setting the state always runs the handler, even with no change.
    model.set_checked(true);
    EXPECT_EQ(clicks, 2);
    model.set_checked(false);
    EXPECT_FALSE(w->isChecked());
    EXPECT_EQ(w->text(), "Off");
    // A disabled box takes no clicks.
    model.set_enabled(false);
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, QPoint(6, 10));
    EXPECT_FALSE(model.checked());
    EXPECT_EQ(clicks, 3);
}

TEST(Toolkit, ButtonPassesClicksAndEveryMouseRelease) {
    QWidget parent;
    parent.resize(200, 100);
    ui::Button model("Button_x", {0, 0, 60, 20}, "Tune");
    int clicks = 0;
    std::vector<std::tuple<ui::MouseButton, int, int>> ups;
    model.on_click = [&] { ++clicks; };
    model.on_mouse_up = [&](ui::MouseButton b, int x, int y) { ups.emplace_back(b, x, y); };
    auto* w = new SkinButton(model, &parent);
    parent.show();
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, QPoint(10, 5));
    EXPECT_EQ(clicks, 1);
    QTest::mouseRelease(w, Qt::RightButton, Qt::NoModifier, QPoint(30, 15));
    EXPECT_EQ(clicks, 1);
    ASSERT_EQ(ups.size(), 2u);
    EXPECT_EQ(ups[0], std::make_tuple(ui::MouseButton::Left, 10, 5));
    EXPECT_EQ(ups[1], std::make_tuple(ui::MouseButton::Right, 30, 15));
    model.set_caption("wait");
    EXPECT_EQ(w->text(), "wait");
    model.set_enabled(false);
    QTest::mouseClick(w, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
}

TEST(Toolkit, RadioGroupLaysOutColumnsAndSelects) {
    QWidget parent;
    parent.resize(300, 200);
    ui::RadioGroup model("rg", {0, 0, 180, 64}, "Rate", {"a", "b", "c", "d"}, 3, 2);
    int clicks = 0;
    model.on_click = [&] { ++clicks; };
    auto* w = new SkinRadioGroup(model, &parent);
    parent.show();
    EXPECT_EQ(w->title(), "Rate");
    ASSERT_NE(w->item_button(3), nullptr);
    EXPECT_TRUE(w->item_button(3)->isChecked());
    // Two columns filled top to bottom: "c" sits right of "a".
    EXPECT_EQ(w->item_button(2)->y(), w->item_button(0)->y());
    EXPECT_GT(w->item_button(2)->x(), w->item_button(0)->x());
    w->item_button(1)->click();
    EXPECT_EQ(model.item_index(), 1);
    EXPECT_EQ(clicks, 1);
    model.set_item_index(-1);
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(w->item_button(i)->isChecked());
}

TEST(Toolkit, LabelMemoGaugeAndUpDown) {
    QWidget parent;
    ui::Label label("Label_x", {0, 0, 80, 16}, "Latency");
    int enters = 0;
    label.on_mouse_enter = [&] { ++enters; };
    ui::Memo memo("Memo_x", {0, 20, 100, 40}, {"one", "two"});
    ui::Gauge gauge("Gauge_x", {0, 70, 100, 10}, 0, 100, 20);
    ui::UpDown ud("UpDown_x", {0, 90, 18, 20});
    int ups = 0, downs = 0;
    ud.on_up = [&] { ++ups; };
    ud.on_down = [&] { ++downs; };
    auto* wl = dynamic_cast<SkinLabel*>(make_control_widget(label, &parent));
    auto* wm = dynamic_cast<SkinMemo*>(make_control_widget(memo, &parent));
    auto* wg = dynamic_cast<SkinGauge*>(make_control_widget(gauge, &parent));
    auto* wu = dynamic_cast<SkinUpDown*>(make_control_widget(ud, &parent));
    ASSERT_TRUE(wl && wm && wg && wu);
    EXPECT_EQ(wl->text(), "Latency");
    label.set_caption("35 ms");
    EXPECT_EQ(wl->text(), "35 ms");
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(wl, &enter);
    EXPECT_EQ(enters, 1);
    EXPECT_EQ(wm->toPlainText(), "one\ntwo");
    memo.add_line("three");
    EXPECT_EQ(wm->toPlainText(), "one\ntwo\nthree");
    EXPECT_EQ(wg->value(), 20);
    gauge.set_progress(250);
    EXPECT_EQ(wg->value(), 100);
    wu->up_button()->click();
    wu->down_button()->click();
    wu->down_button()->click();
    EXPECT_EQ(ups, 1);
    EXPECT_EQ(downs, 2);
}

TEST(Toolkit, FormWindowIsBuiltFromTheDeclaration) {
    ui::Label l("Label_a", {10, 12, 100, 16}, "Mono Volume:");
    ui::ScrollBar b("ScrollBar_a", {120, 10, 150, 18}, {0, 100, 50, 5, 1});
    ui::CheckBox c("CheckBox_a", {10, 40, 100, 20}, "   A i r", true);
    ui::FormModel form("Tsome_form", "Some", 306, 230);
    form.add(l);
    form.add(b);
    form.add(c);
    {
        FormWindow win(form, nullptr);
        EXPECT_EQ(win.objectName(), "Tsome_form");
        EXPECT_EQ(win.windowTitle(), "Some");
        EXPECT_EQ(win.minimumSize(), QSize(306, 230));
        EXPECT_EQ(win.maximumSize(), QSize(306, 230));
        ASSERT_NE(win.control_widget("ScrollBar_a"), nullptr);
        EXPECT_EQ(win.control_widget("ScrollBar_a")->geometry(), QRect(120, 10, 150, 18));
        EXPECT_EQ(static_cast<QCheckBox*>(win.control_widget("CheckBox_a"))->isChecked(), true);
        EXPECT_EQ(win.control_widget("Nope"), nullptr);
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        EXPECT_LE(std::abs(win.geometry().center().x() - area.center().x()), 1);
        EXPECT_LE(std::abs(win.geometry().center().y() - area.center().y()), 1);
    }
    // The window is gone; its models no longer call into it.
    EXPECT_FALSE(static_cast<bool>(b.on_view_update));
    b.set_position(10);
}

TEST(Toolkit, MessageBoxHasTheTextAndOnlyAnOkButton) {
    QString seen_text;
    int buttons = -1;
    bool warning_icon = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen_text = box->text();
        buttons = static_cast<int>(box->buttons().size());
        warning_icon = box->icon() == QMessageBox::Warning;
        box->button(QMessageBox::Ok)->click();
    });
    warning_box(nullptr, "There is no wdm sound output device");
    EXPECT_EQ(seen_text, "There is no wdm sound output device");
    EXPECT_EQ(buttons, 1);
    EXPECT_TRUE(warning_icon);

    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen_text = box->text();
        warning_icon = box->icon() == QMessageBox::Warning;
        box->button(QMessageBox::Ok)->click();
    });
    QtDialogs d;
    d.message("Error: Can not open  x 0", "details");
    EXPECT_EQ(seen_text, "Error: Can not open  x 0");
    EXPECT_FALSE(warning_icon);
}

TEST(Toolkit, FileDialogsReturnTheChoiceOrNothing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath("F1 Clean.pre");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QString title, folder;
    QStringList filters;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        title = d->windowTitle();
        folder = d->directory().absolutePath();
        filters = d->nameFilters();
        d->selectFile(file);
        static_cast<QDialog*>(d)->accept();  // public in QDialog
    });
    const QString chosen = open_file_dialog(nullptr, "Open file", dir.path(), "Presets (*.pre)");
    EXPECT_EQ(chosen, file);
    EXPECT_EQ(title, "Open file");
    EXPECT_EQ(folder, QDir(dir.path()).absolutePath());
    EXPECT_EQ(filters, QStringList{"Presets (*.pre)"});

    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        title = d->windowTitle();
        d->reject();
    });
    EXPECT_TRUE(save_file_dialog(nullptr, "Save file", dir.path(), "Presets (*.pre)").isEmpty());
    EXPECT_EQ(title, "Save file");
}

TEST(Toolkit, LedMeterDrawsFromTheCurrentLook) {
    QWidget parent;
    LedMeter model("ProgressBar_x", {0, 0, 240, 12}, 0, 100, 75, 90);
    auto* w = new LedMeterWidget(model, &parent);
    EXPECT_EQ(w->objectName(), "ProgressBar_x");
    model.set_position(100);
    const Look def = default_look();
    EXPECT_EQ(w->segment_colour(0), def.led_colour1);
    EXPECT_EQ(w->segment_colour(25), def.led_colour2);
    EXPECT_EQ(w->segment_colour(29), def.led_colour3);
    model.set_position(50);  // 15 lit
    EXPECT_EQ(w->segment_colour(14), def.led_colour1);
    EXPECT_EQ(w->segment_colour(15), def.led_colour1.darker(def.led_unlit_darker));
    EXPECT_EQ(w->segment_colour(28), def.led_colour3.darker(def.led_unlit_darker));

    // A skin replaces the look in one place; the meter follows it.
    Look green = def;
    green.name = "green";
    green.led_colour1 = QColor(0, 200, 0);
    set_current_look(green);
    EXPECT_EQ(w->segment_colour(0), QColor(0, 200, 0));
    QImage img = w->grab().toImage();
    EXPECT_EQ(img.pixelColor(4, 6), QColor(0, 200, 0));        // inside the first (lit) segment
    EXPECT_EQ(img.pixelColor(0, 6), def.led_separator);        // the separator at its left
    set_current_look(def);
    EXPECT_FALSE(style_sheet_of(def).isEmpty());
    Look custom = def;
    custom.style_sheet = "QWidget { color: red; }";
    EXPECT_EQ(style_sheet_of(custom), "QWidget { color: red; }");
}

}  // namespace
}  // namespace tw::gui
