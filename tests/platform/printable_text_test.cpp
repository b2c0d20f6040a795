#include "platform/printable_text.h"

#include <gtest/gtest.h>

namespace tw::platform {
namespace {

TEST(PrintableText, KeepsUtf8AndReplacesWhatATerminalWouldMisread) {
    EXPECT_EQ(printable_text("Fu\xc3\x9f" "controller \xe2\x82\xac 1\t2"), "Fu\xc3\x9f" "controller \xe2\x82\xac 1\t2");
    EXPECT_EQ(printable_text("\xF0\x9F\x8E\xB8 amp"), "\xF0\x9F\x8E\xB8 amp");
    // Latin-1 bytes, a cut sequence, an overlong '/', a surrogate, past U+10FFFF.
    EXPECT_EQ(printable_text("caf\xe9"), "caf?");
    EXPECT_EQ(printable_text("ab\xe2\x82"), "ab??");
    EXPECT_EQ(printable_text("\xc0\xaf"), "??");
    EXPECT_EQ(printable_text("\xed\xa0\x80"), "???");
    EXPECT_EQ(printable_text("\xf4\x90\x80\x80"), "????");
    // Escape sequences, C1 controls, DEL and new lines.
    EXPECT_EQ(printable_text("\x1b[2Jport\r\n"), "?[2Jport??");
    EXPECT_EQ(printable_text("\xc2\x9b" "1m\x7f"), "??1m?");
}

}  // namespace
}  // namespace tw::platform
