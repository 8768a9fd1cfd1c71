// Weighed-goods lines: the host's symbol parser recognises a code in the
// line's symbol that carries the goods' plain symbol, a weight and a price.
#pragma once

#include <cstdint>

#include "merge/records.h"

namespace scalarka {

// Rewrites a weighed-goods line from its symbol: the plain symbol replaces the
// code, the quantity is scaled by the weight (thousandths), the price is set
// from the parsed price, and the host recalculates the line. Returns 1 when
// the line was rewritten, 0 when it was left exactly as it was: the symbol is
// not a weighed-goods code, or the scaled quantity or price would not fit in
// the line's 32-bit fields.
std::int32_t normaliseWeighedLine(ItemRecord* line, DocumentRecord* document);

}  // namespace scalarka
