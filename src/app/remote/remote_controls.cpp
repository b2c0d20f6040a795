#include "app/remote/remote_controls.h"

#include <algorithm>
#include <climits>
#include <set>

#include "fx/effect_form.h"
#include "fx/kinds.h"
#include "ui/check_box.h"
#include "ui/scroll_bar.h"
#include "ui/text_controls.h"

namespace tw::remote {

namespace {

std::string trim(const std::string& s) {
    const auto a = s.find_first_not_of(" \t:");
    if (a == std::string::npos) return "";
    const auto b = s.find_last_not_of(" \t:");
    return s.substr(a, b - a + 1);
}

std::string from_name(std::string name) {
    for (const char* prefix : {"spSkin", "ScrollBar_", "TrackBar_", "ScrollBar", "TrackBar"})
        if (name.rfind(prefix, 0) == 0 && name.size() > std::char_traits<char>::length(prefix))
            name = name.substr(std::char_traits<char>::length(prefix));
    std::replace(name.begin(), name.end(), '_', ' ');
    return name;
}

}  // namespace

std::string control_caption(const ui::FormModel& form, const ui::Control& c) {
    if (c.type() == ui::ControlType::CheckBox) {
        const std::string own = trim(static_cast<const ui::CheckBox&>(c).caption());
        if (!own.empty()) return own;
        return from_name(c.name());
    }
    const ui::Rect& r = c.bounds();
    const ui::Label* best = nullptr;
    int best_distance = INT_MAX;
    for (const ui::Control* other : form.controls()) {
        if (other->type() != ui::ControlType::Label || !other->visible()) continue;
        const ui::Rect& l = other->bounds();
        const int l_mid = l.top + l.height / 2;
        int distance = INT_MAX;
        if (l_mid >= r.top - 2 && l_mid <= r.top + r.height + 2 && l.left + l.width <= r.left + 8)
            distance = r.left - (l.left + l.width);  // left of it, same line
        else if (l.top + l.height <= r.top + 4 && r.top - (l.top + l.height) <= 24 && l.left < r.left + r.width &&
                 l.left + l.width > r.left)
            distance = r.top - (l.top + l.height);  // just above, overlapping
        if (distance < 0) distance = 0;
        if (distance < best_distance && !trim(static_cast<const ui::Label*>(other)->caption()).empty()) {
            best_distance = distance;
            best = static_cast<const ui::Label*>(other);
        }
    }
    return best != nullptr ? trim(best->caption()) : from_name(c.name());
}

std::vector<RemoteControl> declared_controls(Instance instance, std::int32_t kind) {
    std::vector<RemoteControl> out;
    const KindDecl* decl = kind_decl(kind);
    if (instance == nullptr || decl == nullptr) return out;
    std::set<std::string> declared;
    for (const FieldDecl& f : decl->fields) {
        const bool bar = f.type == FieldType::Position || f.type == FieldType::BytePosition;
        if (!bar && f.type != FieldType::Flag) continue;
        for (int i = 0; i < f.count; ++i)
            declared.insert(f.count == 1 ? std::string(f.name) : f.name + std::to_string(f.index_base + i));
    }
    // In the window's order, which is the order a user reads them in.
    const ui::FormModel& form = effect_form(instance)->form();
    for (ui::Control* c : form.controls()) {
        if (!c->visible() || declared.count(c->name()) == 0) continue;
        const bool is_switch = c->type() == ui::ControlType::CheckBox;
        if (!is_switch && c->type() != ui::ControlType::ScrollBar) continue;
        out.push_back({c, control_caption(form, *c), is_switch});
    }
    return out;
}

}  // namespace tw::remote
