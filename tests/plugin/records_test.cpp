// The host's line and document records, byte for byte: the host writes the
// bytes, the plug-in reads the fields, so both must meet at the same offsets
// in the same byte order, odd offsets included.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "merge/records.h"
#include "tests/plugin/test_document.h"

namespace scalarka {
namespace {

using testing::differingOffsets;
using testing::field;

// A line as the host would lay it out: bytes at offsets.
struct HostBytes {
    unsigned char bytes[sizeof(ItemRecord)] = {};
    void put(std::size_t offset, std::initializer_list<unsigned char> values) {
        std::memcpy(bytes + offset, values.begin(), values.size());
    }
    ItemRecord line() const {
        ItemRecord record;
        std::memcpy(&record, bytes, sizeof record);
        return record;
    }
};

TEST(ItemRecordLayout, FieldsReadTheHostsBytesAtTheirOffsetsLittleEndian) {
    HostBytes host;
    host.put(2, {'C', 'h', 'l', 'e', 'b', 0});
    host.put(123, {'C', 'H', '-', '1', 0});
    host.put(140, {0x78, 0x56, 0x34, 0x12});
    host.put(166, {0x66, 0x01});
    host.put(184, {0x84, 0x01, 0x84, 0x81});
    host.put(204, {0, 0, 0, 0, 0, 0, 0xF8, 0x3F});  // 1.5
    host.put(216, {'5', '9', '0', 0});
    host.put(338, {0, 0, 0, 0, 0, 0, 0x0C, 0x40});  // 3.5
    host.put(509, {0x09, 0x05});
    host.put(511, {0x11, 0x05});

    const ItemRecord line = host.line();

    EXPECT_STREQ(line.name, "Chleb");
    EXPECT_STREQ(line.symbol, "CH-1");
    EXPECT_EQ(field(line.quantity), 0x12345678);
    EXPECT_EQ(field(line.key166), 0x0166);
    EXPECT_EQ(field(line.key184), 0x81840184u);
    EXPECT_EQ(field(line.price), 1.5);
    EXPECT_STREQ(line.index, "590");
    EXPECT_EQ(field(line.secondPrice), 3.5);
    EXPECT_EQ(field(line.key509), 0x0509);
    EXPECT_EQ(field(line.key511), 0x0511);
}

TEST(ItemRecordLayout, WritingAFieldChangesOnlyItsOwnBytes) {
    HostBytes host;
    ItemRecord line = host.line();
    const ItemRecord before = line;

    line.quantity = -1;
    EXPECT_EQ(differingOffsets(line, before), (std::vector<int>{140, 141, 142, 143}));
    line = before;
    line.symbol[0] = 'X';
    line.symbol[16] = 'Y';
    EXPECT_EQ(differingOffsets(line, before), (std::vector<int>{123, 139}));
    line = before;
    line.secondPrice = -2.0;
    EXPECT_EQ(differingOffsets(line, before), (std::vector<int>{345}));  // the sign and exponent byte
}

TEST(ItemRecordLayout, MovingALineCopiesAllItsBytes) {
    ItemRecord source = testing::goods('S', 7);
    ItemRecord destination = testing::goods('D', 9);
    source.hostData0[0] = 0x11;
    source.hostData0[1] = 0x22;
    source.hostData513[0] = 0x33;
    source.hostData513[1] = 0x44;

    moveLine(destination, source);

    EXPECT_EQ(differingOffsets(destination, source), std::vector<int>{});
    const auto* bytes = reinterpret_cast<const unsigned char*>(&destination);
    EXPECT_EQ(bytes[0], 0x11);
    EXPECT_EQ(bytes[1], 0x22);
    EXPECT_EQ(bytes[513], 0x33);
    EXPECT_EQ(bytes[514], 0x44);
}

struct EmptyCase {
    const char* name;
    std::uint16_t key511;
    std::int32_t quantity;
    bool empty;
};

using testing::PrintTo;

class EmptyLine : public ::testing::TestWithParam<EmptyCase> {};

TEST_P(EmptyLine, IsNoKeyAndNoQuantityWhateverTheTexts) {
    ItemRecord line = testing::goods('A', GetParam().quantity);
    line.key511 = GetParam().key511;
    EXPECT_EQ(isEmptyLine(line), GetParam().empty);
}

INSTANTIATE_TEST_SUITE_P(Lines, EmptyLine,
                         ::testing::Values(EmptyCase{"NoKeyNoQuantity", 0, 0, true},
                                           EmptyCase{"NoKeyWithQuantity", 0, 5, false},
                                           EmptyCase{"NoKeyNegativeQuantity", 0, -1, false},
                                           EmptyCase{"KeyWithoutQuantity", 7, 0, false},
                                           EmptyCase{"KeyHighBitOnly", 0x8000, 0, false}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(DocumentRecordLayout, FlagWordIsTheTwoBytesAt403) {
    unsigned char bytes[sizeof(DocumentRecord)] = {};
    bytes[403] = 0x34;
    bytes[404] = 0x12;
    DocumentRecord document;
    std::memcpy(&document, bytes, sizeof document);

    EXPECT_EQ(field(document.documentFlags), 0x1234);
}

}  // namespace
}  // namespace scalarka
