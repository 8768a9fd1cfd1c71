// The host's services that talk with the user and keep plug-in settings,
// called the way the plug-in calls them: the INI file (41399), the formatted
// message box (35802), the notice box (52023), the handler lookup (40101)
// and the dialog service (52026).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>
#include <fstream>
#include <iterator>
#include <string>

#include "emulator/core/host.h"
#include "emulator/core/text.h"
#include "tests/emulator/service_call.h"
#include "tests/support/file_bytes.h"

namespace korpus {
namespace {

using testing::serviceOf;

using IniFn = std::int32_t(const char*, std::int32_t, const char*, const char*, const char*, va_list);
using FormattedBoxFn = std::int32_t(std::int32_t, const char*, const char*, std::int32_t, std::int32_t, ...);
using NoticeBoxFn = std::int32_t(std::int32_t, std::int32_t*, std::int32_t, const char*);
using HandlerLookupFn = CodeAddress();
using DialogFn = std::int32_t(const void*, std::int32_t, void*, std::int32_t);

constexpr std::int32_t read = 8;
constexpr std::int32_t write = 9;

// The INI service with its further arguments as one list, as pluginIni hands them.
std::int32_t ini(Host& host, std::int32_t operation, const char* section, const char* key, const char* format, ...) {
    va_list values;
    va_start(values, format);
    const std::int32_t result = serviceOf<IniFn>(host, 41399)("WtyczkiG.ini", operation, section, key, format, values);
    va_end(values);
    return result;
}

std::string fileText(const std::filesystem::path& path) {
    std::string text = testing::fileBytes(path);
    // The system's INI functions on Windows end lines with CR LF.
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class IniService : public ::testing::Test {
   protected:
    Host host;
    std::filesystem::path path = host.directory() / "WtyczkiG.ini";
};

TEST_F(IniService, ReadOfAMissingFileReadsNothing) {
    std::int32_t value = 77;
    EXPECT_EQ(ini(host, read, "Scalarka", "Pytaj", "%d", &value), 1);
    EXPECT_EQ(value, 77);
    EXPECT_FALSE(std::filesystem::exists(path)) << "reading creates nothing";
    EXPECT_EQ(
        host.trace().callsOf("iniService"),
        std::vector<std::string>{R"(41399 iniService("WtyczkiG.ini", 8, "Scalarka", "Pytaj", "%d", missing) -> 1)"});
}

TEST_F(IniService, WriteCreatesTheFileAndReadGivesTheValueBack) {
    EXPECT_EQ(ini(host, write, "Scalarka", "Pytaj", "%d", -1), 0);
    EXPECT_EQ(fileText(path), "[Scalarka]\nPytaj=-1\n");
    std::int32_t value = 0;
    EXPECT_EQ(ini(host, read, "Scalarka", "Pytaj", "%d", &value), 0);
    EXPECT_EQ(value, -1);
}

TEST_F(IniService, NamesAreFoundWhateverTheirCase) {
    writeFile(path, "[SCALARKA]\npytaj=65536\n");
    std::int32_t value = 0;
    EXPECT_EQ(ini(host, read, "Scalarka", "Pytaj", "%d", &value), 0);
    EXPECT_EQ(value, 65536);
}

TEST_F(IniService, ValueThatDoesNotFitTheFormatIsNotRead) {
    writeFile(path, "[Scalarka]\nPytaj=tak\n");
    std::int32_t value = 5;
    EXPECT_NE(ini(host, read, "Scalarka", "Pytaj", "%d", &value) & 0xFFFF, 0);
    EXPECT_EQ(value, 5);
}

TEST_F(IniService, ReadsSeveralValuesWithOneFormat) {
    writeFile(path, "[Scalarka]\nOkno=12 34\n");
    std::int32_t x = 0;
    std::int32_t y = 0;
    EXPECT_EQ(ini(host, read, "Scalarka", "Okno", "%d %d", &x, &y), 0);
    EXPECT_EQ(x, 12);
    EXPECT_EQ(y, 34);
}

TEST_F(IniService, WriteKeepsEveryOtherSectionAndKey) {
    writeFile(path, "; ustawienia wtyczek\n[Inna]\nPytaj=5\n\n[Scalarka]\nKlucz=abc\nPytaj=1\n\n[Ostatnia]\nx=1\n");
    EXPECT_EQ(ini(host, write, "Scalarka", "Pytaj", "%d", 0), 0);
    EXPECT_EQ(ini(host, write, "Scalarka", "Nowy", "%s-%d", "a", 7), 0);
    EXPECT_EQ(ini(host, write, "Dodana", "Pytaj", "%d", 3), 0);

    const auto value = [&](const char* section, const char* key) {
        std::int32_t number = -99;
        ini(host, read, section, key, "%d", &number);
        return number;
    };
    EXPECT_EQ(value("Inna", "Pytaj"), 5);
    EXPECT_EQ(value("Scalarka", "Pytaj"), 0);
    EXPECT_EQ(value("Ostatnia", "x"), 1);
    EXPECT_EQ(value("Dodana", "Pytaj"), 3);
    char text[16] = {};
    EXPECT_EQ(ini(host, read, "Scalarka", "Klucz", "%15s", text), 0);
    EXPECT_STREQ(text, "abc");
    EXPECT_EQ(ini(host, read, "Scalarka", "Nowy", "%15s", text), 0);
    EXPECT_STREQ(text, "a-7");
#if !defined(_WIN32)
    // Our own writer changes nothing but the lines it has to.
    EXPECT_EQ(fileText(path),
              "; ustawienia wtyczek\n[Inna]\nPytaj=5\n\n[Scalarka]\nKlucz=abc\nPytaj=0\nNowy=a-7\n\n[Ostatnia]\nx=1\n"
              "\n[Dodana]\nPytaj=3\n");
#endif
}

TEST_F(IniService, UnknownOperationDoesNothing) {
    std::int32_t value = 0;
    EXPECT_EQ(ini(host, 7, "Scalarka", "Pytaj", "%d", &value), 1);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(FormattedMessageBox, FormatsLikePrintfAndShowsTheTextUnderItsTitle) {
    Host host;
    serviceOf<FormattedBoxFn>(host, 35802)(15000, "STOP!!!", "%s|%d|0x%08X|%hu", 0xF001, 0x6E2E,
                                           toMazovia("Moduł").c_str(), -5, 4u, 52030);
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].service, "formattedMessageBox");
    EXPECT_EQ(host.messages()[0].title, "STOP!!!");
    EXPECT_EQ(host.messages()[0].text, "Moduł|-5|0x00000004|52030");
    EXPECT_EQ(host.trace().callsOf("formattedMessageBox"),
              std::vector<std::string>{R"(35802 formattedMessageBox(15000, "STOP!!!", "%s|%d|0x%08X|%hu", 0xF001, )"
                                       R"(0x6E2E, shown "Moduł|-5|0x00000004|52030") -> 0)"});
}

TEST(FormattedMessageBox, ShowsTextsLongerThanAnyBuffer) {
    Host host;
    const std::string longText(5000, 'x');
    serviceOf<FormattedBoxFn>(host, 35802)(15000, "T", "%s!", 0xF001, 0x6E2E, longText.c_str());
    EXPECT_EQ(host.messages().at(0).text, longText + "!");
}

struct NoticeCase {
    const char* name;
    std::optional<std::int32_t> answer;
    std::int32_t flagBefore;
    std::int32_t flagAfter;
};

class NoticeBox : public ::testing::TestWithParam<NoticeCase> {};

TEST_P(NoticeBox, ShowsTheTextAndLeavesTheUsersFlag) {
    HostConfig config;
    config.noticeFlagAnswer = GetParam().answer;
    Host host(config);
    std::int32_t flag = GetParam().flagBefore;
    EXPECT_EQ(serviceOf<NoticeBoxFn>(host, 52023)(0x684, &flag, 0, toMazovia("Zainstalowano wtyczkę").c_str()), 0);
    EXPECT_EQ(flag, GetParam().flagAfter);
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].service, "noticeBox");
    EXPECT_EQ(host.messages()[0].text, "Zainstalowano wtyczkę");
}

INSTANTIATE_TEST_SUITE_P(Users, NoticeBox,
                         ::testing::Values(NoticeCase{"LeavesTheFlag", std::nullopt, 0, 0},
                                           NoticeCase{"AsksNoMore", 1, 0, 1},
                                           NoticeCase{"SetsAllSixteenBits", 0xFFFF, 0, 0xFFFF},
                                           NoticeCase{"ClearsTheFlag", 0, 7, 0}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(NoticeBox, WithoutFlagShowsTheTextAlone) {
    HostConfig config;
    config.noticeFlagAnswer = 1;
    Host host(config);
    EXPECT_EQ(serviceOf<NoticeBoxFn>(host, 52023)(0x684, nullptr, 0, "x"), 0);
    EXPECT_EQ(host.messages().size(), 1u);
}

TEST(HandlerLookup, HandsOutAHandlerThatRecordsItsArguments) {
    HostConfig config;
    config.formHandlerResult = 31;
    Host host(config);
    const CodeAddress handler = serviceOf<HandlerLookupFn>(host, 40101)();
    ASSERT_NE(handler, nullptr);
    using HandlerFn = std::int32_t(std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t);
    EXPECT_EQ(reinterpret_cast<HandlerFn*>(handler)(1, -2, 3, 4), 31);
    ASSERT_EQ(host.formHandlerCalls().size(), 1u);
    const std::intptr_t expected[4] = {1, -2, 3, 4};
    EXPECT_TRUE(std::equal(std::begin(expected), std::end(expected), host.formHandlerCalls()[0].arguments));
}

// A form for dialog 20110 of one input item per field of the options record.
std::string put16(std::uint16_t value) { return {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)}; }

std::string record(std::uint16_t type, std::uint16_t id, std::uint16_t hotKey, std::uint16_t y, const char* label,
                   std::uint16_t height = 1) {
    return put16(type) + put16(id) + put16(0x0400) + put16(hotKey) + put16(1) + put16(y) + put16(20) + put16(height) +
           put16(0) + put16(0) + label + std::string(1, '\0');
}

std::string minimalOptionsForm(std::uint16_t windowId) {
    const std::string body =
        record(0xFFFF, windowId, 0, 0, "Opcje", 10) + record(2, 0xFFFF, 'A', 1, "~A~") + record(3, 0xFFFF, 0, 2, "-") +
        record(2, 0xFFFF, 'B', 3, "~B~") + record(3, 0xFFFF, 0, 4, "-") + record(1, 0xFFFF, 'C', 5, "~C~") +
        record(3, 0xFFFF, 0, 6, "-") + record(2, 0xFFFF, 'D', 7, "~D~") + record(0, 0x5001, 0x8600, 8, "OK");
    const auto size = static_cast<std::uint32_t>(body.size() + 8);
    return put16(static_cast<std::uint16_t>(size - 4)) + put16(0) + put16(static_cast<std::uint16_t>(size - 8)) +
           put16(8) + body;
}

std::string withItemCount(std::string form, std::uint16_t count) {
    form.replace(6, 2, put16(count));
    return form;
}

TEST(DialogService, EditsTheFieldsOfTheRecordThroughAnyFittingForm) {
    HostConfig config;
    config.dialogKeys = {"A", "B", "C", "D", "F12", "Esc"};
    Host host(config);
    const std::string form = minimalOptionsForm(20110);
    std::uint8_t options[8] = {0, 0x11, 0, 0, 0, 0, 0, 0x22};

    EXPECT_EQ(serviceOf<DialogFn>(host, 52026)(form.data(), 20110, options, 0), 0x5001);

    const std::uint8_t expected[8] = {0x01, 0x11, 0x01, 0x00, 0x00, 0x00, 0x01, 0x22};
    EXPECT_TRUE(std::equal(std::begin(expected), std::end(expected), options));
    ASSERT_EQ(host.dialogs().size(), 1u);
    EXPECT_EQ(host.dialogs()[0].keys, (std::vector<std::string>{"A", "B", "C", "D", "F12"}));
    EXPECT_EQ(host.dialogs()[0].title, "Opcje");
    EXPECT_EQ(host.config().dialogKeys, std::vector<std::string>{"Esc"}) << "the next dialog gets the rest";
    EXPECT_NE(host.dialogs()[0].openingScreen.find("(*) C"), std::string::npos)
        << "trigger 0 selects the first radio button, and this group has one\n"
        << host.dialogs()[0].openingScreen;
    EXPECT_EQ(host.trace().callsOf("dialogService"),
              std::vector<std::string>{
                  R"(52026 dialogService(form "Opcje", 20110, record, 0) -> 0x5001 (keys: A B C D F12))"});
}

TEST(DialogService, WithoutKeysTheUserClosesWithEsc) {
    Host host;
    const std::string form = minimalOptionsForm(20110);
    std::uint8_t options[8] = {};
    EXPECT_EQ(serviceOf<DialogFn>(host, 52026)(form.data(), 20110, options, 0), 0x5002);
    EXPECT_EQ(host.dialogs().at(0).keys, std::vector<std::string>{"Esc"});
}

struct RefusedDialog {
    const char* name;
    std::string form;
    std::int32_t dialogId;
    bool withRecord;
    std::string reason;
};

class DialogServiceRefuses : public ::testing::TestWithParam<RefusedDialog> {};

TEST_P(DialogServiceRefuses, ShowsNothingAndAnswersNoButton) {
    const RefusedDialog& c = GetParam();
    HostConfig config;
    config.dialogKeys = {"F12"};
    Host host(config);
    std::uint8_t options[8] = {};
    EXPECT_EQ(serviceOf<DialogFn>(host, 52026)(c.form.data(), c.dialogId, c.withRecord ? options : nullptr, 0), 0);
    EXPECT_TRUE(host.dialogs().empty());
    const std::string trace = host.trace().text();
    EXPECT_NE(trace.find(c.reason), std::string::npos) << trace;
}

INSTANTIATE_TEST_SUITE_P(
    Dialogs, DialogServiceRefuses,
    ::testing::Values(RefusedDialog{"WindowOfAnotherDialog", minimalOptionsForm(20111), 20110, true, "window's id"},
                      RefusedDialog{"UnknownDialog", minimalOptionsForm(20111), 20111, true, "knows no record"},
                      RefusedDialog{"NoRecord", minimalOptionsForm(20110), 20110, false, "no record"},
                      RefusedDialog{"MoreItemsThanTheFormHolds", withItemCount(minimalOptionsForm(20110), 9), 20110,
                                    true, "runs past the end"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

}  // namespace
}  // namespace korpus
