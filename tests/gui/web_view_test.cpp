// The Distortion (Simple) editor: its knob page in the real web engine moves
// the effect through the page's own script, and the plain bars that stand in
// when the engine cannot run drive the same handler.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>
#include <QWebEngineView>
#include <memory>

#include "fx/curves.h"
#include "fx/limiter_form.h"
#include "platform/program_files.h"
#include "gui/form_window.h"
#include "gui/web_view.h"

namespace tw {
namespace {

constexpr int kEngineWaitMs = 90000;   // a busy machine starts the engine slowly
constexpr int kScriptWaitMs = 20000;

class LimiterEditor : public ::testing::Test {
protected:
    void SetUp() override {
        old_folder_ = platform::program_folder();
        platform::set_program_folder(TW_TEST_DATA_DIR);   // where html/limiter1.htm is staged
    }
    void TearDown() override {
        window.reset();
        platform::set_program_folder(old_folder_);
        qunsetenv("TW_NO_WEBENGINE");
    }
    gui::SkinWebView* open_editor() {
        window = std::make_unique<gui::EffectWindow>(effect, nullptr);
        window->show_editor();
        return window->findChild<gui::SkinWebView*>("WebBrowser1");
    }
    // Runs script in the page and returns its result (invalid on time-out).
    QVariant run_script(gui::SkinWebView& v, const QString& script) {
        QVariant result;
        bool done = false;
        v.view()->page()->runJavaScript(script, [&](const QVariant& r) {
            result = r;
            done = true;
        });
        if (!QTest::qWaitFor([&] { return done; }, kScriptWaitMs)) return {};
        return result;
    }

    Tlimiter_form effect;
    std::unique_ptr<gui::EffectWindow> window;

private:
    std::string old_folder_;
};

TEST_F(LimiterEditor, PageInTheWebEngineMovesTheEffect) {
    effect.knob_gain = 30;
    effect.knob_colorr = 77;
    gui::SkinWebView* v = open_editor();
    ASSERT_NE(v, nullptr);
    ASSERT_FALSE(v->uses_bars()) << v->reason().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return v->page_loaded() || v->uses_bars(); }, kEngineWaitMs))
        << "the page did not load in time";
    ASSERT_FALSE(v->uses_bars()) << v->reason().toStdString();
    EXPECT_EQ(window->size(), QSize(327, 302));

    // The page placed its knobs from the address.
    EXPECT_EQ(run_script(*v, "knobs.elm32.pos").toInt(), 30);
    EXPECT_EQ(run_script(*v, "knobs.elm35.pos").toInt(), 77);
    EXPECT_EQ(run_script(*v, "knobs.elm12.pos").toInt(), 0);

    // A key press on the gain knob: the page's title reports it, the handler follows.
    run_script(*v, "document.getElementById('elm32').dispatchEvent("
                   "new KeyboardEvent('keydown', {key: 'ArrowUp', bubbles: true}))");
    ASSERT_TRUE(QTest::qWaitFor([&] { return effect.knob_gain.load() == 31; }, kScriptWaitMs))
        << "title seen: " << effect.WebBrowser1.title();
    EXPECT_EQ(effect.WebBrowser1.title(), "gain =31");
    EXPECT_EQ(effect.params.out_gain, *gain_curve(69.0f));

    run_script(*v, "document.getElementById('elm12').dispatchEvent("
                   "new KeyboardEvent('keydown', {key: 'End', bubbles: true}))");
    ASSERT_TRUE(QTest::qWaitFor([&] { return effect.knob_porog.load() == 100; }, kScriptWaitMs));
    EXPECT_EQ(effect.params.threshold, 1000.0f);
}

TEST_F(LimiterEditor, BarsStandInWhenTheEngineCannotRun) {
    qputenv("TW_NO_WEBENGINE", "1");
    effect.knob_colorl = 40;
    effect.knob_gain = 50;
    gui::SkinWebView* v = open_editor();
    ASSERT_NE(v, nullptr);
    ASSERT_TRUE(v->uses_bars());
    EXPECT_EQ(v->view(), nullptr);
    // Only the page itself counts as a page (not the labels and bars around it).
    EXPECT_EQ(gui::SkinWebView::views_in(*window), QList<gui::SkinWebView*>{v});
    EXPECT_TRUE(gui::SkinWebView::wait_for_pages(*window, 0));
    auto* reason = v->findChild<QLabel*>("WebBrowser1_reason");
    ASSERT_NE(reason, nullptr);
    EXPECT_TRUE(reason->text().contains("web engine"));
    ASSERT_NE(v->bar(4), nullptr);
    EXPECT_EQ(v->bar(3)->position(), 40);   // placed from the address, as the page would
    EXPECT_EQ(v->bar(1)->position(), 50);
    v->bar(1)->set_position(0);
    EXPECT_EQ(effect.knob_gain.load(), 0);
    EXPECT_EQ(effect.params.out_gain, 11.0f);
    v->bar(0)->set_position(63);
    EXPECT_EQ(effect.params.threshold, 500.0f);
}

}  // namespace
}  // namespace tw
