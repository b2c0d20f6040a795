// The JSON and text forms of a preset: what a reader uses survives
// record -> JSON -> record, and JSON the controls could not produce is refused.
#include "presets/preset_json.h"

#include <gtest/gtest.h>

#include "app/chain_presets.h"
#include "app/chain_editor.h"
#include "fx/curves.h"
#include "fx/gain_form.h"
#include "fx/param_record.h"
#include "fx/kinds.h"

namespace tw {
namespace {

using nlohmann::json;

// A kind that is listed but not built yet (its row keeps raw words), or -1
// once every kind is built.
int unbuilt_kind() {
    for (const KindDecl& d : kind_decls())
        if (!d.built() && !d.stores_nothing) return d.kind;
    return -1;
}

class PresetJsonTest : public ::testing::Test {
protected:
    void SetUp() override { reset_engine(); }
    void TearDown() override { reset_engine(); }

    static std::string build_error(const json& j) {
        PresetRecord r;
        r.set_kind(0, 99);
        std::string err;
        const PresetRecord before = r;
        if (preset_from_json(j, r, &err)) return "";
        EXPECT_EQ(r.bytes, before.bytes);  // nothing written on failure
        return err;
    }
    static json one_row(json row) { return json{{"version", 303}, {"rows", json::array({row})}}; }
};

// Every field a load reads: kinds, on/off, and the described fields (or all 73
// words for undescribed kinds).
void expect_same_for_reader(const PresetRecord& a, const PresetRecord& b) {
    for (int s = 0; s < kPresetUsedSlots; ++s) {
        const std::int32_t k = effective_kind(a, s);
        ASSERT_EQ(k, effective_kind(b, s)) << "row " << s + 1;
        EXPECT_EQ(a.enabled(s) == 1, b.enabled(s) == 1) << "row " << s + 1;
        const KindDecl& kd = *kind_decl(k);
        ParamRecord pa, pb;
        a.get_params(s, pa);
        b.get_params(s, pb);
        if (!kd.fields.empty()) {
            for (const FieldDecl& f : kd.fields) {
                for (int i = 0; i < f.count; ++i) {
                    if (f.type == FieldType::Flag) {
                        EXPECT_EQ(rec_get_flag(pa, f, i), rec_get_flag(pb, f, i)) << f.name;
                    } else {
                        EXPECT_EQ(rec_get_field(pa, f, i), rec_get_field(pb, f, i)) << f.name;
                    }
                }
            }
        } else if (!kd.stores_nothing) {
            for (int w = 0; w < kPresetStoredWords; ++w) EXPECT_EQ(a.param_word(s, w), b.param_word(s, w));
        }
    }
}

TEST_F(PresetJsonTest, RecordFromAChainSurvivesJsonRoundTrip) {
    ChainEditor e;
    e.fill_kind_lists_and_build_chain();
    e.row(1).combo.set_item_index(kKindGain);
    e.row(1).check.click();
    auto* g = static_cast<Tgain_form*>(e.instance(1));
    g->ScrollBar_Gain_Mono.set_position(63);
    g->ScrollBar_Gain_Left.set_position(12);
    g->ScrollBar_SimpleChorus.set_position(99);
    g->RadioBox_SimpleChorus.set_checked(true);
    g->CheckRadioBox_Air.set_checked(false);
    const int raw = unbuilt_kind();
    if (raw < 0) GTEST_SKIP() << "every kind is built: no row keeps raw words";
    e.row(5).combo.set_item_index(raw);
    e.row(5).check.click();
    e.row(7).combo.set_item_index(kKindReadWav);
    build_preset_record(e);
    PresetRecord src = preset_record();
    // Give the undescribed slot and a noise gate slot some words.
    for (int w = 0; w < kPresetStoredWords; ++w) src.set_param_word(4, w, w * 1000 - 7);
    src.set_kind(9, kKindNoiseGate);
    for (int w = 0; w < 5; ++w) src.set_param_word(9, w, 10 + w);
    src.set_enabled(9, 1);

    const json j = preset_to_json(src);
    EXPECT_EQ(j["rows"].size(), 16u);
    EXPECT_EQ(j["rows"][0]["kind"], "Gain");
    EXPECT_EQ(j["rows"][0]["on"], true);
    EXPECT_EQ(j["rows"][0]["params"]["ScrollBar_Gain_Mono"], 63);
    EXPECT_EQ(j["rows"][0]["params"]["CheckRadioBox_Air"], false);
    EXPECT_EQ(j["rows"][0]["params"]["marker"], 117117);
    EXPECT_FLOAT_EQ(j["rows"][0]["params"]["mono_gain"].get<float>(), *gain_curve(63.0f));
    EXPECT_EQ(j["rows"][4]["words"].size(), 73u);
    EXPECT_FALSE(j["rows"][6].contains("params"));
    EXPECT_FALSE(j["rows"][6].contains("words"));

    PresetRecord back;
    std::string err;
    ASSERT_TRUE(preset_from_json(json::parse(j.dump()), back, &err)) << err;
    EXPECT_EQ(back.version(), 303);
    expect_same_for_reader(src, back);
    // Floats survive bit for bit.
    EXPECT_EQ(back.param_word(0, 0), src.param_word(0, 0));
    EXPECT_EQ(preset_to_text(back), preset_to_text(src));
    EXPECT_EQ(preset_to_json(back), j);
}

TEST_F(PresetJsonTest, OldNumberingIsShownConvertedAndBuiltAsCurrent) {
    PresetRecord old;
    old.set_version(302);
    old.set_kind(0, 1);   // Gain in the old numbering
    old.set_kind(1, 13);  // noise gate
    old.set_kind(2, 77);  // unknown
    for (int w = 0; w < 5; ++w) old.set_param_word(1, w, 40 + w);
    Tgain_form fresh;
    ParamRecord gp;
    fresh.get_parameters(gp);
    old.set_params(0, gp);
    const json j = preset_to_json(old);
    EXPECT_EQ(j["rows"][0]["kind"], "Gain");
    EXPECT_EQ(j["rows"][1]["kind"], "noise gate");
    EXPECT_EQ(j["rows"][2]["kind"], "--- select ---");
    const std::string text = preset_to_text(old);
    EXPECT_NE(text.find("version 302"), std::string::npos);
    EXPECT_NE(text.find("stored kind 77 is unknown"), std::string::npos);
    PresetRecord back;
    std::string err;
    ASSERT_TRUE(preset_from_json(j, back, &err)) << err;
    EXPECT_EQ(back.kind(0), kKindGain);
    EXPECT_EQ(back.kind(1), kKindNoiseGate);
    EXPECT_EQ(back.kind(2), kKindEmpty);
    expect_same_for_reader(old, back);
}

TEST_F(PresetJsonTest, PositionsAreShownAsALoadClampsThem) {
    PresetRecord r;
    r.set_version(303);
    r.set_kind(0, kKindNoiseGate);  // all positions 0: the level bars start at 4
    const json j = preset_to_json(r);
    EXPECT_EQ(j["rows"][0]["params"]["ScrollBar_Porog_Max"], 4);
    EXPECT_EQ(j["rows"][0]["params"]["ScrollBar_Gain_In"], 0);
    EXPECT_NE(preset_to_text(r).find("stored 0, clamped on load"), std::string::npos);
    PresetRecord back;
    std::string err;
    ASSERT_TRUE(preset_from_json(j, back, &err)) << err;
    EXPECT_EQ(back.param_word(0, 1), 4);
    EXPECT_EQ(preset_to_json(back), j);
}

TEST_F(PresetJsonTest, MissingGainFieldsTakeAFreshInstancesValues) {
    PresetRecord r;
    std::string err;
    ASSERT_TRUE(preset_from_json(one_row({{"row", 2}, {"kind", "Gain"}, {"params", {{"ScrollBar_Gain_Right", 80}}}}),
                                 r, &err))
        << err;
    ParamRecord p;
    r.get_params(1, p);
    EXPECT_EQ(rec_get_i32(p, 32), 80);
    EXPECT_EQ(rec_get_i32(p, 24), 50);
    EXPECT_EQ(rec_get_i32(p, 12), 117117);
    EXPECT_EQ(rec_get_u8(p, 36), 1);  // Air checked at creation
    EXPECT_FLOAT_EQ(rec_get_f32(p, 0), 1.0f);
    EXPECT_EQ(r.enabled(1), 0);
    EXPECT_EQ(r.kind(0), 0);

    // A kind whose effect is not built has no defaults: every field is needed.
    const bool gate_built = kind_decl(kKindNoiseGate)->built();
    const bool ok = preset_from_json(one_row({{"row", 1}, {"kind", "noise gate"}, {"params", json::object()}}), r, &err);
    EXPECT_EQ(ok, gate_built) << err;
}

TEST_F(PresetJsonTest, RefusesWhatTheControlsCouldNotProduce) {
    EXPECT_NE(build_error(json::array()), "");
    EXPECT_NE(build_error(json{{"version", 302}, {"rows", json::array()}}), "");
    EXPECT_NE(build_error(json{{"rows", 5}}), "");
    EXPECT_NE(build_error(json{{"rows", json::array()}, {"extra", 1}}), "");
    EXPECT_NE(build_error(one_row({{"row", 0}})), "");
    EXPECT_NE(build_error(one_row({{"row", 17}})), "");
    EXPECT_NE(build_error(one_row({{"kind", "Gain"}})), "");
    EXPECT_NE(build_error(json{{"rows", {{{"row", 3}}, {{"row", 3}}}}}), "");
    EXPECT_NE(build_error(one_row({{"row", 1}, {"kind", "Fuzz"}})).find("unknown effect kind"), std::string::npos);
    EXPECT_NE(build_error(one_row({{"row", 1}, {"kind", 14}})), "");
    EXPECT_NE(build_error(one_row({{"row", 1}, {"kind", -1}})), "");
    EXPECT_NE(build_error(one_row({{"row", 1}, {"on", 2}})), "");
    EXPECT_NE(build_error(one_row({{"row", 1}, {"knd", "Gain"}})), "");
    const auto gain = [](json params) { return one_row({{"row", 1}, {"kind", "Gain"}, {"params", params}}); };
    EXPECT_NE(build_error(gain({{"ScrollBar_Gain_Mono", 101}})).find("ScrollBar_Gain_Mono"), std::string::npos);
    EXPECT_NE(build_error(gain({{"ScrollBar_Gain_Mono", -1}})), "");
    EXPECT_NE(build_error(gain({{"ScrollBar_Gain_Mono", 50.5}})), "");
    EXPECT_NE(build_error(gain({{"mono_gain", 12.0}})), "");
    EXPECT_NE(build_error(gain({{"mono_gain", 0.05}})), "");
    EXPECT_NE(build_error(gain({{"mono_gain", "nan"}})), "");
    EXPECT_NE(build_error(gain({{"CheckRadioBox_Air", 2}})), "");
    EXPECT_NE(build_error(gain({{"Volume", 3}})).find("unknown field"), std::string::npos);
    EXPECT_NE(build_error(one_row({{"row", 1}, {"kind", "Gain"}, {"words", {1, 2}}})), "");
    EXPECT_NE(build_error(one_row({{"row", 1}, {"kind", "Record wav"}, {"params", {{"x", 1}}}})), "");
    if (const int raw = unbuilt_kind(); raw >= 0) {
        const std::string name = kind_name(raw);
        EXPECT_NE(build_error(one_row({{"row", 1}, {"kind", name}, {"words", json::array({1.5})}})), "");
        EXPECT_NE(build_error(one_row({{"row", 1}, {"kind", name}, {"words", std::vector<int>(74, 0)}})), "");
        EXPECT_NE(build_error(one_row({{"row", 1}, {"kind", name}, {"params", json::object()}})), "");
    }
    // A built kind refuses raw words and values its bars cannot produce.
    EXPECT_NE(build_error(one_row({{"row", 1}, {"kind", "Delay"}, {"words", {1, 2}}})), "");
    EXPECT_NE(build_error(one_row({{"row", 1}, {"kind", "Reverberator"}, {"params", {{"decay_l", 1.0}}}})), "");
    EXPECT_NE(build_error(one_row({{"row", 1}, {"kind", "Reverberator"}, {"params", {{"pre_len_m", 5000}}}})), "");
    EXPECT_NE(build_error(one_row({{"row", 1}, {"kind", "Flanger / Chorus"}, {"params", {{"fl_feedback_l", 0.97}}}})), "");
    // Limits themselves are fine.
    EXPECT_EQ(build_error(gain({{"ScrollBar_Gain_Mono", 100}, {"mono_gain", 11.0}, {"left_gain", 1.0 / 11.0}})), "");
    EXPECT_EQ(build_error(one_row({{"row", 16}, {"kind", 13}, {"on", 1}})), "");
}

}  // namespace
}  // namespace tw
