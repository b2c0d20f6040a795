// The phone remote's model: the message parser's refusals, the pairing
// code's guard, the per-connection rate cap, and the hub on a main form
// (pairing before actions, F keys, rows, a row's declared controls with
// their captions, bars moved as a drag moves them, refusals that keep the
// connection, the connection cap, state that follows the window).
#include "app/remote/remote_hub.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "app/remote/remote_controls.h"
#include "app/remote/remote_message.h"
#include "app/remote/remote_pairing.h"
#include "app_test_support.h"
#include "fx/gain_form.h"

namespace tw::remote {
namespace {

using nlohmann::json;

TEST(RemoteMessage, ReadsEachActionAndRefusesWhatIsMalformed) {
    Parsed p = parse_message(R"({"type":"set","row":3,"control":"ScrollBar_Gain_Mono","value":40})");
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.message.action, Action::Set);
    EXPECT_EQ(p.message.number, 3);
    EXPECT_EQ(p.message.control, "ScrollBar_Gain_Mono");
    EXPECT_FALSE(p.message.is_switch);
    EXPECT_EQ(p.message.value, 40);
    p = parse_message(R"({"type":"set","row":16,"control":"CheckRadioBox_Air","value":false})");
    ASSERT_TRUE(p.ok);
    EXPECT_TRUE(p.message.is_switch);
    EXPECT_FALSE(p.message.on);
    p = parse_message(R"({"type":"row","row":2,"on":true})");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.message.action, Action::Row);
    EXPECT_TRUE(p.message.on);
    p = parse_message(R"({"type":"key","key":12.0})");  // a whole float counts
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.message.number, 12);
    EXPECT_EQ(parse_message(R"({"type":"pair","code":"004217"})").message.code, "004217");

    const struct {
        const char* text;
        const char* says;
    } bad[] = {
        {"{\"type\":\"key\",", "not JSON"},
        {"[1,2]", "JSON object"},
        {"{\"key\":3}", "\"type\""},
        {"{\"type\":\"format_disk\"}", "Unknown message type \"format_disk\""},
        {"{\"type\":\"key\",\"key\":13}", "\"key\" must be 1..12"},
        {"{\"type\":\"key\",\"key\":0}", "\"key\" must be 1..12"},
        {"{\"type\":\"key\",\"key\":2.5}", "whole number"},
        {"{\"type\":\"key\",\"key\":\"3\"}", "must be a number"},
        {"{\"type\":\"key\",\"key\":18446744073709551615}", "must be 1..12"},
        {"{\"type\":\"row\",\"row\":17,\"on\":true}", "\"row\" must be 1..16"},
        {"{\"type\":\"row\",\"row\":1,\"on\":1}", "true or false"},
        {"{\"type\":\"set\",\"row\":1,\"control\":\"../face.ini\",\"value\":1}", "control's name"},
        {"{\"type\":\"set\",\"row\":1,\"control\":\"ScrollBar_Gain_Mono\",\"value\":1e300}", "must be -1000000..1000000"},
        {"{\"type\":\"set\",\"row\":1,\"control\":\"ScrollBar_Gain_Mono\"}", "needs \"value\""},
        {"{\"type\":\"pair\",\"code\":123456}", "code as a string"},
        {"{\"type\":\"pair\",\"code\":\"12ab\"}", "digits only"},
        {"{\"type\":\"open\",\"row\":[[[[[1]]]]]}", "nested too deeply"},
    };
    for (const auto& b : bad) {
        const Parsed r = parse_message(b.text);
        EXPECT_FALSE(r.ok) << b.text;
        EXPECT_NE(r.error.find(b.says), std::string::npos) << b.text << " -> " << r.error;
    }
    // A megabyte is refused unread.
    const std::string big = R"({"type":"pair","code":")" + std::string(1 << 20, '1') + "\"}";
    const Parsed r = parse_message(big);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("too long (1048601 bytes"), std::string::npos) << r.error;
}

TEST(RemotePairing, WrongCodesSlowDownAndTheRightOneClearsTheCount) {
    Pairing p("135790");
    EXPECT_EQ(p.code(), "135790");
    for (int i = 0; i < Pairing::kFreeFailures; ++i) EXPECT_EQ(p.check("111111", 1000 + i), Pairing::Result::Refused);
    // Now each try waits: 1 s after the third failure, even for the right code.
    EXPECT_EQ(p.wait_ms(), 1000);
    EXPECT_EQ(p.check("135790", 1500), Pairing::Result::Wait);
    EXPECT_EQ(p.wait_left(1500), 502);
    EXPECT_EQ(p.check("222222", 2002), Pairing::Result::Refused);
    EXPECT_EQ(p.wait_ms(), 2000);
    EXPECT_EQ(p.check("222222", 3000), Pairing::Result::Wait);
    for (int i = 0; i < 10; ++i) p.check("333333", 100000 * (i + 1));
    EXPECT_EQ(p.wait_ms(), Pairing::kMaxWaitMs);
    EXPECT_EQ(p.check("13579", 2000000), Pairing::Result::Refused);  // a prefix is wrong
    EXPECT_EQ(p.check("1357900", 3000000), Pairing::Result::Refused);
    EXPECT_EQ(p.check("135790", 4000000), Pairing::Result::Accepted);
    EXPECT_EQ(p.failures(), 0);
    EXPECT_EQ(p.wait_ms(), 0);
    // Random codes: six digits, not all the same each time.
    Pairing a, b, c;
    EXPECT_EQ(a.code().size(), 6u);
    EXPECT_EQ(a.code().find_first_not_of("0123456789"), std::string::npos);
    EXPECT_FALSE(a.code() == b.code() && b.code() == c.code());
}

TEST(RemoteRateCap, ABurstThenTheSteadyRate) {
    RateCap cap;
    int taken = 0;
    for (int i = 0; i < 100; ++i) taken += cap.take(5000) ? 1 : 0;
    EXPECT_EQ(taken, static_cast<int>(RateCap::kBurst));
    // One second later: 30 more, not 40.
    taken = 0;
    for (int i = 0; i < 100; ++i) taken += cap.take(6000) ? 1 : 0;
    EXPECT_EQ(taken, static_cast<int>(RateCap::kPerSecond));
    EXPECT_FALSE(cap.take(6010));
    EXPECT_TRUE(cap.take(6040));  // 40 ms: 1.2 tokens
}

class RemoteHubTest : public test::FormRig {
protected:
    void start() {
        make();
        form->FormShow();
        hub = std::make_unique<Hub>(*form, [] { return Readings{3200, 32000, 0.25f, 2}; }, "424242");
        std::string hello;
        id = hub->connect(hello);
        ASSERT_GT(id, 0);
        EXPECT_EQ(json::parse(hello)["type"], "hello");
    }
    // The replies to one message, parsed; the clock moves 100 ms per message.
    std::vector<json> send(const std::string& text) {
        std::vector<json> out;
        for (const std::string& r : hub->receive(id, text, now += 100)) out.push_back(json::parse(r));
        return out;
    }
    std::string error_of(const std::string& text) {
        for (const json& j : send(text))
            if (j["type"] == "error") return j["message"];
        return "";
    }
    json state() { return json::parse(hub->state_json(open_row)); }
    void pair() { ASSERT_EQ(send(R"({"type":"pair","code":"424242"})").at(0)["type"], "paired"); }

    // The hub goes before the main form it drives.
    void TearDown() override {
        hub.reset();
        FormRig::TearDown();
    }
    std::unique_ptr<Hub> hub;
    int id = 0;
    int open_row = 0;
    std::int64_t now = 0;
};

TEST_F(RemoteHubTest, NothingActsBeforePairingAndKeysLoadTheirPresets) {
    home.add_preset("F1 Clean.pre", kKindGain);
    home.add_preset("F3 Crunch.pre", kKindDelay);
    home.add_preset("Zed.pre", kKindWah);
    start();
    EXPECT_EQ(error_of(R"({"type":"key","key":3})"), "Pair first: type the code the program shows.");
    EXPECT_NE(row1_kind(), kKindDelay);
    EXPECT_EQ(error_of(R"({"type":"pair","code":"000000"})"), "Wrong pairing code. Type the code the program shows.");
    EXPECT_FALSE(hub->paired(id));
    pair();
    EXPECT_TRUE(hub->paired(id));
    EXPECT_TRUE(form->tuner().is_open());  // the phone's tuner runs
    const auto replies = send(R"({"type":"key","key":3})");
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(row1_kind(), kKindDelay);
    const json& s = replies[0];
    EXPECT_EQ(s["preset"], "F3 Crunch");
    EXPECT_EQ(s["presets"], json({"F1 Clean", "F3 Crunch", "Zed"}));
    EXPECT_EQ(s["keys"][0], "F1 Clean");
    EXPECT_TRUE(s["keys"][1].is_null());
    EXPECT_EQ(s["rows"][0]["kind"], "Delay");
    EXPECT_EQ(s["rows"][0]["on"], true);
    EXPECT_EQ(s["rows"][1]["empty"], true);
    EXPECT_EQ(error_of(R"({"type":"key","key":5})"), "No preset for F5: its name must start with \"F5\".");
    send(R"({"type":"preset","index":2})");
    EXPECT_EQ(row1_kind(), kKindWah);
    EXPECT_EQ(error_of(R"({"type":"preset","index":3})"),
              "There is no preset number 3 in the list (it has 3). Reload the page.");
    EXPECT_TRUE(dialogs.messages.empty());  // silent, as the keys are
    hub->disconnect(id);
    EXPECT_FALSE(form->tuner().is_open());
}

TEST_F(RemoteHubTest, RowsAndControlsActAsTheMouseDoes) {
    home.add_preset("F1 Gain.pre", kKindGain);
    start();
    pair();
    send(R"({"type":"key","key":1})");
    ASSERT_EQ(row1_kind(), kKindGain);
    send(R"({"type":"row","row":1,"on":false})");
    EXPECT_FALSE(form->chain().row(1).check.checked());
    EXPECT_EQ(form->chain().staging().slot[0].enabled, 0);
    EXPECT_EQ(form->chain().row(1).check.caption(), "Off");

    open_row = 1;
    const json opened = send(R"({"type":"open","row":1})").at(0);
    const json& controls = opened["open"]["controls"];
    ASSERT_GE(controls.size(), 4u);
    EXPECT_EQ(controls[0]["name"], "ScrollBar_Gain_Mono");
    EXPECT_EQ(controls[0]["caption"], "Mono Volume");
    EXPECT_EQ(controls[0]["type"], "bar");
    bool air = false;
    for (const json& c : controls)
        if (c["name"] == "CheckRadioBox_Air") {
            air = true;
            EXPECT_EQ(c["type"], "switch");
            EXPECT_EQ(c["caption"], "A i r");
            EXPECT_EQ(c["on"], true);
        }
    EXPECT_TRUE(air);

    // The bar and its handler: the same values as a drag on a window of its own.
    auto* gain = static_cast<Tgain_form*>(form->chain().instance(1));
    Tgain_form dragged;
    const int target = (gain->ScrollBar_Gain_Mono.min() + gain->ScrollBar_Gain_Mono.max()) / 3;
    dragged.ScrollBar_Gain_Mono.set_position(target);
    send(R"({"type":"set","row":1,"control":"ScrollBar_Gain_Mono","value":)" + std::to_string(target) + "}");
    EXPECT_EQ(gain->ScrollBar_Gain_Mono.position(), target);
    EXPECT_EQ(gain->params.mono_gain, dragged.params.mono_gain);
    EXPECT_EQ(state()["open"]["controls"][0]["unit"], dragged.ScrollBar_Gain_Mono.unit_text(target));
    send(R"({"type":"set","row":1,"control":"CheckRadioBox_Air","value":false})");
    EXPECT_FALSE(gain->CheckRadioBox_Air.checked());

    // Refusals change nothing and keep the connection.
    const int max = gain->ScrollBar_Gain_Mono.max();
    EXPECT_EQ(error_of(R"({"type":"set","row":1,"control":"ScrollBar_Gain_Mono","value":)" + std::to_string(max + 1) + "}"),
              "Mono Volume takes " + std::to_string(gain->ScrollBar_Gain_Mono.min()) + ".." + std::to_string(max) +
                  "; " + std::to_string(max + 1) + " is outside.");
    EXPECT_EQ(error_of(R"({"type":"set","row":1,"control":"ScrollBar_Nothing","value":1})"),
              "Row 1 (Gain) has no control ScrollBar_Nothing. Reload the page.");
    EXPECT_EQ(error_of(R"({"type":"set","row":2,"control":"ScrollBar_Gain_Mono","value":1})"),
              "Row 2 (empty) has no control ScrollBar_Gain_Mono. Reload the page.");
    EXPECT_EQ(error_of(R"({"type":"set","row":1,"control":"CheckRadioBox_Air","value":3})"),
              "A i r is a switch: send true or false.");
    EXPECT_NE(error_of(std::string(1 << 20, '{')).find("too long"), std::string::npos);
    EXPECT_NE(error_of("\xff\xfe{\"type\":1}").find("not JSON"), std::string::npos);
    EXPECT_EQ(gain->ScrollBar_Gain_Mono.position(), target);
    send(R"({"type":"row","row":1,"on":true})");
    EXPECT_TRUE(form->chain().row(1).check.checked());
}

TEST_F(RemoteHubTest, StateFollowsTheWindowMetersReadAndCapsHold) {
    start();
    EXPECT_EQ(hub->take_state(id), "");  // not paired
    pair();
    EXPECT_EQ(hub->take_state(id), "");  // sent with "paired"
    form->chain().row(4).check.click();  // the window's mouse
    const std::string changed = hub->take_state(id);
    ASSERT_FALSE(changed.empty());
    EXPECT_EQ(json::parse(changed)["rows"][3]["on"], true);
    EXPECT_EQ(hub->take_state(id), "");

    const json m = json::parse(hub->meters());
    EXPECT_EQ(m["in"], 32);
    EXPECT_EQ(m["out"], 100);
    EXPECT_EQ(m["cpu"], 25);
    EXPECT_EQ(m["xruns"], 2);
    EXPECT_TRUE(m.contains("tuner"));

    // The rate cap: a burst at one instant runs out; the connection stays.
    int refused = 0;
    now += 10000;  // a full bucket
    for (int i = 0; i < 60; ++i)
        for (const std::string& r : hub->receive(id, R"({"type":"open","row":0})", now))
            if (r.find("Too many messages") != std::string::npos) ++refused;
    EXPECT_EQ(refused, 60 - static_cast<int>(RateCap::kBurst));
    EXPECT_EQ(send(R"({"type":"open","row":0})").at(0)["type"], "state");

    // The connection cap.
    std::vector<int> ids;
    std::string first;
    for (int i = 1; i < Hub::kMaxConnections; ++i) ids.push_back(hub->connect(first));
    EXPECT_EQ(hub->connections(), Hub::kMaxConnections);
    EXPECT_EQ(hub->connect(first), 0);
    EXPECT_NE(first.find("Too many remotes are connected"), std::string::npos);
    hub->disconnect(ids[0]);
    EXPECT_GT(hub->connect(first), 0);
    EXPECT_TRUE(hub->receive(ids[0], R"({"type":"open","row":0})", now).empty());  // gone
}

TEST(RemoteControls, CaptionsComeFromTheLabelBesideOrAbove) {
    ui::FormModel form("T", "t", 300, 300);
    ui::Label left("Label_A", {12, 20, 120, 16}, "Mono Volume:  ");
    ui::ScrollBar a("ScrollBar_A", {136, 18, 156, 18}, {});
    ui::Label above("Label_B", {16, 60, 234, 14}, "Decay ");
    ui::Label far_above("Label_C", {16, 10, 234, 14}, "Far");
    ui::ScrollBar b("ScrollBar_B", {16, 78, 234, 18}, {});
    ui::ScrollBar c("ScrollBar_Drive_Level", {16, 250, 234, 18}, {});
    ui::CheckBox box("CheckRadioBox_X", {12, 190, 120, 20}, "  Ping pong");
    for (ui::Control* k : std::initializer_list<ui::Control*>{&left, &a, &above, &far_above, &b, &c, &box}) form.add(*k);
    EXPECT_EQ(control_caption(form, a), "Mono Volume");
    EXPECT_EQ(control_caption(form, b), "Decay");
    EXPECT_EQ(control_caption(form, c), "Drive Level");
    EXPECT_EQ(control_caption(form, box), "Ping pong");
}

}  // namespace
}  // namespace tw::remote
