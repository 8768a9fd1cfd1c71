#include <gtest/gtest.h>

#include "emulator/core/text.h"

namespace korpus {
namespace {

TEST(Text, PolishLettersRoundTrip) {
    const std::string utf8 = "Łączenie ąćęłńóśźż ĄĆĘŁŃÓŚŹŻ";
    EXPECT_EQ(toUtf8(toMazovia(utf8)), utf8);
    EXPECT_EQ(toMazovia("ł"), "\x92");
}

TEST(Text, TraceShowsControlBytesAndLineBreaks) {
    EXPECT_EQ(traceText("\x01"
                        "cB\x92\x86"
                        "d\n\t\x02x\x01"),
              "\\x01cBłąd\\n\\t\\x02x\\x01");
    EXPECT_EQ(traceText("say \"hi\""), "say \\\"hi\\\"");
}

}  // namespace
}  // namespace korpus
