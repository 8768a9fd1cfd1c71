// The host's form format: reading any form, drawing it as a text screen,
// binding its input items to a record and playing keys against it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "emulator/core/form.h"
#include "emulator/core/text.h"
#include "tests/support/loaded_host.h"

namespace korpus {
namespace {

// A record of the form format, built readably.
struct Item {
    std::uint16_t type;
    std::uint16_t id = 0xFFFF;
    std::uint16_t flags = 0;
    std::uint16_t hotKey = 0;
    std::uint16_t x = 0, y = 0, w = 0, h = 1;
    std::uint16_t unnamed = 0, extra = 0;
    std::string label;  // UTF-8, control bytes as they are
};

void put16(std::string& out, std::uint16_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8);
}

std::string recordBytes(const Item& item) {
    std::string out;
    for (const std::uint16_t value :
         {item.type, item.id, item.flags, item.hotKey, item.x, item.y, item.w, item.h, item.unnamed, item.extra}) {
        put16(out, value);
    }
    return out + toMazovia(item.label) + '\0';
}

std::string formBytes(const Item& window, const std::vector<Item>& items) {
    std::string body = recordBytes(window);
    for (const Item& item : items) {
        body += recordBytes(item);
    }
    std::string out;
    const auto size = static_cast<std::uint32_t>(body.size() + 8);
    put16(out, static_cast<std::uint16_t>((size - 4) & 0xFFFF));
    put16(out, static_cast<std::uint16_t>((size - 4) >> 16));
    put16(out, static_cast<std::uint16_t>(size - 8));
    put16(out, static_cast<std::uint16_t>(items.size()));
    return out + body;
}

constexpr std::uint16_t checkBox = 2, radio = 1, button = 0, text = 3, window = 0xFFFF;
constexpr std::uint16_t F2 = 0x3C00, F5 = 0x3F00, F6 = 0x4000, F12 = 0x8600;

// A small dialog: a heading, two check boxes (the second fixed), a separator,
// two radio buttons, a check box of its own and two buttons.
const Item smallWindow{window, 20110, 0, 0, 0, 0, 24, 9, 0, 0, "Próba"};
const std::vector<Item> smallItems = {
    {text, 0xFFFF, 0, 0, 1, 0, 10, 1, 0, 0, "Rodzaje:"},
    {checkBox, F2, 0x0400, F2, 1, 1, 20, 1, 0, 0,
     "\x05"
     "F2\x01 Żółte"},
    {checkBox, 0xFFFF, 0x0402, 0, 1, 2, 20, 1, 0, 0, "Stałe"},
    {text, 0xFFFF, 0, 0, 1, 3, 10, 1, 0, 0, "Tryb:"},
    {radio, 0xFFFF, 0x0400, 'A', 1, 4, 20, 1, 0, 0, "~A~lfa"},
    {radio, F5, 0x0400, F5, 1, 5, 20, 1, 0, 0,
     "\x05"
     "F5\x01 Beta z bardzo długą nazwą"},
    {text, 0xFFFF, 0x0800, 0, 1, 1, 1, 1, 0, 0, ""},
    {checkBox, F6, 0x0100, F6, 1, 6, 20, 1, 0, 0,
     "\x05"
     "F6\x01 Ważone"},
    {button, 0x5001, 0x8004, F12, 2, 8, 8, 1, 0, 0,
     "\x05"
     "F12\x01 OK"},
    {button, 0x5002, 0, 0, 12, 8, 8, 1, 0, 0, "Anuluj"},
};

// The record that form edits: a byte, 16 bits and a byte, with bytes between
// them that belong to no field.
const std::vector<RecordField> threeFields = {{0, 1}, {4, 2}, {6, 1}};

TEST(FormParser, ReadsEveryRecordOfAHandMadeForm) {
    const std::string bytes = formBytes(smallWindow, smallItems);
    const Form form = parseForm(std::string_view(bytes));
    EXPECT_EQ(form.size(), bytes.size());
    EXPECT_EQ(form.itemCount, smallItems.size());
    EXPECT_EQ(form.window.offset, 8u);
    EXPECT_EQ(form.window.w, 24);
    EXPECT_EQ(shownLabel(form.window.label), "Próba");
    ASSERT_EQ(form.items.size(), smallItems.size());
    std::size_t expectedOffset = 8 + 20 + toMazovia("Próba").size() + 1;
    for (std::size_t i = 0; i < smallItems.size(); ++i) {
        const FormRecord& item = form.items[i];
        EXPECT_EQ(item.offset, expectedOffset) << "item " << i + 1;
        EXPECT_EQ(item.type, smallItems[i].type) << "item " << i + 1;
        EXPECT_EQ(item.id, smallItems[i].id) << "item " << i + 1;
        EXPECT_EQ(item.hotKey, smallItems[i].hotKey) << "item " << i + 1;
        EXPECT_EQ(toUtf8(item.label), smallItems[i].label) << "item " << i + 1;
        expectedOffset += 20 + toMazovia(smallItems[i].label).size() + 1;
    }
    EXPECT_EQ(shownLabel(form.items[1].label), "F2 Żółte") << "the key's name, then the text";
    EXPECT_EQ(shownLabel(form.items[4].label), "Alfa") << "tildes mark the hot letter and are not shown";
}

struct BrokenForm {
    const char* name;
    std::string bytes;
    std::string reason;  // a part of the error's text
};

std::string withByte(std::string bytes, std::size_t at, char value) {
    bytes[at] = value;
    return bytes;
}

class FormParserRefuses : public ::testing::TestWithParam<BrokenForm> {};

TEST_P(FormParserRefuses, NamesWhatIsWrong) {
    try {
        parseForm(std::string_view(GetParam().bytes));
        FAIL() << "a broken form was accepted";
    } catch (const FormError& error) {
        EXPECT_NE(std::string(error.what()).find(GetParam().reason), std::string::npos) << error.what();
    }
}

const std::string goodForm = formBytes(smallWindow, {{text, 0xFFFF, 0, 0, 1, 1, 3, 1, 0, 0, "abc"}});

INSTANTIATE_TEST_SUITE_P(
    Forms, FormParserRefuses,
    ::testing::Values(BrokenForm{"TooShortForAHeader", "\x05\x00\x00", "no room for its header"},
                      BrokenForm{"SizeFieldTooLarge", withByte(goodForm, 0, static_cast<char>(goodForm[0] + 1)),
                                 "after its first field"},
                      BrokenForm{"SecondSizeFieldDisagrees", withByte(goodForm, 4, static_cast<char>(goodForm[4] - 1)),
                                 "after itself"},
                      BrokenForm{"MoreItemsThanRecords", withByte(goodForm, 6, 2), "runs past the end"},
                      BrokenForm{"FewerItemsThanRecords", withByte(goodForm, 6, 0), "the records end at offset"},
                      BrokenForm{"LabelWithoutNul", withByte(goodForm, goodForm.size() - 1, 'x'), "has no NUL"},
                      BrokenForm{"NoWindowFirst", withByte(goodForm, 8, 3), "not a window"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(FormParser, RefusesAnAddressWhoseSizeFieldIsAbsurd) {
    const std::uint32_t huge[4] = {0x7FFFFFF0u, 0, 0, 0};
    EXPECT_THROW(parseForm(static_cast<const void*>(huge)), FormError);
    EXPECT_THROW(parseForm(static_cast<const void*>(nullptr)), FormError);
}

TEST(FormScreen, DrawsTheHandMadeFormInItsFrame) {
    std::uint8_t record[8] = {0x03, 0xAA, 0x01, 0x00, 0x01, 0x00, 0x00, 0xBB};
    const FormDialog dialog(parseForm(std::string_view(formBytes(smallWindow, smallItems))), threeFields, record);
    const std::string expected =
        "┌──────── Próba ─────────┐\n"
        "│ Rodzaje:               │\n"
        "│ [x] F2 Żółte           │\n"
        "│ {x} Stałe              │\n"
        "│ Tryb:                  │\n"
        "│ ( ) Alfa               │\n"
        "│ (*) F5 Beta z bardzo   │\n"
        "│ [ ] F6 Ważone          │\n"
        "│                        │\n"
        "│  [F12 OK]  [Anuluj]    │\n"
        "└────────────────────────┘\n";
    EXPECT_EQ(dialog.screen(), expected) << dialog.screen();
}

TEST(FormScreen, ShowsEveryInputOffWithoutARecord) {
    const FormDialog dialog(parseForm(std::string_view(formBytes(smallWindow, smallItems))), {}, nullptr);
    const std::string screen = dialog.screen();
    EXPECT_NE(screen.find("[ ] F2 Żółte"), std::string::npos) << screen;
    EXPECT_NE(screen.find("{ } Stałe"), std::string::npos) << screen;
    EXPECT_NE(screen.find("( ) Alfa"), std::string::npos) << screen;
}

struct KeyCase {
    const char* name;
    std::vector<std::string> keys;
    std::vector<std::uint8_t> recordAfter;
    std::optional<std::uint16_t> closedWith;
};

class FormKeys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(FormKeys, EditTheRecordInPlaceAndClose) {
    const KeyCase& c = GetParam();
    std::vector<std::uint8_t> record = {0x00, 0xAA, 0x02, 0x00, 0x07, 0x00, 0x00, 0xBB};
    FormDialog dialog(parseForm(std::string_view(formBytes(smallWindow, smallItems))), threeFields, record.data());
    std::optional<std::uint16_t> closed;
    for (const std::string& key : c.keys) {
        const std::optional<std::uint16_t> code = keyCode(key);
        ASSERT_TRUE(code.has_value()) << key;
        closed = dialog.press(*code);
        if (closed) {
            break;
        }
    }
    EXPECT_EQ(closed, c.closedWith);
    EXPECT_EQ(record, c.recordAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, FormKeys,
    ::testing::Values(
        KeyCase{"F2TogglesTheFirstBit", {"F2"}, {0x01, 0xAA, 0x02, 0x00, 0x07, 0x00, 0x00, 0xBB}, std::nullopt},
        KeyCase{"F2TwiceTogglesBack", {"F2", "F2"}, {0x00, 0xAA, 0x02, 0x00, 0x07, 0x00, 0x00, 0xBB}, std::nullopt},
        KeyCase{"LetterSelectsTheFirstRadio", {"a"}, {0x00, 0xAA, 0x02, 0x00, 0x00, 0x00, 0x00, 0xBB}, std::nullopt},
        KeyCase{"F5SelectsTheSecondRadio", {"F5"}, {0x00, 0xAA, 0x02, 0x00, 0x01, 0x00, 0x00, 0xBB}, std::nullopt},
        KeyCase{"F6TicksTheLastGroup", {"F6"}, {0x00, 0xAA, 0x02, 0x00, 0x07, 0x00, 0x01, 0xBB}, std::nullopt},
        KeyCase{"F12ClosesWithOk", {"F6", "F12", "F2"}, {0x00, 0xAA, 0x02, 0x00, 0x07, 0x00, 0x01, 0xBB}, 0x5001},
        KeyCase{"EscClosesWithCancelAndKeepsTheEdits",
                {"F2", "Esc"},
                {0x01, 0xAA, 0x02, 0x00, 0x07, 0x00, 0x00, 0xBB},
                0x5002},
        KeyCase{"KeysOfNoItemDoNothing",
                {"F3", "Z", "F11"},
                {0x00, 0xAA, 0x02, 0x00, 0x07, 0x00, 0x00, 0xBB},
                std::nullopt}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(FormBinding, RefusesARecordWithOtherFieldsThanGroups) {
    std::uint8_t record[8] = {};
    const Form form = parseForm(std::string_view(formBytes(smallWindow, smallItems)));
    EXPECT_THROW(FormDialog(form, {{0, 1}, {2, 2}, {4, 2}, {6, 1}}, record), FormError);
    EXPECT_THROW(FormDialog(form, threeFields, nullptr), FormError);
    // Nine boxes in a row cannot stand for the bits of one byte.
    std::vector<Item> nine(9, Item{checkBox, 0xFFFF, 0x0400, 0, 1, 1, 5, 1, 0, 0, "x"});
    EXPECT_THROW(FormDialog(parseForm(std::string_view(formBytes(smallWindow, nine))), {{0, 1}}, record), FormError);
}

struct KeyNameCase {
    const char* name;
    std::optional<std::uint16_t> code;
};

class KeyNames : public ::testing::TestWithParam<KeyNameCase> {};

TEST_P(KeyNames, GiveThePcKeyCode) { EXPECT_EQ(keyCode(GetParam().name), GetParam().code) << GetParam().name; }

INSTANTIATE_TEST_SUITE_P(Keys, KeyNames,
                         ::testing::Values(KeyNameCase{"F1", 0x3B00}, KeyNameCase{"F3", 0x3D00},
                                           KeyNameCase{"F10", 0x4400}, KeyNameCase{"F11", 0x8500},
                                           KeyNameCase{"f12", 0x8600}, KeyNameCase{"Esc", 0x011B},
                                           KeyNameCase{"n", 'N'}, KeyNameCase{"F13", std::nullopt},
                                           KeyNameCase{"F0", std::nullopt}, KeyNameCase{"Enter", std::nullopt},
                                           KeyNameCase{"", std::nullopt}));

// The plug-in's own form as the host receives it, read like any other.
TEST(FormParser, ReadsThePluginsOptionsForm) {
    HostConfig config;
    config.dialogKeys = {"Esc"};
    testing::LoadedHost host(config);
    ASSERT_EQ(host.pluginInit(), 0);
    host.pluginConfigure(0);
    ASSERT_EQ(host.dialogs().size(), 1u);
    const Form form = parseForm(host.dialogs()[0].form);
    EXPECT_EQ(form.size(), 1009u);
    EXPECT_EQ(form.window.id, 20110);
    EXPECT_EQ(shownLabel(form.window.label), "Łączenie pozycji");
    ASSERT_EQ(form.items.size(), 21u);
    const std::size_t offsets[21] = {45,  130, 179, 234, 278, 322, 371, 449, 484, 520, 556,
                                     588, 621, 659, 720, 777, 840, 887, 908, 953, 982};
    std::string types;
    for (std::size_t i = 0; i < 21; ++i) {
        EXPECT_EQ(form.items[i].offset, offsets[i]) << "item " << i + 1;
        types += "BRCT"[form.items[i].type];
    }
    EXPECT_EQ(types, "TCCCCCTCCCCCCTRRRTCBB") << "T text, C check box, R radio button, B button";
    EXPECT_EQ(shownLabel(form.items[18].label), "F11 Łącz towary ważone");
}

}  // namespace
}  // namespace korpus
