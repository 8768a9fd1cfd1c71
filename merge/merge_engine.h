// The merge: every line of a document that matches an earlier line is folded
// into it and removed, the lines behind it moving up.
#pragma once

#include <cstdint>

#include "merge/records.h"

namespace scalarka {

// The document's approval bit, set while the host withdraws the approval.
inline constexpr std::uint16_t approvalWithdrawalFlag = 0x400;

// Has the host withdraw the approval of the current document of table 44.
// Returns 0 when the withdrawal ran, 1 when there was no document (after
// telling the user).
std::int32_t withdrawApproval(std::int32_t documentKind, ItemRecord** lines, std::int32_t lineCount,
                              std::intptr_t eventArgument);

// Merges the document's matching lines in place, under the options as last
// loaded, and has the host recalculate the lines and the document. Returns 0
// when the merge ran, merged lines or not, and 1 when the approval could not
// be withdrawn and nothing was done.
//
// The host ends its line array with an empty line, which fills the place of
// every line removed. A line is removed only while the last position holds an
// empty line: otherwise moving the lines up would leave a real line twice in
// the array, so such a pair stays unmerged. A pair whose summed quantity does
// not fit in 32 bits stays unmerged as well.
//
// With weighed goods on, a line is normalised once per merge, the first time
// it is looked at: a host parser that recognises its own output would
// otherwise scale the quantity again on every pass.
std::int32_t mergeLines(std::int32_t documentKind, ItemRecord** lines, std::int32_t lineCount, DocumentRecord* document,
                        std::intptr_t eventArgument);

}  // namespace scalarka
