// Skins in the windows: a change re-skins the main window and the editors
// opened afterwards while editors opened before keep theirs; pictures that
// are not images leave their part in the built-in look; bars show their
// value in the tooltip.
#include <QBuffer>
#include <QComboBox>
#include <QImage>
#include <QPushButton>
#include <filesystem>
#include <fstream>
#include <zip.h>

#include "app/program_folder.h"
#include "fx/gain_form.h"
#include "gui/controls.h"
#include "gui/form_window.h"
#include "gui/look.h"
#include "gui_fixture.h"

namespace tw::test {
namespace {

namespace fs = std::filesystem;

// A package in SKINS/ of the program folder: skin.ini and, when asked, a
// real PNG as button.png.
void make_package(const std::string& name, const std::string& ini, bool with_picture) {
    fs::create_directories(fs::path(program_folder()) / "SKINS");
    const std::string path = program_folder() + "/SKINS/" + name;
    int err = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    ASSERT_NE(z, nullptr);
    ASSERT_GE(zip_file_add(z, "skin.ini", zip_source_buffer(z, ini.data(), ini.size(), 0), 0), 0);
    QByteArray png;
    if (with_picture) {
        QImage img(32, 24, QImage::Format_ARGB32);
        img.fill(QColor(0x80, 0x40, 0x20));
        QBuffer buf(&png);
        ASSERT_TRUE(buf.open(QIODevice::WriteOnly) && img.save(&buf, "PNG"));
        ASSERT_GE(zip_file_add(z, "button.png", zip_source_buffer(z, png.constData(), png.size(), 0), 0), 0);
    }
    ASSERT_EQ(zip_close(z), 0);
}

class SkinsWindowTest : public MainWindowFixture {
protected:
    void TearDown() override {
        MainWindowFixture::TearDown();
        std::error_code ec;
        fs::remove_all(program_path("SKINS"), ec);
        fs::remove_all(program_path("temp"), ec);
        gui::set_current_look(gui::default_look());
    }
    void choose(const std::string& item) {
        auto* combo = widget<QComboBox>("ComboBox_SKINS");
        ASSERT_NE(combo, nullptr);
        const int i = combo->findText(QString::fromStdString(item));
        ASSERT_GE(i, 0) << item;
        combo->setCurrentIndex(i);
        emit combo->activated(i);
    }
    gui::EffectWindow* open_gain(int row) {
        auto* combo = row_widget<QComboBox>("spSkinComboBox", row);
        combo->setCurrentIndex(kKindGain);
        emit combo->activated(kKindGain);
        row_widget<QPushButton>("spSkinButton", row)->click();
        return window->editor_window(window->chain().instance(row));
    }
    static QString skin_of(QWidget* w) { return w->property("tw_skin_name").toString(); }
};

TEST_F(SkinsWindowTest, EditorsOpenedBeforeAChangeKeepTheirSkin) {
    make_package("alpha.zip", "[VERSION]\nskinname=alpha\n[COLOURS]\nwindow=#112233\n", false);
    make_package("beta.zip", "[VERSION]\nskinname=beta\n[COLOURS]\nwindow=#445566\n[PICTURES]\nbutton=button.png\n"
                             "button_margins=4\n", true);
    choose("SKINS");  // the title rebuilds the list with the new packages
    choose("alpha.zip");
    EXPECT_EQ(skin_of(window.get()), "alpha");
    EXPECT_EQ(window->palette().color(QPalette::Window), QColor(0x11, 0x22, 0x33));

    gui::EffectWindow* before = open_gain(1);
    ASSERT_NE(before, nullptr);
    EXPECT_EQ(skin_of(before), "alpha");
    const QString before_css = before->styleSheet();

    choose("beta.zip");
    EXPECT_EQ(skin_of(window.get()), "beta");
    EXPECT_EQ(window->palette().color(QPalette::Window), QColor(0x44, 0x55, 0x66));
    EXPECT_TRUE(window->styleSheet().contains("button.png"));
    EXPECT_EQ(skin_of(before), "alpha");
    EXPECT_EQ(before->styleSheet(), before_css);
    EXPECT_EQ(before->palette().color(QPalette::Window), QColor(0x11, 0x22, 0x33));

    gui::EffectWindow* after = open_gain(2);
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(skin_of(after), "beta");
    EXPECT_EQ(dialogs.messages.size(), 2u);  // one note per change
}

TEST(SkinLook, PicturesThatAreNotImagesLeaveTheBuiltInLook) {
    const fs::path dir = fs::path(program_folder()) / "look_pictures";
    fs::create_directories(dir);
    QImage img(20, 12, QImage::Format_ARGB32);
    img.fill(Qt::red);
    ASSERT_TRUE(img.save(QString::fromStdString((dir / "real.png").string())));
    std::ofstream(dir / "fake.png") << "this is text, not a picture";
    std::ofstream(dir / "skin.ini") << "[VERSION]\nskinname=mixed\n[PICTURES]\nscale=2\nbutton=real.png\n"
                                       "button_margins=1,2,30,3\ncombo=fake.png\nwindow=gone.png\n";
    const gui::Look look = gui::look_from_skin(skins::read_skin_description((dir / "skin.ini").string()));
    EXPECT_EQ(look.name, "mixed");
    const gui::LookPicture& button = look.picture(skins::SkinPart::Button);
    ASSERT_TRUE(button.usable());
    EXPECT_EQ(button.size, QSize(20, 12));
    // 20 x 12 picture pixels at scale 2: at most 4 screen pixels left and right, 2 top and bottom.
    EXPECT_EQ(button.margins, (skins::Margins{1, 2, 4, 2}));
    EXPECT_FALSE(look.picture(skins::SkinPart::Combo).usable());
    EXPECT_FALSE(look.picture(skins::SkinPart::Window).usable());
    const QString css = gui::style_sheet_of(look);
    EXPECT_TRUE(css.contains("real.png\") 4 8 4 2 stretch"));
    EXPECT_FALSE(css.contains("fake.png"));
    // The colours of a skin without any stay the built-in ones.
    EXPECT_EQ(look.window, gui::default_look().window);
    fs::remove_all(dir);
}

TEST(SkinLook, OtherFormatsBehindPngNamesAndOversizedSkinsAreRefused) {
    const fs::path dir = fs::path(program_folder()) / "look_budget";
    fs::create_directories(dir);
    std::ofstream(dir / "vector.png") << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"20\" "
                                         "height=\"20\"><rect width=\"20\" height=\"20\"/></svg>";
    QImage big(2048, 2048, QImage::Format_RGB32);
    big.fill(Qt::blue);
    ASSERT_TRUE(big.save(QString::fromStdString((dir / "big.png").string())));
    std::ofstream(dir / "skin.ini") << "[VERSION]\nskinname=svg\n[PICTURES]\nbutton=vector.png\npanel=big.png\n";
    gui::Look look = gui::look_from_skin(skins::read_skin_description((dir / "skin.ini").string()));
    EXPECT_FALSE(look.picture(skins::SkinPart::Button).usable());
    EXPECT_TRUE(look.picture(skins::SkinPart::Panel).usable());
    EXPECT_TRUE(look.refusal.isEmpty());
    // Five pictures of 2048 x 2048 (80 MB decoded) are more than a skin may use.
    std::ofstream(dir / "skin.ini") << "[VERSION]\nskinname=huge\n[PICTURES]\nbutton=big.png\npanel=big.png\n"
                                       "window=big.png\ncombo=big.png\nbar_track=big.png\n";
    look = gui::look_from_skin(skins::read_skin_description((dir / "skin.ini").string()));
    EXPECT_EQ(look.name, "huge");
    for (const auto& pic : look.pictures) EXPECT_FALSE(pic.usable());
    EXPECT_TRUE(look.refusal.contains("huge")) << look.refusal.toStdString();
    EXPECT_TRUE(look.refusal.contains("80 MB")) << look.refusal.toStdString();
    fs::remove_all(dir);
}

TEST_F(SkinsWindowTest, BarsShowTheirPositionAndValueInTheTooltip) {
    gui::EffectWindow* ed = open_gain(1);
    ASSERT_NE(ed, nullptr);
    auto* mono = static_cast<gui::SkinScrollBar*>(ed->control_widget("ScrollBar_Gain_Mono"));
    mono->slider()->setValue(100);
    EXPECT_TRUE(mono->toolTip().endsWith("Position 100: 11.00 \u00d7 (+20.8 dB)")) << mono->toolTip().toStdString();
    mono->slider()->setValue(50);
    EXPECT_TRUE(mono->toolTip().endsWith("Position 50: 1.00 \u00d7 (+0.0 dB)")) << mono->toolTip().toStdString();
    auto* porog = static_cast<gui::SkinScrollBar*>(widget("TrackBar_Latency_Porog"));
    window->stream().TrackBar_Latency_Porog.set_position(42);
    EXPECT_TRUE(porog->toolTip().endsWith("Position 42: 42 ms")) << porog->toolTip().toStdString();
}

}  // namespace
}  // namespace tw::test
