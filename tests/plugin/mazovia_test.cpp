#include <gtest/gtest.h>

#include <string_view>

#include "frame/lifecycle.h"
#include "host/mazovia.h"

namespace scalarka {
namespace {

std::string_view bytes(const auto& text) { return {text.data(), text.size() - 1}; }

TEST(Mazovia, EveryPolishLetterHasItsCodePageByte) {
    constexpr const auto& letters = mazovia<u8"ąćęłńóśźżĄĆĘŁŃÓŚŹŻ">;
    EXPECT_EQ(bytes(letters),
              std::string_view("\x86\x8D\x91\x92\xA4\xA2\x9E\xA6\xA7\x8F\x95\x90\x9C\xA5\xA3\x98\xA0\xA1"));
}

TEST(Mazovia, AsciiAndControlBytesPassUnchanged) {
    constexpr const auto& text = mazovia<
        u8"\x01"
        u8"c Ok\t1\n">;
    EXPECT_EQ(bytes(text), std::string_view("\x01"
                                            "c Ok\t1\n"));
    EXPECT_EQ(text.back(), '\0');
}

TEST(Mazovia, PluginTitleIs44BytesAndItsNul) {
    EXPECT_EQ(sizeof(pluginTitle), 45u);
    EXPECT_EQ(bytes(pluginTitle), std::string_view("\x9C\x86"
                                                   "czenie takich samych pozycji na dokumencie"));
}

}  // namespace
}  // namespace scalarka
