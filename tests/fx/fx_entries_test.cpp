// The three kinds through their registry rows: creation, ProcessFn, ParamsFn.
#include <gtest/gtest.h>

#include <vector>

#include "engine/effects.h"
#include "fx/CompTortions.h"
#include "fx/distortion1.h"
#include "fx/noise_gates.h"
#include "fx/param_record.h"
#include "fx/kinds.h"

namespace tw {
namespace {

TEST(FxEntries, RowsCreateSeparateInstancesAndRunThem) {
    EffectRegistry* reg = init_kind_registry();
    for (int kind : {kKindNoiseGate, kKindCompTortion, kKindDistortion1}) {
        Instance a = reg->create[kind]();
        Instance b = reg->create[kind]();
        ASSERT_NE(a, nullptr) << kind;
        ASSERT_NE(a, b);
        std::vector<float> buf(2 * 512, 3000.0f);
        const std::vector<float> in = buf;
        EXPECT_EQ(reg->process[kind](512, 48000, 2, buf.data(), a), 0);
        EXPECT_NE(buf, in) << kind;
        // Null instance, null buffer, no frames: nothing happens.
        EXPECT_EQ(reg->process[kind](512, 48000, 2, buf.data(), nullptr), 0);
        EXPECT_EQ(reg->process[kind](512, 48000, 2, nullptr, a), 0);
        std::vector<float> same = in;
        EXPECT_EQ(reg->process[kind](0, 48000, 2, same.data(), b), 0);
        EXPECT_EQ(same, in);
        delete a;
        delete b;
    }
    Instance gate = reg->create[kKindNoiseGate]();
    EXPECT_NE(dynamic_cast<Tnoise_gate_form*>(gate), nullptr);
    delete gate;
}

TEST(FxEntries, ParamsFnCarriesSettingsBetweenInstances) {
    EffectRegistry* reg = init_kind_registry();
    struct Case { int kind; int offset; std::int32_t position; };
    // A moved bar in each kind: noise gate opening level, Distortion1 Tone 2,
    // CompTortion Softness.
    for (Case c : {Case{kKindNoiseGate, 4, 90}, Case{kKindDistortion1, 28, 300}, Case{kKindCompTortion, 48, 10}}) {
        Instance src = reg->create[c.kind]();
        Instance dst = reg->create[c.kind]();
        ParamRecord r;
        reg->params[c.kind](&r, src, 0);
        rec_set_i32(r, c.offset, c.position);
        reg->params[c.kind](&r, src, 1);
        ParamRecord back;
        reg->params[c.kind](&back, src, 0);
        EXPECT_EQ(rec_get_i32(back, c.offset), c.position) << c.kind;
        reg->params[c.kind](&back, dst, 7);  // any non-zero direction loads
        ParamRecord again;
        reg->params[c.kind](&again, dst, 0);
        EXPECT_EQ(again.bytes, back.bytes) << c.kind;
        reg->params[c.kind](nullptr, dst, 1);  // ignored
        delete src;
        delete dst;
    }
}

}  // namespace
}  // namespace tw
