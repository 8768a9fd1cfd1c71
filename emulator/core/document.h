// The sales document the host is editing: its header record, its lines and
// the empty lines that end the host's line array.
#pragma once

#include <cstdint>
#include <vector>

#include "merge/records.h"

namespace korpus {

struct Document {
    std::int32_t kind = 812;  // VAT invoice
    scalarka::DocumentRecord header{};
    // The line records, the empty tail included, and the array of pointers to
    // them that the host hands to the line table's handler.
    std::vector<scalarka::ItemRecord> lines;
    std::vector<scalarka::ItemRecord*> pointers;
    std::int32_t lineCount = 0;

    // Replaces the lines and adds `emptyTail` empty lines after them.
    void setLines(const std::vector<scalarka::ItemRecord>& items, std::size_t emptyTail = 1);
};

}  // namespace korpus
