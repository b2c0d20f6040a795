// The LED bar meter: 30 segments filling to the right, lit segments in their
// zone's colour, unlit ones in a dimmed form of it, black separators. Shows a
// tw::LedMeter model. UI thread only.
#pragma once

#include <QWidget>

#include "app/status_display.h"

namespace tw::gui {

class LedMeterWidget : public QWidget {
public:
    LedMeterWidget(LedMeter& model, QWidget* parent);
    ~LedMeterWidget() override;
    LedMeter& model() { return model_; }

    // The colour segment i is drawn in now (lit or dimmed). UI thread.
    QColor segment_colour(int segment) const;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    void refresh();
    LedMeter& model_;
};

}  // namespace tw::gui
