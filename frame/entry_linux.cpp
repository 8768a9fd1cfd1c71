// The library's start-up and exports on Linux.
//
// The ELF world has neither a loader notification nor ordinals. The attach
// routine and the binding pass run as the library's first initialiser, ahead
// of every other, and the four entry points are exported under names that
// carry their ordinals, which is how our Linux host looks them up.
#include <dlfcn.h>

#include "frame/lifecycle.h"
#include "frame/startup_report.h"

namespace {

__attribute__((constructor(101))) void attachOnLoad() {
    Dl_info info{};
    void* module = nullptr;
    if (dladdr(reinterpret_cast<void*>(&attachOnLoad), &info) != 0) {
        module = info.dli_fbase;
    }
    scalarka::attachLibrary(module);
}

}  // namespace

#define SCALARKA_EXPORT extern "C" __attribute__((visibility("default")))

SCALARKA_EXPORT std::int32_t ordinal_30001(scalarka::HostCallback callback, char* titleBuffer) {
    return pluginInit(callback, titleBuffer);
}
SCALARKA_EXPORT std::int32_t ordinal_30008(std::int32_t mode) { return pluginStart(mode); }
SCALARKA_EXPORT std::int32_t ordinal_30009() { return pluginExtra(); }
SCALARKA_EXPORT std::int32_t ordinal_30010(std::int32_t argument) { return pluginConfigure(argument); }

// Where a Linux host finds the word it fills before asking for the report.
SCALARKA_EXPORT volatile std::uint32_t* hostRequirements() { return &scalarka::unsupportedFeatures; }
