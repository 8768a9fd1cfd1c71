#include "tests/plugin/test_document.h"

#include <cstring>

#include "tests/plugin/fake_host.h"

namespace scalarka::testing {
namespace {

// Host bytes of a line: a pattern of its own for each label, end to end.
void fillHostBytes(ItemRecord& line, char label) {
    auto* bytes = reinterpret_cast<unsigned char*>(&line);
    for (std::size_t i = 0; i < sizeof line; ++i) {
        bytes[i] = static_cast<unsigned char>(i * 13 + static_cast<unsigned char>(label));
    }
    line.hostData0[0] = static_cast<std::uint8_t>(label);
    line.hostData0[1] = static_cast<std::uint8_t>(label);
    line.hostData513[0] = static_cast<std::uint8_t>(label);
    line.hostData513[1] = static_cast<std::uint8_t>(label);
}

}  // namespace

ItemRecord goods(char label, std::int32_t quantity, double price) {
    ItemRecord line;
    fillHostBytes(line, label);
    std::strcpy(line.name, "Chleb");
    std::strcpy(line.symbol, "CH-1");
    std::strcpy(line.index, "5901234");
    line.quantity = quantity;
    line.key166 = 0x0166;
    line.key184 = 0x01840184;
    line.price = price;
    line.secondPrice = 0.0;
    line.key509 = 0x0509;
    line.key511 = 0x0511;
    return line;
}

ItemRecord emptyLine(char label) {
    ItemRecord line = goods(label, 0);
    line.key511 = 0;
    return line;
}

char labelOf(const ItemRecord& line) { return static_cast<char>(line.hostData0[0]); }

TestDocument::TestDocument(std::initializer_list<ItemRecord> initial)
    : TestDocument(std::vector<ItemRecord>(initial)) {}

TestDocument::TestDocument(std::vector<ItemRecord> initial) : records(std::move(initial)) {
    for (ItemRecord& record : records) {
        lines.push_back(&record);
    }
    // Host bytes throughout the document record, so that a stray write shows.
    static const DocumentRecord pattern = [] {
        DocumentRecord record;
        auto* bytes = reinterpret_cast<unsigned char*>(&record);
        for (std::size_t i = 0; i < sizeof record; ++i) {
            bytes[i] = static_cast<unsigned char>(i * 31 + 7);
        }
        return record;
    }();
    document = pattern;
}

TestDocument::TestDocument(const TestDocument& other) : TestDocument(other.records) { document = other.document; }

void TestDocument::name() { fakeHost().nameDocument(array(), count(), &document); }

std::string layout(const TestDocument& document) {
    std::string text;
    for (const ItemRecord* line : document.lines) {
        if (!text.empty()) {
            text += ' ';
        }
        text += labelOf(*line);
        text += ':' + std::to_string(line->quantity);
    }
    return text;
}

std::vector<int> differingOffsets(const ItemRecord& left, const ItemRecord& right) {
    std::vector<int> offsets;
    const auto* a = reinterpret_cast<const unsigned char*>(&left);
    const auto* b = reinterpret_cast<const unsigned char*>(&right);
    for (std::size_t i = 0; i < sizeof(ItemRecord); ++i) {
        if (a[i] != b[i]) {
            offsets.push_back(static_cast<int>(i));
        }
    }
    return offsets;
}

}  // namespace scalarka::testing
