// The checks that decide whether this host is the one the plug-in was built
// for, and the report that tells the user why the plug-in is not running.
#pragma once

#include <cstdint>

namespace scalarka {

// One table's record size as the plug-in expects it and as the host has it.
struct RecordSizeCheck {
    std::int32_t expectedSize;
    std::int32_t hostSize;  // 0 when the host has no such table
    const char* tableName;
    RecordSizeCheck* next;
};

// Mismatches in the order first found. Only ever grows while loaded.
extern RecordSizeCheck* sizeMismatchList;

// Bits of host features the plug-in needs and the host lacks. All set at load;
// the host clears what it has before it asks for the report. The plug-in only
// reads it.
extern volatile std::uint32_t unsupportedFeatures;

// Checks Tspr and Tspr_dok; returns how many mismatches are listed in all.
std::int32_t checkRecordSizes();

// The line table as installLineHook found it, when it could not hook it.
void noteLineTableMismatch(std::int32_t hostSize);

// 0 when the handshake, the interface version and the record sizes all agree
// now, -1 otherwise.
std::int32_t recheckHost();

// Shows the one message that explains why the plug-in is not running.
void startupReport();

inline constexpr std::uint32_t reportBufferSize = 3072;
inline constexpr std::uint32_t numberListSize = 256;

// The text of the report's message, and the missing ordinals as listed in it.
extern char reportBuffer[reportBufferSize];
extern char numberList[numberListSize];

// Writes the missing-functions message into `buffer` (reportBufferSize bytes)
// and returns how many lookups failed; 0 leaves the buffer empty. Sorts the
// recorded ordinals in place, in descending order.
std::uint32_t describeMissingOrdinals(char* buffer);

// Writes the record-size message into `buffer` (reportBufferSize bytes):
// -1 when a mismatch is listed, 0 and an empty buffer when none is.
std::int32_t describeRecordSizes(char* buffer);

}  // namespace scalarka
