// The options form as the host reads it: the block's header, the chain of
// records from the window to the last item, and the bytes of a few records.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "emulator/core/text.h"
#include "options/options_form.h"

namespace scalarka {
namespace {

const std::uint8_t* formBytes() { return optionsForm.bytes; }

std::uint16_t read16(std::size_t at) {
    return static_cast<std::uint16_t>(formBytes()[at] | (formBytes()[at + 1] << 8));
}

// Walks the form as the host does: from offset 8, each record 20 bytes and
// then its label up to and including the NUL. Stops at the block's end.
std::vector<std::size_t> walkRecords() {
    std::vector<std::size_t> starts;
    std::size_t at = 8;
    while (at < optionsFormSize) {
        starts.push_back(at);
        at += sizeof(FormItem);
        while (at < optionsFormSize && formBytes()[at] != 0) {
            ++at;
        }
        ++at;
    }
    starts.push_back(at);
    return starts;
}

std::string hex(const std::uint8_t* bytes, std::size_t size) {
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02X", bytes[i]);
        text += (i == 0 ? "" : " ") + std::string(byte);
    }
    return text;
}

TEST(OptionsForm, HeaderGivesTheSizesAndTheItemCount) {
    EXPECT_EQ(hex(formBytes(), 8), "ED 03 00 00 E9 03 15 00") << "1005, 1001 and 21, little-endian";
}

TEST(OptionsForm, WalkingFromTheWindowVisitsTwentyTwoRecordsAndEndsAtTheBlocksEnd) {
    const std::vector<std::size_t> starts = walkRecords();
    ASSERT_EQ(starts.size(), 23u) << "the window, 21 items, and the end";
    EXPECT_EQ(starts.back(), 1009u);
    for (std::size_t i = 0; i + 1 < starts.size(); ++i) {
        EXPECT_EQ(starts[i], optionsFormRecordOffsets[i]) << "record " << i << " (0 is the window)";
    }
}

TEST(OptionsForm, SlotEndsExactlyWhereTheFormBegins) {
    const auto slotEnd = reinterpret_cast<std::uintptr_t>(&formHandlerSlot) + sizeof(CodeAddress);
    EXPECT_EQ(slotEnd, reinterpret_cast<std::uintptr_t>(&optionsForm));
    EXPECT_EQ(sizeof(CodeAddress), sizeof(void*)) << "the slot is as wide as a code pointer";
}

// Flags as the host sees them: 0x0002 (forced on) on the three fixed
// attributes only, 0x0800 on the separator only, 0x8000 on OK only.
TEST(OptionsForm, FlagBitsMarkOnlyTheirItems) {
    const std::vector<std::size_t> starts = walkRecords();
    std::vector<int> fixedItems, separators, defaultButtons;
    for (int item = 1; item <= 21; ++item) {
        const std::uint16_t flags = read16(starts[static_cast<std::size_t>(item)] + 4);
        if (flags & 0x0002)
            fixedItems.push_back(item);
        if (flags & 0x0800)
            separators.push_back(item);
        if (flags & 0x8000)
            defaultButtons.push_back(item);
    }
    EXPECT_EQ(fixedItems, (std::vector<int>{11, 12, 13}));
    EXPECT_EQ(separators, (std::vector<int>{18}));
    EXPECT_EQ(defaultButtons, (std::vector<int>{20}));
}

struct RecordCase {
    const char* name;
    std::size_t record;     // 0 the window, then items 1 to 21
    const char* fixedPart;  // the 20 bytes, in hex
    std::string labelUtf8;  // control bytes as they are
};

class OptionsFormRecord : public ::testing::TestWithParam<RecordCase> {};

TEST_P(OptionsFormRecord, HasTheExactBytes) {
    const RecordCase& c = GetParam();
    const std::size_t at = optionsFormRecordOffsets[c.record];
    EXPECT_EQ(hex(formBytes() + at, sizeof(FormItem)), c.fixedPart);
    const char* label = reinterpret_cast<const char*>(formBytes() + at + sizeof(FormItem));
    EXPECT_EQ(std::string(label), korpus::toMazovia(c.labelUtf8)) << "shown: " << korpus::traceText(label);
}

INSTANTIATE_TEST_SUITE_P(
    Records, OptionsFormRecord,
    ::testing::Values(
        RecordCase{"Window", 0, "FF FF 8E 4E 00 00 00 00 00 00 00 00 43 00 18 00 00 00 00 00", "Łączenie pozycji"},
        RecordCase{"FirstHeading", 1, "03 00 FF FF 00 00 00 00 03 00 02 00 40 00 01 00 00 00 00 00",
                   "Na jakich dokumentach ma działać łączenie takich samych towarów:"},
        RecordCase{"VatInvoicesOnF3", 2, "02 00 00 3D 00 04 00 3D 03 00 03 00 3C 00 01 00 00 00 00 00",
                   "\x05"
                   "F3\x01 Faktury sprzedaży (VAT)"},
        RecordCase{"NameOnLetterN", 8, "02 00 FF FF 00 04 4E 00 03 00 0A 00 20 00 01 00 00 00 01 00", "~N~azwa towaru"},
        RecordCase{"FixedPrice", 11, "02 00 FF FF 02 04 00 00 23 00 0A 00 1C 00 01 00 00 00 00 00", "Cena towaru"},
        RecordCase{"PrintTriggerOnF10", 17, "01 00 00 44 00 04 00 44 03 00 11 00 3C 00 01 00 00 00 00 00",
                   "\x05"
                   "F10\x01 Przed wydrukiem (F3)"},
        RecordCase{"Separator", 18, "03 00 FF FF 00 08 00 00 01 00 01 00 01 00 01 00 00 00 00 00", ""},
        RecordCase{"WeighedGoodsOnF11", 19, "02 00 00 85 00 01 00 85 03 00 13 00 3C 00 01 00 00 00 04 00",
                   "\x05"
                   "F11\x01 Łącz towary ważone"},
        RecordCase{"OkOnF12", 20, "00 00 01 50 04 80 00 86 17 00 15 00 08 00 01 00 00 00 00 00",
                   "\x05"
                   "F12\x01 OK"},
        RecordCase{"Cancel", 21, "00 00 02 50 00 00 00 00 23 00 15 00 08 00 01 00 00 00 00 00", "Anuluj"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

}  // namespace
}  // namespace scalarka
