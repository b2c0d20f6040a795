// The JSON and text forms of a preset: what a reader uses survives
// record -> JSON -> record, and JSON the controls could not produce is refused.
#include "presets/preset_json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

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

TEST_F(PresetJsonTest, TheCabinetsIrPathIsATextField) {
    PresetRecord r;
    std::string err;
    ASSERT_TRUE(preset_from_json(one_row({{"row", 4}, {"kind", "Cabinet IR"}, {"on", true},
                                          {"params", {{"ScrollBar_Mix", 70}, {"ir_file", "2x12 Closed.wav"}}}}),
                                 r, &err))
        << err;
    ParamRecord p;
    r.get_params(3, p);
    EXPECT_EQ(rec_get_i32(p, 0), 141414);
    EXPECT_EQ(rec_get_i32(p, 4), 50);   // a fresh instance's level
    EXPECT_EQ(rec_get_i32(p, 8), 70);
    EXPECT_EQ(rec_get_u8(p, 12), 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&p.bytes[32])), "2x12 Closed.wav");
    const json shown = preset_to_json(r);
    EXPECT_EQ(shown["rows"][3]["params"]["ir_file"], "2x12 Closed.wav");
    EXPECT_NE(preset_to_text(r).find("\"2x12 Closed.wav\""), std::string::npos);
    // Bytes that are not UTF-8 are shown as '?', so the JSON stays valid.
    p.bytes[32] = 0xFF;
    r.set_params(3, p);
    EXPECT_EQ(preset_to_json(r)["rows"][3]["params"]["ir_file"], "?x12 Closed.wav");
    EXPECT_NO_THROW((void)preset_to_json(r).dump());
    // Refused: not a text, longer than 255 bytes, a NUL inside.
    const auto cab = [](json v) { return one_row({{"row", 1}, {"kind", "Cabinet IR"}, {"params", {{"ir_file", v}}}}); };
    EXPECT_NE(build_error(cab(3)), "");
    EXPECT_NE(build_error(cab(std::string(256, 'a'))).find("longer than 255"), std::string::npos);
    EXPECT_EQ(build_error(cab(std::string(255, 'a'))), "");
    EXPECT_NE(build_error(cab(std::string("a\0b", 3))), "");
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
    EXPECT_NE(build_error(one_row({{"row", 1}, {"kind", 31}})), "");
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

TEST_F(PresetJsonTest, ParserRefusesDeepNestingRepeatedKeysAndHugeNumbers) {
    json j;
    std::string err;
    const auto refused = [&](const std::string& text) {
        err.clear();
        const bool ok = parse_preset_json(text, j, &err);
        EXPECT_FALSE(ok) << text.substr(0, 80);
        EXPECT_FALSE(err.empty());
        return err;
    };
    // Deep enough to overflow the stack if any of it were built or copied.
    const std::string deep = R"({"rows": [{"row": 1, "params": )" + std::string(100000, '[') + std::string(100000, ']') + "}]}";
    EXPECT_NE(refused(deep).find("nested more than 32"), std::string::npos) << err;
    std::string objects;
    for (int i = 0; i < 50000; ++i) objects += R"({"a": )";
    EXPECT_NE(refused(objects + "1" + std::string(50000, '}')).find("nested"), std::string::npos) << err;
    EXPECT_NE(refused(R"({"rows": [], "rows": []})").find("\"rows\" is given twice"), std::string::npos) << err;
    EXPECT_NE(refused(R"({"rows": [{"row": 1, "params": {"a": 1, "b": 2, "a": 3}}]})").find("\"a\""), std::string::npos);
    EXPECT_NE(refused("[1e400]").find("1e400"), std::string::npos) << err;
    refused(R"({"rows": [)");
    refused("");
    // Equal keys in different objects, and nesting up to the limit, are fine.
    ASSERT_TRUE(parse_preset_json(R"({"rows": [{"row": 1}, {"row": 2}]})", j, &err)) << err;
    EXPECT_EQ(j["rows"][1]["row"], 2);
    ASSERT_TRUE(parse_preset_json(std::string(kMaxJsonDepth, '[') + std::string(kMaxJsonDepth, ']'), j, &err)) << err;
    EXPECT_FALSE(parse_preset_json(std::string(kMaxJsonDepth + 1, '[') + std::string(kMaxJsonDepth + 1, ']'), j, &err));
}

TEST_F(PresetJsonTest, WholeNumbersBeyond64BitsAreRefusedNotWrapped) {
    const std::string huge = "18446744073709551615";  // 2^64 - 1 would wrap to -1
    const auto parsed = [](const std::string& text) {
        json j;
        std::string err;
        EXPECT_TRUE(parse_preset_json(text, j, &err)) << err;
        return j;
    };
    EXPECT_NE(build_error(parsed(R"({"rows": [{"row": 1, "kind": "Gain", "params": {"marker": )" + huge + "}}]}"))
                  .find(huge),
              std::string::npos);
    EXPECT_NE(build_error(parsed(R"({"rows": [{"row": 1, "kind": "Gain", "params": {"ScrollBar_Gain_Mono": )" + huge + "}}]}")), "");
    EXPECT_NE(build_error(parsed(R"({"rows": [{"row": )" + huge + "}]}")), "");
    EXPECT_NE(build_error(parsed(R"({"rows": [{"row": 1, "kind": )" + huge + "}]}")), "");
    EXPECT_NE(build_error(parsed(R"({"rows": [{"row": 1, "on": )" + huge + "}]}")), "");
    // Raw words: beyond 64 bits refused, the largest 32-bit word taken as its bits.
    if (const int raw = unbuilt_kind(); raw >= 0) {
        const std::string row = R"({"rows": [{"row": 1, "kind": )" + std::to_string(raw) + R"(, "words": [)";
        EXPECT_NE(build_error(parsed(row + huge + "]}]}")), "");
        PresetRecord r;
        std::string err;
        ASSERT_TRUE(preset_from_json(parsed(row + "4294967295, -2147483648]}]}"), r, &err)) << err;
        EXPECT_EQ(r.param_word(0, 0), -1);
        EXPECT_EQ(r.param_word(0, 1), std::numeric_limits<std::int32_t>::min());
    }
}

// Plain IEEE comparisons, as on the UI thread where presets are built and
// loaded: other tests of this program run the chain on this thread, which
// leaves denormals-are-zero set.
struct WithoutFlushToZero {
#if defined(__SSE__) || defined(__x86_64__)
    unsigned saved = _mm_getcsr();
    WithoutFlushToZero() { _mm_setcsr(saved & ~0x8040u); }
    ~WithoutFlushToZero() { _mm_setcsr(saved); }
#endif
};

// For every described float: the ends of its range, as stored, are taken and a
// load keeps them; one step of the stored float beyond either end is refused.
TEST_F(PresetJsonTest, FloatsAreCheckedAsStoredAndWhatBuildAcceptsALoadKeeps) {
    WithoutFlushToZero ieee;
    EXPECT_NE(build_error(one_row({{"row", 1}, {"kind", "Gain"}, {"params", {{"mono_gain", 11.000005}}}})), "");
    int checked = 0;
    for (const KindDecl& kd : kind_decls()) {
        const std::int32_t k = kd.kind;
        const KindEntries& e = kd.entries;
        if (kd.fields.empty() || !kd.built()) continue;
        for (const FieldDecl& f : kd.fields) {
            if (f.type != FieldType::Float || f.count != 1) continue;
            const float ends[2] = {static_cast<float>(f.min), static_cast<float>(f.max)};
            const float outward[2] = {-std::numeric_limits<float>::infinity(), std::numeric_limits<float>::infinity()};
            for (int end = 0; end < 2; ++end) {
                const auto row = [&](float v) {
                    return one_row({{"row", 1}, {"kind", k}, {"params", {{f.name, static_cast<double>(v)}}}});
                };
                const std::string where = std::string(kind_name(k)) + " " + f.name + (end ? " max" : " min");
                EXPECT_NE(build_error(row(std::nextafter(ends[end], outward[end]))), "") << where;
                PresetRecord r;
                std::string err;
                ASSERT_TRUE(preset_from_json(row(ends[end]), r, &err)) << where << ": " << err;
                ParamRecord stored, loaded;
                r.get_params(0, stored);
                Instance inst = e.create();
                e.params(&stored, inst, 1);
                e.params(&loaded, inst, 0);
                delete inst;
                EXPECT_EQ(rec_get_f32(loaded, f), ends[end]) << where << ": a load did not keep it";
                ++checked;
            }
        }
    }
    EXPECT_GE(checked, 2 * 12);  // Gain 3, Distortion (Soft/Hard) 4, Distortion-Compresor 5
}

TEST_F(PresetJsonTest, StoredValuesALoadIgnoresAreMarkedAndShownAsNull) {
    PresetRecord r;
    r.set_version(303);
    r.set_kind(0, kKindDistortion1);
    ParamRecord p;
    rec_set_f32(p, 0, 1.5f);                                        // level above 1
    rec_set_f32(p, 16, std::numeric_limits<float>::quiet_NaN());   // gain_in
    rec_set_i32(p, 8, 5);                                           // knee_in below 50
    rec_set_f32(p, 4, 0.1f);                                        // smooth_k inside
    rec_set_f32(p, 20, 2.0f);                                       // gain_out inside
    rec_set_i32(p, 12, 10000);
    r.set_params(0, p);
    const std::string text = preset_to_text(r);
    EXPECT_NE(text.find("1.5            stored value (outside 0..1: ignored on load)"), std::string::npos) << text;
    EXPECT_NE(text.find("nan            stored value (outside 0.0909090936..11: ignored on load)"), std::string::npos);
    EXPECT_NE(text.find("5              stored value (outside 50..1000: not kept on load)"), std::string::npos);
    EXPECT_EQ(text.find("0.100000001    stored value ("), std::string::npos);
    const json j = preset_to_json(r);
    EXPECT_TRUE(j["rows"][0]["params"]["level"].is_null());
    EXPECT_TRUE(j["rows"][0]["params"]["gain_in"].is_null());
    EXPECT_TRUE(j["rows"][0]["params"]["knee_in"].is_null());
    EXPECT_FLOAT_EQ(j["rows"][0]["params"]["gain_out"].get<float>(), 2.0f);
    // So what show prints, build takes: the ignored values become a fresh effect's.
    PresetRecord back;
    std::string err;
    ASSERT_TRUE(preset_from_json(json::parse(j.dump()), back, &err)) << err;
    ParamRecord q;
    back.get_params(0, q);
    EXPECT_FLOAT_EQ(rec_get_f32(q, 0), 0.49f);
    EXPECT_FLOAT_EQ(rec_get_f32(q, 16), 1.0f);
    EXPECT_EQ(rec_get_i32(q, 8), 1000);
    EXPECT_FLOAT_EQ(rec_get_f32(q, 20), 2.0f);
}

// Whatever a preset file holds, what show --json prints, build takes, and the
// values it printed come back unchanged.
TEST_F(PresetJsonTest, ShownJsonOfAnyRecordBuildsBack) {
    std::mt19937 rng(303);
    const auto word = [&rng]() -> std::int32_t {
        switch (rng() % 6) {
            case 0: return static_cast<std::int32_t>(rng());                           // anything
            case 1: return static_cast<std::int32_t>(rng() % 200) - 50;               // small, maybe a position
            case 2: return static_cast<std::int32_t>(rng() % 40000);                  // knees
            case 3: {                                                                  // a float in some range
                const float f = std::uniform_real_distribution<float>(-2.0f, 12.0f)(rng);
                std::int32_t w;
                std::memcpy(&w, &f, 4);
                return w;
            }
            case 4: return 0x7FC00000;                                                 // NaN
            default: return 117117;                                                    // the Gain marker
        }
    };
    for (int n = 0; n < 200; ++n) {
        PresetRecord r;
        r.set_version(static_cast<std::int16_t>(rng() % 3 == 0 ? 302 : 303));
        for (int s = 0; s < kPresetUsedSlots; ++s) {
            r.set_kind(s, static_cast<std::int32_t>(rng() % 16));
            r.set_enabled(s, static_cast<std::int32_t>(rng() % 3));
            for (int w = 0; w < kPresetStoredWords; ++w) r.set_param_word(s, w, word());
        }
        const json shown = preset_to_json(r);
        PresetRecord back;
        std::string err;
        ASSERT_TRUE(preset_from_json(json::parse(shown.dump()), back, &err)) << "record " << n << ": " << err;
        const json again = preset_to_json(back);
        for (int s = 0; s < kPresetUsedSlots; ++s) {
            const json& a = shown["rows"][s];
            ASSERT_EQ(a["kind"], again["rows"][s]["kind"]);
            if (a.contains("words")) {
                ASSERT_EQ(a["words"], again["rows"][s]["words"]);
            }
            if (!a.contains("params")) continue;
            for (auto it = a["params"].begin(); it != a["params"].end(); ++it) {
                if (!it.value().is_null()) {
                    ASSERT_EQ(it.value(), again["rows"][s]["params"][it.key()]) << it.key();
                }
            }
        }
    }
}

}  // namespace
}  // namespace tw
