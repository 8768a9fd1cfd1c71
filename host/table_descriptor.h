// The host's descriptor of one of its tables, as far as the plug-in uses it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace scalarka {

struct ItemRecord;

// The host's table event handler: eleven pointer-wide arguments (the event code
// first, then the document kind, the address of the line count, the line array
// and seven values of the host's) and a 32-bit result. Integers travel whole in
// their slots so that a handler we call on hands them on exactly as received.
using TableEventHandler = std::int32_t (*)(std::intptr_t eventCode, std::intptr_t documentKind, std::int32_t* lineCount,
                                           ItemRecord** lines, std::intptr_t arg5, std::intptr_t eventArgument,
                                           std::intptr_t arg7, std::intptr_t arg8, std::intptr_t arg9,
                                           std::intptr_t arg10, std::intptr_t arg11);

// The host owns the descriptor and keeps it at one address for as long as the
// plug-in's hook sits in it; the plug-in reads and writes three fields in place.
// Everything else is the host's and is only reserved here.
struct TableDescriptor {
    std::uint8_t hostHead[6];
    std::int16_t recordSize;
    void* currentRecord;
    std::uint8_t hostMiddle[104 - 8 - sizeof(void*)];
    TableEventHandler eventHandler;
};

static_assert(offsetof(TableDescriptor, recordSize) == 6);
static_assert(offsetof(TableDescriptor, currentRecord) == 8);
static_assert(offsetof(TableDescriptor, eventHandler) == 104);

// Table numbers the plug-in asks the host for.
inline constexpr std::int32_t documentTable = 44;  // Tspr, sales document headers
inline constexpr std::int32_t lineTable = 45;      // Tspr_dok, sales document lines

// Record sizes this build of the plug-in is laid out for.
inline constexpr std::int32_t documentRecordSize = 1469;
inline constexpr std::int32_t lineRecordSize = 515;

}  // namespace scalarka
