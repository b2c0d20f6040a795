// Setter rules of the control models that every effect and window relies on.
#include <gtest/gtest.h>

#include "ui/button.h"
#include "ui/check_box.h"
#include "ui/combo_box.h"
#include "ui/radio_group.h"
#include "ui/scroll_bar.h"
#include "ui/text_controls.h"

namespace tw::ui {
namespace {

TEST(ScrollBarModel, ClampsAndRunsTheHandlerOnlyOnChange) {
    ScrollBar bar("b", {}, BarRange{1, 50, 35, 1, 5});
    int calls = 0;
    bar.on_change = [&] { ++calls; };
    EXPECT_EQ(bar.position(), 35);  // start position ran nothing
    bar.set_position(35);
    EXPECT_EQ(calls, 0);
    bar.set_position(60);
    EXPECT_EQ(bar.position(), 50);
    EXPECT_EQ(calls, 1);
    bar.set_position(99);  // clamps to 50 again: no change
    EXPECT_EQ(calls, 1);
    bar.set_position(-5);
    EXPECT_EQ(bar.position(), 1);
    EXPECT_EQ(calls, 2);
    bar.set_range(10, 20);  // position 1 is outside: clamped with a handler run
    EXPECT_EQ(bar.position(), 10);
    EXPECT_EQ(calls, 3);
}

TEST(ScrollBarModel, ViewIsToldOfEveryShownChange) {
    ScrollBar bar("b", {}, BarRange{0, 100, 50, 5, 1});
    int views = 0;
    bar.on_view_update = [&] { ++views; };
    bar.set_position(50);
    bar.set_position(51);
    bar.set_enabled(false);
    EXPECT_EQ(views, 2);
}

TEST(CheckBoxModel, SettingAlwaysRunsTheClick) {
    CheckBox box("c", {}, "Off");
    int calls = 0;
    box.on_click = [&] { ++calls; };
    box.set_checked(false);
    box.set_checked(false);
    EXPECT_EQ(calls, 2);
    box.click();
    EXPECT_TRUE(box.checked());
    EXPECT_EQ(calls, 3);
    box.set_enabled(false);
    box.click();  // a disabled box ignores user clicks
    EXPECT_TRUE(box.checked());
    EXPECT_EQ(calls, 3);
}

TEST(ComboBoxModel, ChangeHandlerFollowsTheShownItem) {
    ComboBox combo("k", {}, "--- select ---");
    int calls = 0;
    combo.on_change = [&] { ++calls; };
    EXPECT_EQ(combo.text(), "--- select ---");
    combo.add_item("a");
    combo.add_item("b");
    combo.set_item_index(1);
    EXPECT_EQ(combo.text(), "b");
    combo.set_item_index(1);
    combo.set_item_index(7);  // out of range: ignored
    EXPECT_EQ(calls, 1);
    combo.set_item_index_silent(0);
    EXPECT_EQ(combo.item_index(), 0);
    EXPECT_EQ(calls, 1);
    combo.set_text("There is no sound input device");
    EXPECT_EQ(combo.item_index(), -1);
    EXPECT_EQ(combo.text(), "There is no sound input device");
    combo.clear();
    EXPECT_EQ(combo.count(), 0);
    EXPECT_EQ(combo.text(), "");
}

TEST(RadioGroupModel, SelectsWithinItems) {
    RadioGroup g("rg", {}, "  Sampling Frequency (Hz)", {"22050", "32075", "44100", "48000"}, 3, 2);
    int calls = 0;
    g.on_click = [&] { ++calls; };
    EXPECT_EQ(g.selected_text(), "48000");
    g.set_item_index(1);
    g.set_item_index(9);
    EXPECT_EQ(g.selected_text(), "32075");
    EXPECT_EQ(calls, 1);
}

TEST(ButtonModel, DisabledButtonsIgnoreClicks) {
    Button b("BitBtn_Init", {}, " START");
    int calls = 0;
    b.on_click = [&] { ++calls; };
    b.click();
    b.set_enabled(false);
    b.click();
    EXPECT_EQ(calls, 1);
    UpDown ud("u", {});
    int ups = 0, downs = 0;
    ud.on_up = [&] { ++ups; };
    ud.on_down = [&] { ++downs; };
    ud.click_up();
    ud.click_down();
    ud.click_down();
    EXPECT_EQ(ups, 1);
    EXPECT_EQ(downs, 2);
    Gauge gauge("g", {}, 0, 100, 0);
    gauge.set_progress(150);
    EXPECT_EQ(gauge.progress(), 100);
}

}  // namespace
}  // namespace tw::ui
