// The merge as a reference model for the tests: the scheme the merge is
// defined by, step for step, without any care for speed or for arrays that
// do not end with an empty line. It reads and writes the host's records at
// their byte offsets, not through the plug-in's record types, and calls the
// host through the same services as the plug-in.
#pragma once

#include <cstdint>

#include "merge/records.h"

namespace scalarka::testing::model {

// As the plug-in's mergeLines, under the options in the plug-in's record.
// Only for arrays whose last line is empty and whose quantities stay well
// inside 32 bits.
std::int32_t mergeLines(std::int32_t documentKind, ItemRecord** lines, std::int32_t lineCount, DocumentRecord* document,
                        std::intptr_t eventArgument);

}  // namespace scalarka::testing::model
