// The plug-in's options: one 8-byte record, the same in memory and in the
// data file "Scalarka.dat".
#pragma once

#include <cstddef>
#include <cstdint>

namespace scalarka {

#pragma pack(push, 1)
struct MergeOptions {
    std::uint8_t documentKinds;        // DocumentKindBit values
    std::uint8_t reserved1;            // kept as loaded
    std::uint16_t comparedAttributes;  // CompareAttribute values
    std::uint16_t triggerMode;         // TriggerMode values
    std::uint8_t weighedGoods;         // bit 0: normalise weighed goods
    std::uint8_t reserved7;            // kept as loaded
};
#pragma pack(pop)

static_assert(sizeof(MergeOptions) == 8);
static_assert(offsetof(MergeOptions, documentKinds) == 0);
static_assert(offsetof(MergeOptions, comparedAttributes) == 2);
static_assert(offsetof(MergeOptions, triggerMode) == 4);
static_assert(offsetof(MergeOptions, weighedGoods) == 6);

// Bits of documentKinds, and the host's document kind each stands for.
enum DocumentKindBit : std::uint8_t {
    VatInvoice = 0x01,           // 812
    PersonDocument = 0x02,       // 68
    ExportInvoice = 0x04,        // 808
    PendingIssue = 0x08,         // 806
    CustomerReservation = 0x10,  // 802
};

// Bits of comparedAttributes. Price, discount and VAT rate are always
// compared; only name, symbol and index are the user's choice.
enum CompareAttribute : std::uint16_t {
    CompareName = 0x0001,
    CompareSymbol = 0x0002,
    CompareIndex = 0x0004,
    ComparePrice = 0x0008,
    CompareDiscount = 0x0010,
    CompareVatRate = 0x0020,
};
inline constexpr std::uint16_t alwaysComparedAttributes = ComparePrice | CompareDiscount | CompareVatRate;

enum TriggerMode : std::uint16_t {
    TriggerOnKeyP = 0,
    TriggerBeforeApproval = 1,
    TriggerBeforePrint = 2,
};

inline constexpr std::uint8_t mergeWeighedGoods = 0x01;

// The host's file holder lives in 24 bytes of the caller's storage, aligned
// for a pointer; what it keeps inside is the host's.
struct alignas(void*) FileHolderStorage {
    unsigned char bytes[24];
};
static_assert(sizeof(FileHolderStorage) == 24);

// The options data file, a bare name: the host looks for it in its own
// current directory.
inline constexpr const char optionsFileName[] = "Scalarka.dat";

// Opens `name` through the host, shared for reading and writing by others,
// and has the host build its file holder for the result in `storage`.
// Returns the holder. The caller owns the holder and must have the host
// destroy it.
void* openOptionsFile(const char* name, const char* mode, FileHolderStorage& storage);

// The options as last loaded (all zero until then).
extern MergeOptions mergeOptions;

// Empties the record, then reads it from "Scalarka.dat". A missing file
// leaves it empty; a short file is reported and the record reset.
void loadMergeOptions();
// Writes the record to "Scalarka.dat"; a file that cannot be opened is reported.
void saveMergeOptions();

}  // namespace scalarka
