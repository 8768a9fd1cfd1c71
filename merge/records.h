// The host's document and document-line records, byte for byte.
//
// The host lends these records to the plug-in for one table event and the
// plug-in works on them in place, so their layout is an interface with the
// host: packed, little-endian, every offset fixed, including the bytes the
// plug-in does not interpret (they travel with a line when it moves).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace scalarka {

#pragma pack(push, 1)

// One line of Tspr_dok, 515 bytes.
struct ItemRecord {
    std::uint8_t hostData0[2];
    char name[121];   // goods name
    char symbol[17];  // goods symbol, at most 16 characters
    std::int32_t quantity;
    std::uint8_t hostData144[22];
    std::uint16_t key166;
    std::uint8_t hostData168[16];
    std::uint32_t key184;
    std::uint8_t hostData188[16];
    double price;
    std::uint8_t hostData212[4];
    char index[122];  // goods index
    double secondPrice;
    std::uint8_t hostData346[163];
    std::uint16_t key509;
    std::uint16_t key511;
    std::uint8_t hostData513[2];
};

// One record of Tspr, 1469 bytes; the plug-in touches only the flag word.
struct DocumentRecord {
    std::uint8_t hostData0[403];
    std::uint16_t documentFlags;
    std::uint8_t hostData405[1469 - 405];
};

#pragma pack(pop)

static_assert(sizeof(ItemRecord) == 515);
static_assert(offsetof(ItemRecord, name) == 2);
static_assert(offsetof(ItemRecord, symbol) == 123);
static_assert(offsetof(ItemRecord, quantity) == 140);
static_assert(offsetof(ItemRecord, key166) == 166);
static_assert(offsetof(ItemRecord, key184) == 184);
static_assert(offsetof(ItemRecord, price) == 204);
static_assert(offsetof(ItemRecord, index) == 216);
static_assert(offsetof(ItemRecord, secondPrice) == 338);
static_assert(offsetof(ItemRecord, key509) == 509);
static_assert(offsetof(ItemRecord, key511) == 511);
static_assert(sizeof(DocumentRecord) == 1469);
static_assert(offsetof(DocumentRecord, documentFlags) == 403);
static_assert(sizeof(double) == 8 && sizeof(float) == 4, "records hold IEEE 754 doubles");

// The host ends its line array with empty lines: no key511 and no quantity.
// Texts do not matter.
inline bool isEmptyLine(const ItemRecord& line) { return line.key511 == 0 && line.quantity == 0; }

// Lines move whole, with every byte the host keeps in them.
inline void moveLine(ItemRecord& destination, const ItemRecord& source) {
    std::memmove(&destination, &source, sizeof(ItemRecord));
}

}  // namespace scalarka
