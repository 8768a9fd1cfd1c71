// The one function of KORPUS.dll that is not a service: the host program
// calls it (ordinal 1) right after loading the module, with the lookup of its
// services by ordinal.
#include <cstdint>

using CodeAddress = void (*)();

struct SlotEntry {
    std::uint64_t ordinal;
    CodeAddress* slot;
};

extern "C" const SlotEntry korpusSlotTable[];
extern "C" const SlotEntry korpusSlotTableEnd[];

extern "C" void korpusInstall(CodeAddress (*lookup)(std::uint16_t ordinal)) {
    for (const SlotEntry* entry = korpusSlotTable; entry != korpusSlotTableEnd; ++entry) {
        *entry->slot = lookup(static_cast<std::uint16_t>(entry->ordinal));
    }
}
