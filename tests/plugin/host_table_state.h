// The host function table is process-wide, as in the library. Tests that bind
// it start from the state the library starts with.
#pragma once

namespace scalarka::testing {

// Puts back the table as it was before any binding (every entry at its lazy
// resolver), an empty list of missing ordinals and no host module.
void restoreUnboundHostTable();

}  // namespace scalarka::testing
