// Every built kind against its own declaration: the declared fields name the
// window's controls with their ranges, get_parameters writes exactly the
// declared fields with the instance's values, and put_parameters reads every
// field (positions, floats, ints, flags) back from its declared place.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "fx/kinds.h"
#include "ui/control_family.h"
#include "ui/check_box.h"
#include "ui/scroll_bar.h"

namespace tw {
namespace {

constexpr int kStoredBytes = 73 * 4;   // what a preset keeps of a record

struct Owned {
    explicit Owned(const KindDecl& d) : kind(d), inst(d.entries.create()) {}
    ~Owned() { delete inst; }
    ParamRecord get(std::uint8_t fill = 0) const {
        ParamRecord r;
        r.bytes.fill(fill);
        kind.entries.params(&r, inst, 0);
        return r;
    }
    void put(const ParamRecord& r) { kind.entries.params(const_cast<ParamRecord*>(&r), inst, 1); }
    const KindDecl& kind;
    Instance inst;
};

std::string control_name(const FieldDecl& f, int i) {
    return f.count == 1 ? std::string(f.name) : f.name + std::to_string(f.index_base + i);
}

// Moves every bar of the window a third of the way towards its far end and
// flips every check box: settings a fresh instance does not have.
void detune(EffectForm& form) {
    for (ui::Control* c : form.form().controls()) {
        if (auto* bar = dynamic_cast<ui::ScrollBar*>(c)) {
            const int span = bar->max() - bar->min();
            bar->set_position(bar->position() - bar->min() > span / 2 ? bar->min() + span / 3 : bar->max() - span / 3);
        } else if (auto* box = dynamic_cast<ui::CheckBox*>(c)) {
            box->click();
        }
    }
}

void expect_declared_bytes_equal(const KindDecl& d, const ParamRecord& a, const ParamRecord& b, const char* what) {
    for (const FieldDecl& f : d.fields)
        for (int i = 0; i < f.count; ++i)
            EXPECT_EQ(rec_get_field(a, f, i), rec_get_field(b, f, i)) << d.name << " " << control_name(f, i) << " " << what;
}

class DeclaredFields : public ::testing::TestWithParam<int> {
protected:
    const KindDecl& kind() const { return *kind_decl(GetParam()); }
};

TEST_P(DeclaredFields, NameTheControlsWithTheirRangesAndDoNotOverlap) {
    Owned o(kind());
    ASSERT_NE(o.inst, nullptr);
    bool used[kStoredBytes] = {};
    for (const FieldDecl& f : kind().fields) {
        ASSERT_GE(f.offset, 0) << f.name;
        ASSERT_LE(f.end(), kStoredBytes) << f.name << " lies past what a preset keeps";
        for (int b = f.offset; b < f.end(); ++b) {
            EXPECT_FALSE(used[b]) << kind().name << " " << f.name << " overlaps at byte " << b;
            used[b] = true;
        }
        EXPECT_LE(f.min, f.max) << f.name;
        if (f.mirrors != nullptr) {
            EXPECT_NE(effect_form(o.inst)->form().find(f.mirrors), nullptr) << f.mirrors;
        }
        if (!f.is_position() && f.type != FieldType::Flag) continue;
        for (int i = 0; i < f.count; ++i) {
            ui::Control* c = effect_form(o.inst)->form().find(control_name(f, i));
            ASSERT_NE(c, nullptr) << kind().name << ": no control " << control_name(f, i);
            if (f.is_position()) {
                auto* bar = dynamic_cast<ui::ScrollBar*>(c);
                ASSERT_NE(bar, nullptr) << control_name(f, i);
                EXPECT_EQ(bar->min(), f.min) << control_name(f, i);
                EXPECT_EQ(bar->max(), f.max) << control_name(f, i);
            } else {
                EXPECT_NE(dynamic_cast<ui::CheckBox*>(c), nullptr) << control_name(f, i);
            }
        }
    }
}

TEST_P(DeclaredFields, GetWritesExactlyTheDeclaredFieldsWithTheInstancesValues) {
    Owned o(kind());
    detune(*effect_form(o.inst));
    const ParamRecord r = o.get(0xA5);
    bool declared[kParamRecordBytes] = {};
    for (std::size_t fi = 0; fi < kind().fields.size(); ++fi) {
        const FieldDecl& f = kind().fields[fi];
        for (int b = f.offset; b < f.end(); ++b) declared[b] = true;
        for (int i = 0; i < f.count; ++i) {
            const double live = kind().field_value(o.inst, static_cast<int>(fi), i);
            EXPECT_EQ(rec_get_field(r, f, i), live) << kind().name << " " << control_name(f, i);
            // The instance's value is one the declaration allows.
            EXPECT_GE(rec_get_field(r, f, i), f.min) << control_name(f, i);
            EXPECT_LE(rec_get_field(r, f, i), f.max) << control_name(f, i);
        }
    }
    for (int b = 0; b < kParamRecordBytes; ++b) {
        if (!declared[b]) {
            EXPECT_EQ(r.bytes[b], 0xA5) << kind().name << " wrote undeclared byte " << b;
        }
    }
}

TEST_P(DeclaredFields, PutReadsBackMovedControls) {
    Owned src(kind());
    detune(*effect_form(src.inst));
    const ParamRecord moved = src.get();
    Owned dst(kind());
    dst.put(moved);
    expect_declared_bytes_equal(kind(), moved, dst.get(), "after a load of moved controls");
}

// Each stored value alone set to another value its controls allow: a fresh
// instance keeps it (no position changes, so no handler overrides it), which
// only happens when put_parameters reads it from its declared place.
TEST_P(DeclaredFields, PutReadsEveryStoredValueFromItsDeclaredPlace) {
    for (const FieldDecl& f : kind().fields) {
        if (f.type != FieldType::Float && f.type != FieldType::Int) continue;
        Owned fresh(kind());
        ParamRecord r = fresh.get();
        for (int i = 0; i < f.count; ++i) {
            const double old = rec_get_field(r, f, i);
            double v = f.min + 0.37 * (f.max - f.min);
            if (f.type == FieldType::Int) v = std::round(v);
            if (f.type == FieldType::Float) v = static_cast<float>(v);
            if (v == old) v = f.type == FieldType::Int ? f.min : static_cast<float>(f.min + 0.61 * (f.max - f.min));
            ASSERT_NE(v, old) << f.name;
            rec_set_field(r, f, i, v);
        }
        Owned dst(kind());
        dst.put(r);
        const ParamRecord back = dst.get();
        for (int i = 0; i < f.count; ++i)
            EXPECT_EQ(rec_get_field(back, f, i), rec_get_field(r, f, i)) << kind().name << " " << control_name(f, i);
    }
}

std::vector<int> built_kinds() {
    std::vector<int> out;
    for (const KindDecl& d : kind_decls())
        if (d.built()) out.push_back(d.kind);
    return out;
}

INSTANTIATE_TEST_SUITE_P(EveryBuiltKind, DeclaredFields, ::testing::ValuesIn(built_kinds()),
                         [](const ::testing::TestParamInfo<int>& p) { return "kind" + std::to_string(p.param); });

// A row of sixteen bars declared in one line, stored as 8-bit positions, and
// the row of values their one handler sets.
struct RowForm : EffectForm {
    RowForm()
        : EffectForm(ui::FormModel("TRowForm", "Row", 400, 200)),
          ScrollBar("ScrollBar", 0, [](int i) { return ui::Rect{8 + 20 * i, 8, 16, 120}; }, ui::BarRange{0, 200, 100, 1, 1},
                    ui::Orientation::Vertical) {
        ScrollBar.add_to(form());
        ScrollBar.bind([this](int i) { ScrollBarChange(i); });
    }
    void ScrollBarChange(int i) {
        last_index = i;
        band_gain[i].store(static_cast<float>(ScrollBar[i].position()) / 100.0f);
    }
    ui::ControlFamily<ui::ScrollBar, 16> ScrollBar;
    std::array<std::atomic<float>, 16> band_gain{};
    int last_index = -1;
};
constexpr FieldBinding<RowForm> kRowFields[] = {
    TW_FIELD(RowForm, ScrollBar).at(0).range(0, 200).bytes(),
    TW_FIELD(RowForm, band_gain).at(16).range(0, 2),
};

TEST(ControlRows, OneLineDeclaresTheRowItsHandlerAndItsStoredFields) {
    RowForm f;
    ASSERT_EQ(f.form().controls().size(), 16u);
    EXPECT_EQ(f.form().controls()[15]->name(), "ScrollBar15");
    f.ScrollBar[3].set_position(150);
    EXPECT_EQ(f.last_index, 3);
    EXPECT_FLOAT_EQ(f.band_gain[3].load(), 1.5f);

    constexpr auto decls = declarations_of(kRowFields);
    EXPECT_EQ(decls[0].type, FieldType::BytePosition);
    EXPECT_EQ(decls[0].count, 16);
    EXPECT_EQ(decls[0].end(), 16);
    EXPECT_EQ(decls[1].type, FieldType::Float);
    EXPECT_EQ(decls[1].end(), 16 + 64);
    ParamRecord r;
    r.bytes.fill(0xEE);
    write_fields(f, kRowFields, r);
    EXPECT_EQ(r.bytes[3], 150);
    EXPECT_EQ(r.bytes[4], 100);
    EXPECT_FLOAT_EQ(rec_get_f32(r, 16 + 4 * 3), 1.5f);
    EXPECT_EQ(r.bytes[16 + 64], 0xEE);
    EXPECT_EQ(rec_get_position(r, decls[0], 3), 150);
}

TEST(KindTable, RowsAreInKindOrderWithUniqueNames) {
    ASSERT_EQ(kind_decls().size(), static_cast<std::size_t>(kKindCount));
    for (int k = 0; k < kKindCount; ++k) {
        EXPECT_EQ(kind_decls()[k].kind, k);
        EXPECT_EQ(kind_by_name(kind_name(k)), k);
    }
    EXPECT_EQ(kind_by_name("gain"), -1);
    EXPECT_STREQ(kind_name(kKindCount), "");
    EffectRegistry* reg = init_kind_registry();
    EXPECT_EQ(reg->last_kind, kKindCount - 1);
    EXPECT_STREQ(reg->names[kKindGain], "Gain");
}

}  // namespace
}  // namespace tw
