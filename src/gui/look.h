// The look of every window, made from a skin (temp/skin.ini and its
// pictures) or the built-in default: colours, font, the style sheet of the
// standard controls with the skin's nine-slice pictures, and the LED meter
// colours and segment picture.
//
// Pictures are drawn at `scale` times their shown size, so at 200 % screen
// scaling they are shown pixel for pixel; their margins stay unscaled when
// a picture is stretched to a control's size. A picture that is missing or
// not an image leaves its part in the built-in look.
//
// Threads: UI thread only.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>
#include <array>
#include <cstdint>

#include "app/skins/skin_description.h"

class QWidget;

namespace tw::gui {

// One usable picture of a skin.
struct LookPicture {
    QString path;            // "" when the part uses the built-in look
    QSize size;              // in picture pixels
    skins::Margins margins;  // in screen pixels
    int scale = 1;           // picture pixels per screen pixel
    bool usable() const { return !path.isEmpty(); }
};

struct Look {
    QString name;                 // the skin's name ("Default" for the built-in look)
    QColor window;                // window background
    QColor panel;                 // group boxes, control faces
    QColor text;
    QColor disabled_text;
    QColor highlight;             // selection, slider handles
    QColor edit;                  // list and edit backgrounds
    QColor border;
    // LED bar meters: the three zones, the separator between segments, and how
    // far unlit segments are darkened (percent passed to QColor::darker).
    QColor led_colour1;
    QColor led_colour2;
    QColor led_colour3;
    QColor led_separator;
    int led_unlit_darker = 320;
    QString font_family;          // "" for the desktop's font
    int font_size = 11;           // pixels
    std::array<LookPicture, skins::kSkinParts> pictures;
    QPixmap led_lit;              // drawn over every lit LED segment (null: none)
    // Style sheet for the standard controls; built from the above when empty.
    QString style_sheet;
    // Why the skin's pictures were left out ("" when they were not).
    QString refusal;

    const LookPicture& picture(skins::SkinPart p) const { return pictures[static_cast<std::size_t>(p)]; }
};

// At most this much memory for a skin's pictures, decoded (four pictures of
// 2048 x 2048); a skin that needs more keeps its colours but not its pictures.
inline constexpr std::int64_t kMaxSkinPictureBytes = 64ll << 20;

// The built-in look. UI thread.
Look default_look();

// The look a skin description gives: the built-in look with the skin's
// colours, font and usable pictures. A description that is not loaded gives
// the built-in look. UI thread.
Look look_from_skin(const skins::SkinDescription& skin);

// The picture at `path` when it is an image of sensible size (at most
// 2048 x 2048), with margins clamped so that the unscaled edges fit it. UI thread.
LookPicture check_picture(const std::string& path, const skins::Margins& margins, int scale);

// The look of the main window (the built-in one until set_current_look is
// called); windows created later start from it. UI thread.
const Look& current_look();
void set_current_look(const Look& look);

// The style sheet of a look: its own, or one built from its colours and pictures. UI thread.
QString style_sheet_of(const Look& look);

// Applies `look` to a top-level window (palette, style sheet); its
// children follow. UI thread.
void apply_look_to(QWidget& window, const Look& look);
// Applies the current look to a top-level window. UI thread.
void apply_look(QWidget& window);

// The first-show skin load of a window: reads temp/skin.ini of the program
// folder and applies the look it gives to this window only; the window keeps
// it when the skin changes later. UI thread.
void load_skin_into(QWidget& window);

}  // namespace tw::gui
