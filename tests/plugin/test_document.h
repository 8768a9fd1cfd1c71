// Documents for the merge tests: lines of the host's layout, told apart by a
// label letter that they carry in the bytes the plug-in does not interpret
// (so it travels with the line when the line moves).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "merge/records.h"

namespace scalarka::testing {

// A line of goods: every key alike, the price 1.0 unless given, name
// "Chleb", symbol "CH-1", index "5901234". Lines made with the same
// arguments but the label match each other.
ItemRecord goods(char label, std::int32_t quantity, double price = 1.0);
// An empty line (no key511, no quantity) that still carries texts.
ItemRecord emptyLine(char label);

char labelOf(const ItemRecord& line);

// A field of a packed record, by value: test macros bind references, which a
// field at an unaligned offset does not allow.
template <typename T>
T field(T value) {
    return value;
}

struct TestDocument {
    std::vector<ItemRecord> records;
    std::vector<ItemRecord*> lines;
    DocumentRecord document{};

    TestDocument(std::initializer_list<ItemRecord> initial);
    explicit TestDocument(std::vector<ItemRecord> initial);
    TestDocument(const TestDocument& other);
    TestDocument& operator=(const TestDocument&) = delete;

    std::int32_t count() const { return static_cast<std::int32_t>(lines.size()); }
    ItemRecord** array() { return lines.data(); }
    // Registers the lines and the document with the fake host's log.
    void name();
};

// The lines as "label:quantity", in array order: "A:15 X:2 E:0 E:0".
std::string layout(const TestDocument& document);

// Table cases with a name print as that name in failure messages (bring it
// into the test's namespace with a using-declaration).
template <typename Case>
requires requires(const Case& c) { c.name; }
void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

// Offsets at which two lines differ, for failure messages.
std::vector<int> differingOffsets(const ItemRecord& left, const ItemRecord& right);

}  // namespace scalarka::testing
