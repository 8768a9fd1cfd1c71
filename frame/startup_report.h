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

// Shows the one message that explains why the plug-in is not running.
void startupReport();

}  // namespace scalarka
