#include "app/skins/skin_layout.h"

namespace tw::skins {

namespace {
void shift(ui::Control& c, int dx, int dw) {
    ui::Rect r = c.bounds();
    r.left += dx;
    r.width += dw;
    c.set_bounds(r);
}
}  // namespace

void fit_skin_layout(const std::string& skin_name, ChainEditor& chain, ui::Button& save_button) {
    const int width = chain.row(1).check.bounds().width;
    int dx = 0;
    if (skin_name == kWideSwitchSkin && width != kWideSwitchWidth) dx = -kSwitchShift;
    else if (skin_name != kWideSwitchSkin && width == kWideSwitchWidth) dx = kSwitchShift;
    if (dx == 0) return;
    for (int n = 1; n <= kChainRows; ++n) shift(chain.row(n).check, dx, -dx);
    shift(save_button, dx, 0);
}

}  // namespace tw::skins
