#include "tests/plugin/host_table_state.h"

#include <algorithm>
#include <array>
#include <iterator>

#include "host/host_table.h"

namespace scalarka::testing {
namespace {

// Taken when the test program starts, before any test has bound an entry.
const std::array<HostEntry, hostEntryCount> unboundTable = [] {
    std::array<HostEntry, hostEntryCount> copy{};
    std::copy(std::begin(hostFunctionTable), std::end(hostFunctionTable), copy.begin());
    return copy;
}();

}  // namespace

void restoreUnboundHostTable() {
    std::copy(unboundTable.begin(), unboundTable.end(), std::begin(hostFunctionTable));
    missingOrdinals = {};
    hostModule = nullptr;
}

}  // namespace scalarka::testing
