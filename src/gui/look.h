// The look of every window: colours, the style sheet of the standard controls
// and the LED meter colours, kept in this one place so that a skin loader can
// replace it. Until skins are loaded from packages, the built-in default look
// is used.
//
// Threads: UI thread only.
#pragma once

#include <QColor>
#include <QString>

class QWidget;

namespace tw::gui {

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
    // Style sheet for the standard controls; built from the colours when empty.
    QString style_sheet;
};

// The built-in look. UI thread.
Look default_look();

// The look in force (the built-in one until set_current_look is called). UI thread.
const Look& current_look();
void set_current_look(const Look& look);

// The style sheet of a look: its own, or one built from its colours. UI thread.
QString style_sheet_of(const Look& look);

// Applies the current look to a top-level window (palette and style sheet);
// its children follow. UI thread.
void apply_look(QWidget& window);

// The first-show skin load of a window: applies the current look. Kept apart
// from apply_look so the skin loader can read the skin file here. UI thread.
void load_skin_into(QWidget& window);

}  // namespace tw::gui
