#include "gui/led_meter.h"

#include <QPainter>

#include "gui/look.h"

namespace tw::gui {

LedMeterWidget::LedMeterWidget(LedMeter& model, QWidget* parent) : QWidget(parent), model_(model) {
    setObjectName(QString::fromStdString(model.name()));
    const ui::Rect& r = model.bounds();
    setGeometry(r.left, r.top, r.width, r.height);
    setAttribute(Qt::WA_OpaquePaintEvent);
    model_.on_view_update = [this] { refresh(); };
}

LedMeterWidget::~LedMeterWidget() { model_.on_view_update = nullptr; }

void LedMeterWidget::refresh() { update(); }

QColor LedMeterWidget::segment_colour(int segment) const {
    const Look& look = current_look();
    QColor c;
    switch (model_.zone(segment)) {
        case LedZone::Colour1: c = look.led_colour1; break;
        case LedZone::Colour2: c = look.led_colour2; break;
        case LedZone::Colour3: c = look.led_colour3; break;
    }
    return segment < model_.lit_segments() ? c : c.darker(look.led_unlit_darker);
}

void LedMeterWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const Look& look = current_look();
    p.fillRect(rect(), look.led_separator);
    // Segment i spans [i*w/30, (i+1)*w/30) less a one-pixel separator on its right.
    const int w = width();
    const int h = height();
    for (int i = 0; i < kLedSegments; ++i) {
        const int x0 = i * w / kLedSegments;
        const int x1 = (i + 1) * w / kLedSegments - 1;
        if (x1 <= x0) continue;
        const QRect seg(x0 + 1, 1, x1 - x0 - 1 > 0 ? x1 - x0 - 1 : 1, h - 2 > 0 ? h - 2 : 1);
        p.fillRect(seg, segment_colour(i));
        // The skin's segment picture (a gloss or a lens) over every lit segment.
        if (i < model_.lit_segments() && !look.led_lit.isNull()) p.drawPixmap(seg, look.led_lit);
    }
}

}  // namespace tw::gui
