#include "host/host_table.h"

#include <cstdio>

// The lazy resolvers, one per entry, written in assembly (lazy_resolvers_*.S)
// because they must leave the interrupted call exactly as it was.
#define SCALARKA_DECLARE_RESOLVER(n) extern "C" void hostLazyResolver##n();
SCALARKA_DECLARE_RESOLVER(0)
SCALARKA_DECLARE_RESOLVER(1)
SCALARKA_DECLARE_RESOLVER(2)
SCALARKA_DECLARE_RESOLVER(3)
SCALARKA_DECLARE_RESOLVER(4)
SCALARKA_DECLARE_RESOLVER(5)
SCALARKA_DECLARE_RESOLVER(6)
SCALARKA_DECLARE_RESOLVER(7)
SCALARKA_DECLARE_RESOLVER(8)
SCALARKA_DECLARE_RESOLVER(9)
SCALARKA_DECLARE_RESOLVER(10)
SCALARKA_DECLARE_RESOLVER(11)
SCALARKA_DECLARE_RESOLVER(12)
SCALARKA_DECLARE_RESOLVER(13)
SCALARKA_DECLARE_RESOLVER(14)
SCALARKA_DECLARE_RESOLVER(15)
SCALARKA_DECLARE_RESOLVER(16)
SCALARKA_DECLARE_RESOLVER(17)
SCALARKA_DECLARE_RESOLVER(18)
SCALARKA_DECLARE_RESOLVER(19)
SCALARKA_DECLARE_RESOLVER(20)
SCALARKA_DECLARE_RESOLVER(21)
SCALARKA_DECLARE_RESOLVER(22)
SCALARKA_DECLARE_RESOLVER(23)
SCALARKA_DECLARE_RESOLVER(24)
SCALARKA_DECLARE_RESOLVER(25)
SCALARKA_DECLARE_RESOLVER(26)
SCALARKA_DECLARE_RESOLVER(27)
SCALARKA_DECLARE_RESOLVER(28)
SCALARKA_DECLARE_RESOLVER(29)
SCALARKA_DECLARE_RESOLVER(30)
SCALARKA_DECLARE_RESOLVER(31)
SCALARKA_DECLARE_RESOLVER(32)
#undef SCALARKA_DECLARE_RESOLVER

namespace scalarka {

ModuleHandle hostModule = nullptr;

// Address constants only: the table is complete before any code of the
// library runs, so a call that comes before the binding pass still finds its
// resolver.
HostEntry hostFunctionTable[hostEntryCount] = {
    {30018, hostLazyResolver0},  {35802, hostLazyResolver1},  {40008, hostLazyResolver2},  {41611, hostLazyResolver3},
    {41613, hostLazyResolver4},  {30005, hostLazyResolver5},  {38417, hostLazyResolver6},  {40101, hostLazyResolver7},
    {52308, hostLazyResolver8},  {52305, hostLazyResolver9},  {52030, hostLazyResolver10}, {52470, hostLazyResolver11},
    {33197, hostLazyResolver12}, {22563, hostLazyResolver13}, {22567, hostLazyResolver14}, {22562, hostLazyResolver15},
    {52307, hostLazyResolver16}, {52026, hostLazyResolver17}, {52154, hostLazyResolver18}, {52023, hostLazyResolver19},
    {52465, hostLazyResolver20}, {52126, hostLazyResolver21}, {52331, hostLazyResolver22}, {41399, hostLazyResolver23},
    {51594, hostLazyResolver24}, {52064, hostLazyResolver25}, {52028, hostLazyResolver26}, {52256, hostLazyResolver27},
    {52534, hostLazyResolver28}, {52161, hostLazyResolver29}, {52004, hostLazyResolver30}, {52330, hostLazyResolver31},
    {52332, hostLazyResolver32},
};

MissingOrdinalList missingOrdinals = {};

namespace {

bool isOrdinal(const char* identifier) { return reinterpret_cast<std::uintptr_t>(identifier) <= 0xFFFFu; }

// Developers learn about a missing function from the debugger output; users
// learn of it from the start-up report, so nothing is written otherwise.
void tellDebugger(const char* text) {
    if (platformDebuggerPresent()) {
        platformDebugOutput(text);
    }
}

}  // namespace

CodeAddress resolveHostEntry(const char* identifier, HostEntry* entry) {
    const CodeAddress found = platformFindExport(hostModule, identifier);
    entry->target = found;
    if (found != nullptr) {
        return found;
    }
    char text[1024];
    if (isOrdinal(identifier)) {
        const auto ordinal = static_cast<std::uint16_t>(reinterpret_cast<std::uintptr_t>(identifier));
        const std::uint32_t before = missingOrdinals.missCount++;
        if (before < 8) {
            missingOrdinals.missing[before] = ordinal;
        }
        std::snprintf(text, sizeof text, "Brak funkcji o numerze %d\n", static_cast<int>(ordinal));
    } else {
        std::snprintf(text, sizeof text, "Brak funkcji o nazwie %s\n", identifier);
    }
    tellDebugger(text);
    return nullptr;
}

CodeAddress resolveHostEntry(std::uint16_t ordinal, HostEntry* entry) {
    // The platform's own spelling of an ordinal: its value in place of a name.
    return resolveHostEntry(reinterpret_cast<const char*>(static_cast<std::uintptr_t>(ordinal)), entry);
}

void bindHostFunctions() {
    for (HostEntry& entry : hostFunctionTable) {
        resolveHostEntry(entry.ordinal, &entry);
    }
}

}  // namespace scalarka

scalarka::CodeAddress hostLazyResolve(std::size_t index) {
    using namespace scalarka;
    if (index >= hostEntryCount) {
        return hostRefusal(index);
    }
    HostEntry& entry = hostFunctionTable[index];
    const CodeAddress target = resolveHostEntry(entry.ordinal, &entry);
    return target != nullptr ? target : hostRefusal(index);
}
