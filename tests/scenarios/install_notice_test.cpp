// The installation notice at activation, with the host's real "WtyczkiG.ini":
// when the notice is shown, and what the key "Pytaj" holds afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <string>

#include "emulator/core/text.h"
#include "tests/support/file_bytes.h"
#include "tests/support/loaded_host.h"

namespace korpus {
namespace {

using testing::LoadedHost;

const std::string notice = "Zainstalowano wtyczkę do programu:\nŁączenie takich samych pozycji na dokumencie";

std::string readFile(const std::filesystem::path& path) { return testing::fileBytes(path); }

// The file's text with Windows line ends made plain.
std::string plainText(const std::filesystem::path& path) {
    std::string text = readFile(path);
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

// What "Pytaj" holds in the section "Scalarka"; nullopt when it is not there.
std::optional<std::string> storedFlag(const std::filesystem::path& path) {
    const std::string text = plainText(path);
    std::size_t at = text.find("[Scalarka]\n");
    if (at == std::string::npos) {
        return std::nullopt;
    }
    const std::size_t sectionEnd = text.find("\n[", at + 1);
    at = text.find("\nPytaj=", at);
    if (at == std::string::npos || at > sectionEnd) {
        return std::nullopt;
    }
    at += 7;
    return text.substr(at, text.find('\n', at) - at);
}

struct NoticeCase {
    const char* name;
    std::optional<std::string> iniBefore;  // none: no file
    std::optional<std::int32_t> userLeaves;
    bool shown;
    std::string storedAfter;  // when not shown: the file is left byte for byte
};

class InstallNotice : public ::testing::TestWithParam<NoticeCase> {};

TEST_P(InstallNotice, ShowsOrNotAsTheStoredFlagSays) {
    const NoticeCase& c = GetParam();
    HostConfig config;
    config.noticeFlagAnswer = c.userLeaves;
    LoadedHost host(config);
    const std::filesystem::path ini = host.directory() / "WtyczkiG.ini";
    if (c.iniBefore) {
        std::ofstream(ini, std::ios::binary) << *c.iniBefore;
    }

    EXPECT_EQ(host.pluginStart(0), 0);

    if (!c.shown) {
        EXPECT_TRUE(host.messages().empty());
        EXPECT_TRUE(host.trace().callsOf("noticeBox").empty());
        EXPECT_EQ(readFile(ini), *c.iniBefore) << "without a notice the file is not written";
        return;
    }
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].service, "noticeBox");
    EXPECT_EQ(host.messages()[0].text, notice);
    EXPECT_EQ(toMazovia(notice).size(), 79u);
    const std::vector<std::string> boxes = host.trace().callsOf("noticeBox");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].find("52023 noticeBox(0x684, &flag="), 0u) << boxes[0];
    EXPECT_NE(boxes[0].find(", 0, \"Zainstalowano wtyczkę do programu:\\n"), std::string::npos) << boxes[0];
    EXPECT_EQ(storedFlag(ini), c.storedAfter) << plainText(ini);
}

INSTANTIATE_TEST_SUITE_P(
    Files, InstallNotice,
    ::testing::Values(NoticeCase{"NoFile", std::nullopt, std::nullopt, true, "0"},
                      NoticeCase{"NoSection", "[Inna]\nPytaj=1\n", std::nullopt, true, "0"},
                      NoticeCase{"NoKey", "[Scalarka]\nInny=2\n", std::nullopt, true, "0"},
                      NoticeCase{"Zero", "[Scalarka]\nPytaj=0\n", std::nullopt, true, "0"},
                      NoticeCase{"NotANumber", "[Scalarka]\nPytaj=tak\n", std::nullopt, true, "0"},
                      NoticeCase{"LowSixteenBitsClear", "[Scalarka]\nPytaj=65536\n", std::nullopt, true, "0"},
                      NoticeCase{"One", "[Scalarka]\nPytaj=1\n", std::nullopt, false, ""},
                      NoticeCase{"MinusOne", "[Scalarka]\nPytaj=-1\n", std::nullopt, false, ""},
                      NoticeCase{"HighAndLowBits", "[Scalarka]\nPytaj=65537\n", std::nullopt, false, ""},
                      NoticeCase{"UserAsksNoMore", std::nullopt, 1, true, "1"},
                      NoticeCase{"UserSetsAllSixteenBits", "[Scalarka]\nPytaj=0\n", 0xFFFF, true, "-1"},
                      NoticeCase{"UserSetsOnlyHighBits", std::nullopt, 0x10000, true, "0"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(InstallNoticeFile, KeepsTheOtherSettingsOfTheFile) {
    LoadedHost host;
    const std::filesystem::path ini = host.directory() / "WtyczkiG.ini";
    std::ofstream(ini, std::ios::binary) << "[Inna]\nPytaj=1\n\n[Scalarka]\nKolor=7\n";
    host.pluginStart(0);
    const std::string text = plainText(ini);
    EXPECT_NE(text.find("[Inna]\nPytaj=1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Kolor=7\n"), std::string::npos) << text;
    EXPECT_EQ(storedFlag(ini), "0") << text;
}

TEST(InstallNoticeFile, ComesAtEveryActivationUntilTheUserSaysNo) {
    LoadedHost host;
    EXPECT_EQ(host.pluginStart(0), 0);
    EXPECT_EQ(host.pluginStart(0), 0);
    EXPECT_EQ(host.messages().size(), 2u) << "flag 0 stored: the notice comes again";
    host.config().noticeFlagAnswer = 1;
    EXPECT_EQ(host.pluginStart(0), 0);
    EXPECT_EQ(host.pluginStart(0), 0);
    EXPECT_EQ(host.messages().size(), 3u) << "once the user said no, no more notices";
    EXPECT_EQ(host.trace().callsOf("iniService").size(), 7u) << "read and write three times, then a read only";
}

}  // namespace
}  // namespace korpus
