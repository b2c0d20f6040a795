#include "gui/look.h"

#include <QFileInfo>
#include <QImageReader>
#include <QPalette>
#include <QPixmapCache>
#include <QStringList>
#include <QWidget>
#include <algorithm>

#include "app/skins/skin_chooser.h"

namespace tw::gui {

using skins::SkinColour;
using skins::SkinPart;

namespace {

constexpr int kMaxPictureSide = 2048;

Look& look_in_force() {
    static Look look = default_look();
    return look;
}

QColor to_qcolor(const std::optional<skins::Rgb>& c, const QColor& fallback) {
    return c ? QColor(c->r, c->g, c->b) : fallback;
}

// A quoted url() for a style sheet; paths a style sheet cannot quote are left out.
bool quotable(const QString& path) { return !path.contains('"') && !path.contains('\\') && !path.contains('\n'); }

// "border-image" with the picture's nine slices and the matching border widths.
QString nine_slice(const LookPicture& p) {
    const skins::Margins& m = p.margins;
    return QStringLiteral("border-image: url(\"%1\") %2 %3 %4 %5 stretch stretch; border-width: %6px %7px %8px %9px;")
        .arg(p.path)
        .arg(m.top * p.scale)
        .arg(m.right * p.scale)
        .arg(m.bottom * p.scale)
        .arg(m.left * p.scale)
        .arg(m.top)
        .arg(m.right)
        .arg(m.bottom)
        .arg(m.left);
}

}  // namespace

Look default_look() {
    Look l;
    l.name = "Default";
    l.window = QColor(0x2b, 0x30, 0x38);
    l.panel = QColor(0x3a, 0x41, 0x4c);
    l.text = QColor(0xe6, 0xe9, 0xee);
    l.disabled_text = QColor(0x80, 0x86, 0x90);
    l.highlight = QColor(0x3f, 0xa7, 0xd6);
    l.edit = QColor(0x1f, 0x23, 0x29);
    l.border = QColor(0x59, 0x62, 0x70);
    // Colour 1 as the classic inactive caption text, colour 2 aqua, colour 3 red.
    l.led_colour1 = QColor(0xc0, 0xc0, 0xc0);
    l.led_colour2 = QColor(0x00, 0xff, 0xff);
    l.led_colour3 = QColor(0xff, 0x00, 0x00);
    l.led_separator = QColor(0x00, 0x00, 0x00);
    l.led_unlit_darker = 320;
    return l;
}

LookPicture check_picture(const std::string& path, const skins::Margins& margins, int scale) {
    LookPicture p;
    const QString file = QString::fromStdString(path);
    if (file.isEmpty() || !quotable(file)) return p;
    QImageReader reader(file);
    // What the file holds decides, not its name: an SVG or anything else
    // behind a ".png" name is refused before a decoder renders it.
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.format();
    const QString suffix = QFileInfo(file).suffix().toLower();
    if (format.isEmpty() || (suffix == QLatin1String("png") && format != "png") ||
        !(format == "png" || format == "bmp" || format == "jpeg"))
        return p;
    const QSize size = reader.size();
    if (!reader.canRead() || !size.isValid() || size.width() < 1 || size.height() < 1 ||
        size.width() > kMaxPictureSide || size.height() > kMaxPictureSide)
        return p;
    // A header that claims an image is not enough: it must decode.
    if (reader.read().isNull()) return p;
    p.path = file;
    p.size = size;
    p.scale = std::clamp(scale, 1, skins::kMaxScale);
    // The unscaled edges must leave a middle to stretch.
    const int max_w = std::max(0, (size.width() / p.scale - 1) / 2);
    const int max_h = std::max(0, (size.height() / p.scale - 1) / 2);
    p.margins = {std::min(margins.left, max_w), std::min(margins.top, max_h), std::min(margins.right, max_w),
                 std::min(margins.bottom, max_h)};
    return p;
}

Look look_from_skin(const skins::SkinDescription& s) {
    Look l = default_look();
    if (!s.loaded) return l;
    l.name = QString::fromStdString(s.name);
    l.window = to_qcolor(s.colour(SkinColour::Window), l.window);
    l.panel = to_qcolor(s.colour(SkinColour::Panel), l.panel);
    l.text = to_qcolor(s.colour(SkinColour::Text), l.text);
    l.disabled_text = to_qcolor(s.colour(SkinColour::DisabledText), l.disabled_text);
    l.highlight = to_qcolor(s.colour(SkinColour::Highlight), l.highlight);
    l.edit = to_qcolor(s.colour(SkinColour::Edit), l.edit);
    l.border = to_qcolor(s.colour(SkinColour::Border), l.border);
    l.led_colour1 = to_qcolor(s.colour(SkinColour::Led1), l.led_colour1);
    l.led_colour2 = to_qcolor(s.colour(SkinColour::Led2), l.led_colour2);
    l.led_colour3 = to_qcolor(s.colour(SkinColour::Led3), l.led_colour3);
    l.led_separator = to_qcolor(s.colour(SkinColour::LedSeparator), l.led_separator);
    if (!s.font_family.empty() && quotable(QString::fromStdString(s.font_family)))
        l.font_family = QString::fromStdString(s.font_family);
    if (s.font_size > 0) l.font_size = s.font_size;
    std::int64_t decoded = 0;
    for (std::size_t i = 0; i < skins::kSkinParts; ++i) {
        l.pictures[i] = check_picture(s.pictures[i].path, s.pictures[i].margins, s.scale);
        if (l.pictures[i].usable())
            decoded += static_cast<std::int64_t>(l.pictures[i].size.width()) * l.pictures[i].size.height() * 4;
    }
    if (decoded > kMaxSkinPictureBytes) {
        // Too much to hold decoded: the skin's colours stay, its pictures go.
        for (auto& pic : l.pictures) pic = LookPicture{};
        l.refusal = QStringLiteral("The pictures of the skin \"%1\" need %2 MB of memory decoded, more than the "
                                   "%3 MB a skin may use; they are left out and the built-in pictures are shown. "
                                   "Make the pictures smaller (or fewer) and pack the skin again.")
                        .arg(l.name)
                        .arg(decoded >> 20)
                        .arg(kMaxSkinPictureBytes >> 20);
        return l;
    }
    // Every control with a picture asks for it by file name; with room for
    // all of them in the pixmap cache each file is decoded once, not once
    // per control.
    const int needed_kb = static_cast<int>((decoded >> 10) + (16 << 10));
    if (QPixmapCache::cacheLimit() < needed_kb) QPixmapCache::setCacheLimit(needed_kb);
    const LookPicture& led = l.picture(SkinPart::LedLit);
    if (led.usable()) {
        l.led_lit = QPixmap(led.path);
        l.led_lit.setDevicePixelRatio(led.scale);
    }
    return l;
}

const Look& current_look() { return look_in_force(); }

void set_current_look(const Look& look) { look_in_force() = look; }

QString style_sheet_of(const Look& l) {
    if (!l.style_sheet.isEmpty()) return l.style_sheet;
    const QString w = l.window.name(), p = l.panel.name(), t = l.text.name(), d = l.disabled_text.name(),
                  h = l.highlight.name(), e = l.edit.name(), b = l.border.name();
    QStringList css;
    const QString font = l.font_family.isEmpty() ? QString()
                                                 : QStringLiteral(" font-family: \"%1\";").arg(l.font_family);
    // Plain child panels stay see-through when the window has a picture.
    const bool window_picture = l.picture(SkinPart::Window).usable();
    css << QStringLiteral("QWidget { background-color: %1; color: %2; font-size: %3px;%4 }")
               .arg(window_picture ? QStringLiteral("transparent") : w, t)
               .arg(l.font_size)
               .arg(font);
    css << QStringLiteral("QWidget:disabled { color: %1; }").arg(d);
    // Message boxes and file dialogs opened over a window are windows of their own.
    if (window_picture) css << QStringLiteral("QDialog { background-color: %1; }").arg(w);
    css << QStringLiteral(
               "QPushButton, QToolButton { background-color: %2; border: 1px solid %7; border-radius: 3px;"
               "  padding: 1px 4px; }"
               "QPushButton:hover, QToolButton:hover { border-color: %5; }"
               "QPushButton:pressed, QToolButton:pressed { background-color: %5; color: %6; }"
               "QComboBox { background-color: %6; border: 1px solid %7; border-radius: 2px; padding: 0 4px; }"
               "QComboBox QAbstractItemView { background-color: %6; selection-background-color: %5; }"
               "QMenu { background-color: %2; border: 1px solid %7; }"
               "QMenu::item:selected { background-color: %5; color: %6; }"
               "QGroupBox { border: 1px solid %7; border-radius: 3px; margin-top: 8px; }"
               "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }"
               "QCheckBox, QRadioButton, QLabel { background: transparent; }"
               "QCheckBox, QRadioButton { spacing: 3px; }"
               "QCheckBox::indicator, QRadioButton::indicator { width: 10px; height: 10px; border: 1px solid %7;"
               "  background-color: %6; }"
               "QRadioButton::indicator { border-radius: 6px; }"
               "QCheckBox::indicator:checked, QRadioButton::indicator:checked { background-color: %5;"
               "  border-color: %3; }"
               "QCheckBox::indicator:disabled, QRadioButton::indicator:disabled { border-color: %2; }"
               "QScrollBar { background-color: %6; border: 1px solid %7; }"
               "QScrollBar::handle { background-color: %5; min-width: 12px; min-height: 12px; border-radius: 2px; }"
               "QSlider { background: transparent; }"
               "QSlider::groove:horizontal { height: 4px; background: %6; border: 1px solid %7; }"
               "QSlider::groove:vertical { width: 4px; background: %6; border: 1px solid %7; }"
               "QSlider::handle { background: %5; border: 1px solid %7; border-radius: 2px; margin: -5px; }"
               "QProgressBar { background-color: %6; border: 1px solid %7; text-align: center; }"
               "QProgressBar::chunk { background-color: %5; }"
               "QPlainTextEdit { background-color: %6; border: 1px solid %7; }"
               "QToolTip { background-color: %2; color: %3; border: 1px solid %7; padding: 2px; }");
    // %1..%7 stand for the colours (not every one appears, so no multi-arg()).
    const QString colours[] = {w, p, t, d, h, e, b};
    for (int i = 0; i < 7; ++i) css.last().replace(QStringLiteral("%") + QString::number(i + 1), colours[i]);

    // The skin's pictures, each replacing its part's plain drawing.
    auto pic = [&](SkinPart part) -> const LookPicture& { return l.picture(part); };
    if (window_picture)
        css << QStringLiteral("QWidget#tw_skinned_window { background-color: %1; %2 }").arg(w, nine_slice(pic(SkinPart::Window)));
    if (pic(SkinPart::Panel).usable())
        css << QStringLiteral("QGroupBox { border-radius: 0; %1 }").arg(nine_slice(pic(SkinPart::Panel)));
    const struct {
        SkinPart part;
        const char* selector;
    } buttons[] = {{SkinPart::Button, "QPushButton, QToolButton"},
                   {SkinPart::ButtonHover, "QPushButton:hover, QToolButton:hover"},
                   {SkinPart::ButtonPressed, "QPushButton:pressed, QToolButton:pressed"},
                   {SkinPart::ButtonDisabled, "QPushButton:disabled, QToolButton:disabled"}};
    for (const auto& bt : buttons)
        if (pic(bt.part).usable())
            css << QStringLiteral("%1 { border-radius: 0; padding: 0; %2 }")
                       .arg(QLatin1String(bt.selector), nine_slice(pic(bt.part)));
    if (pic(SkinPart::BarTrack).usable()) {
        const QString track = nine_slice(pic(SkinPart::BarTrack));
        css << QStringLiteral("QScrollBar { %1 }").arg(track)
            << QStringLiteral("QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; border: none; }")
            << QStringLiteral("QScrollBar::add-page, QScrollBar::sub-page { background: none; }")
            << QStringLiteral("QSlider::groove:horizontal { height: 6px; %1 }").arg(track)
            << QStringLiteral("QSlider::groove:vertical { width: 6px; %1 }").arg(track);
    }
    if (pic(SkinPart::BarThumb).usable()) {
        const QString thumb = nine_slice(pic(SkinPart::BarThumb));
        css << QStringLiteral("QScrollBar::handle { border-radius: 0; %1 }").arg(thumb)
            << QStringLiteral("QSlider::handle:horizontal { border-radius: 0; width: 10px; margin: -5px 0; %1 }").arg(thumb)
            << QStringLiteral("QSlider::handle:vertical { border-radius: 0; height: 10px; margin: 0 -5px; %1 }").arg(thumb);
    }
    if (pic(SkinPart::CheckOff).usable())
        css << QStringLiteral("QCheckBox::indicator, QRadioButton::indicator { width: 12px; height: 12px;"
                              " border-radius: 0; background: none; %1 }")
                   .arg(nine_slice(pic(SkinPart::CheckOff)));
    if (pic(SkinPart::CheckOn).usable())
        css << QStringLiteral("QCheckBox::indicator:checked, QRadioButton::indicator:checked { %1 }")
                   .arg(nine_slice(pic(SkinPart::CheckOn)));
    if (pic(SkinPart::Combo).usable())
        css << QStringLiteral("QComboBox { border-radius: 0; padding: 0 2px; %1 }").arg(nine_slice(pic(SkinPart::Combo)))
            << QStringLiteral("QComboBox::drop-down { border: none; width: %1px; }")
                   .arg(std::max(12, pic(SkinPart::Combo).margins.right));
    return css.join('\n');
}

void apply_look_to(QWidget& window, const Look& l) {
    QPalette pal = window.palette();
    pal.setColor(QPalette::Window, l.window);
    pal.setColor(QPalette::WindowText, l.text);
    pal.setColor(QPalette::Base, l.edit);
    pal.setColor(QPalette::Text, l.text);
    pal.setColor(QPalette::Button, l.panel);
    pal.setColor(QPalette::ButtonText, l.text);
    pal.setColor(QPalette::Highlight, l.highlight);
    pal.setColor(QPalette::ToolTipBase, l.panel);
    pal.setColor(QPalette::ToolTipText, l.text);
    pal.setColor(QPalette::Disabled, QPalette::WindowText, l.disabled_text);
    pal.setColor(QPalette::Disabled, QPalette::Text, l.disabled_text);
    pal.setColor(QPalette::Disabled, QPalette::ButtonText, l.disabled_text);
    window.setPalette(pal);
    window.setAutoFillBackground(true);
    // The window picture is drawn by the style sheet on the window itself,
    // which a widget class of our own paints only when asked to.
    window.setAttribute(Qt::WA_StyledBackground, true);
    window.setProperty("tw_skin_name", l.name);
    const QString name = window.objectName();
    QString css = style_sheet_of(l);
    css.replace(QStringLiteral("#tw_skinned_window"), QStringLiteral("#") + (name.isEmpty() ? QStringLiteral("tw_window") : name));
    if (name.isEmpty()) window.setObjectName("tw_window");
    window.setStyleSheet(css);
}

void apply_look(QWidget& window) { apply_look_to(window, current_look()); }

void load_skin_into(QWidget& window) {
    apply_look_to(window, look_from_skin(skins::read_skin_description(skins::current_skin_ini())));
}

}  // namespace tw::gui
