#include "plugin_list.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "fx/kinds.h"
#include "ui/check_box.h"
#include "ui/combo_box.h"
#include "ui/radio_group.h"
#include "ui/scroll_bar.h"
#include "ui/text_controls.h"

namespace tw::lv2 {

std::string kind_slug(const char* name) {
    std::string s;
    for (const char* p = name; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (std::isalnum(c) != 0)
            s += static_cast<char>(std::tolower(c));
        else if (!s.empty() && s.back() != '-')
            s += '-';
    }
    while (!s.empty() && s.back() == '-') s.pop_back();
    return s;
}

const std::vector<PluginInfo>& plugin_list() {
    static const std::vector<PluginInfo> list = [] {
        std::vector<PluginInfo> out;
        auto add = [&](const std::string& stem, const std::string& title, int kind) {
            for (int ch = 1; ch <= 2; ++ch) {
                const char* layout = ch == 1 ? "mono" : "stereo";
                out.push_back(PluginInfo{std::string(kUriBase) + stem + "/" + layout, stem + "-" + layout,
                                         title + " (" + layout + ")", kind, ch});
            }
        };
        for (const KindDecl& d : kind_decls())
            if (d.kind != kKindEmpty && d.built()) add(kind_slug(d.name), std::string("Tonewarp ") + d.name, d.kind);
        add("chain", "Tonewarp chain", kChainKind);
        return out;
    }();
    return list;
}

namespace {

std::string trimmed(std::string s) {
    while (!s.empty() && (std::isspace(static_cast<unsigned char>(s.back())) != 0 || s.back() == ':')) s.pop_back();
    std::size_t i = 0;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i])) != 0) ++i;
    return s.substr(i);
}

bool overlaps(int a0, int a1, int b0, int b1) { return a0 < b1 && b0 < a1; }

// A bar's caption: the label on its row just left of it, else its tooltip,
// else the label just above it, else the one just below it (a vertical
// bar's), else its designer name.
std::string bar_caption(const EffectForm& form, const ui::ScrollBar& bar) {
    const ui::Rect& b = bar.bounds();
    const ui::Label* best = nullptr;
    int best_gap = std::numeric_limits<int>::max();
    for (int pass = 0; pass < 3 && best == nullptr; ++pass) {
        // A bar without a label beside it: its tooltip names it better than
        // a group's title above.
        if (pass == 1 && !trimmed(bar.hint()).empty()) return trimmed(bar.hint());
        for (const ui::Control* c : const_cast<EffectForm&>(form).form().controls()) {
            if (c->type() != ui::ControlType::Label) continue;
            const auto* l = static_cast<const ui::Label*>(c);
            if (trimmed(l->caption()).empty()) continue;
            const ui::Rect& r = l->bounds();
            int gap = std::numeric_limits<int>::max();
            if (pass == 0 && overlaps(r.top, r.top + r.height, b.top, b.top + b.height) && r.left + r.width <= b.left + 4)
                gap = b.left - (r.left + r.width);
            else if (pass == 1 && overlaps(r.left, r.left + r.width, b.left, b.left + b.width) && r.top + r.height <= b.top + 4)
                gap = b.top - (r.top + r.height);
            else if (pass == 2 && overlaps(r.left, r.left + r.width, b.left, b.left + b.width) && r.top >= b.top + b.height - 4)
                gap = r.top - (b.top + b.height);
            if (gap >= -4 && gap <= 40 && gap < best_gap) {  // beside it, not across the window
                best = l;
                best_gap = gap;
            }
        }
    }
    if (best != nullptr) return trimmed(best->caption());
    if (!trimmed(bar.hint()).empty()) return trimmed(bar.hint());
    return bar.name();
}

// The LV2 unit of a bar whose tooltip value is its own position in a unit
// ("350 ms" at position 350), or "".
std::string bar_unit(const ui::ScrollBar& bar) {
    if (!bar.unit_text) return "";
    static const struct { const char* text; const char* unit; } kUnits[] = {
        {"ms", "ms"}, {"s", "s"}, {"Hz", "hz"}, {"dB", "db"}, {"%", "pc"}};
    std::string found;
    for (int p = bar.min(); p <= bar.max(); ++p) {
        const std::string t = bar.unit_text(p);
        char* end = nullptr;
        const double v = std::strtod(t.c_str(), &end);
        if (end == t.c_str()) return "";
        std::string word = trimmed(end);
        double scale = 1;
        if (word.size() > 1 && word[0] == 'k') { scale = 1000; word.erase(0, 1); }
        const char* unit = nullptr;
        for (const auto& u : kUnits)
            if (word == u.text) unit = u.unit;
        if (unit == nullptr || std::fabs(v * scale - p) > 0.5 * scale) return "";
        if (!found.empty() && found != unit) return "";
        found = unit;
    }
    return found;
}

}  // namespace

std::vector<ControlPort> control_ports(EffectForm& form) {
    std::vector<ControlPort> out;
    for (ui::Control* c : form.form().controls()) {
        ControlPort p;
        p.symbol = c->name();
        p.target = c;
        p.comment = c->hint();
        switch (c->type()) {
            case ui::ControlType::ScrollBar: {
                const auto* b = static_cast<const ui::ScrollBar*>(c);
                p.control = PortControl::Bar;
                p.name = bar_caption(form, *b);
                p.min = b->min();
                p.max = b->max();
                p.start = b->position();
                p.unit = bar_unit(*b);
                if (p.comment.empty() && b->unit_text) p.comment = b->value_text();
                break;
            }
            case ui::ControlType::CheckBox: {
                const auto* x = static_cast<const ui::CheckBox*>(c);
                p.control = PortControl::Check;
                p.name = trimmed(x->caption());
                p.max = 1;
                p.start = x->checked() ? 1 : 0;
                break;
            }
            case ui::ControlType::RadioGroup: {
                const auto* g = static_cast<const ui::RadioGroup*>(c);
                p.control = PortControl::Choice;
                p.name = trimmed(g->caption());
                p.items = g->items();
                p.min = g->item_index() < 0 ? -1 : 0;
                p.max = static_cast<int>(p.items.size()) - 1;
                p.start = g->item_index();
                break;
            }
            case ui::ControlType::ComboBox: {
                const auto* l = static_cast<const ui::ComboBox*>(c);
                if (l->count() == 0) continue;
                p.control = PortControl::List;
                p.name = c->hint().empty() ? c->name() : trimmed(c->hint());
                p.items = l->items();
                p.min = l->item_index() < 0 ? -1 : 0;
                p.max = l->count() - 1;
                p.start = l->item_index();
                break;
            }
            default: continue;
        }
        if (p.name.empty()) p.name = p.symbol;
        out.push_back(std::move(p));
    }
    // Two ports of one name (a left and a right bar under one title) also
    // carry their designer names.
    std::vector<std::string> names;
    for (const ControlPort& p : out) names.push_back(p.name);
    for (ControlPort& p : out)
        if (p.name != p.symbol && std::count(names.begin(), names.end(), p.name) > 1) p.name += " (" + p.symbol + ")";
    return out;
}

void apply_port(const ControlPort& port, float value) {
    if (!std::isfinite(value)) return;
    const int v = static_cast<int>(std::lround(std::clamp<double>(value, port.min, port.max)));
    switch (port.control) {
        case PortControl::Bar: static_cast<ui::ScrollBar*>(port.target)->set_position(v); break;
        case PortControl::Check: {
            auto* box = static_cast<ui::CheckBox*>(port.target);
            if (box->checked() != (v != 0)) box->click();
            break;
        }
        case PortControl::Choice: static_cast<ui::RadioGroup*>(port.target)->set_item_index(v); break;
        case PortControl::List: static_cast<ui::ComboBox*>(port.target)->set_item_index(v); break;
    }
}

float port_value(const ControlPort& port) {
    switch (port.control) {
        case PortControl::Bar: return static_cast<float>(static_cast<ui::ScrollBar*>(port.target)->position());
        case PortControl::Check: return static_cast<ui::CheckBox*>(port.target)->checked() ? 1.0f : 0.0f;
        case PortControl::Choice: return static_cast<float>(static_cast<ui::RadioGroup*>(port.target)->item_index());
        case PortControl::List: return static_cast<float>(static_cast<ui::ComboBox*>(port.target)->item_index());
    }
    return 0.0f;
}

}  // namespace tw::lv2
