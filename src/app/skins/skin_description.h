// skin.ini, the description of a skin: its name, colours, font and the
// pictures that draw the windows and controls, each with the margins that
// stay unscaled when the picture is stretched to a control's size (nine-slice).
//
//   [VERSION]  skinname, version
//   [COLOURS]  window, panel, text, disabled_text, highlight, edit, border,
//              led1, led2, led3, led_separator   (as #rrggbb)
//   [FONT]     family, size (pixels, 7..24)
//   [PICTURES] scale (how many picture pixels per screen pixel, 1..4), and
//              for each part a file name and "<part>_margins=left,top,right,bottom"
//              in screen pixels (0..64)
//
// The file is untrusted: a missing or unreadable file, or one without a
// skinname, gives a description that is not `loaded` (the built-in look);
// a bad colour or number keeps the built-in value; a picture that names a
// folder, leaves the skin's folder or does not exist is left out.
//
// Threads: UI thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace tw::skins {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

enum class SkinColour { Window, Panel, Text, DisabledText, Highlight, Edit, Border, Led1, Led2, Led3, LedSeparator, Count };
enum class SkinPart {
    Window,          // window background
    Panel,           // group boxes
    Button,          // push buttons: normal, under the pointer, pressed, disabled
    ButtonHover,
    ButtonPressed,
    ButtonDisabled,
    BarTrack,        // scroll bars and track bars: the groove
    BarThumb,        //   and the handle
    CheckOff,        // check box and radio indicators
    CheckOn,
    Combo,           // combo boxes
    LedLit,          // a lit LED meter segment (laid over the zone colour)
    Count
};

inline constexpr std::size_t kSkinColours = static_cast<std::size_t>(SkinColour::Count);
inline constexpr std::size_t kSkinParts = static_cast<std::size_t>(SkinPart::Count);

// The key of a colour or a picture in skin.ini.
const char* colour_key(SkinColour c);
const char* part_key(SkinPart p);

struct Margins {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const Margins&) const = default;
};

struct SkinPicture {
    std::string path;   // absolute path of the file, "" when the skin has none usable
    Margins margins;
};

inline constexpr int kMaxMargin = 64;
inline constexpr int kMaxScale = 4;

struct SkinDescription {
    bool loaded = false;     // skin.ini was read and names its skin
    std::string name;        // [VERSION] skinname
    std::array<std::optional<Rgb>, kSkinColours> colours;
    std::string font_family; // "" keeps the built-in font
    int font_size = 0;       // pixels; 0 keeps the built-in size
    int scale = 1;           // picture pixels per screen pixel
    std::array<SkinPicture, kSkinParts> pictures;

    const std::optional<Rgb>& colour(SkinColour c) const { return colours[static_cast<std::size_t>(c)]; }
    const SkinPicture& picture(SkinPart p) const { return pictures[static_cast<std::size_t>(p)]; }
};

// "#rrggbb" (or "rrggbb"), nothing else. Any thread.
std::optional<Rgb> parse_colour(const std::string& text);

// Reads the skin.ini at `path`; pictures are looked up in its folder. UI thread.
SkinDescription read_skin_description(const std::string& path);

}  // namespace tw::skins
