#include "tests/plugin/fake_platform.h"

#include <algorithm>

#include "host/host_table.h"

#if !defined(_WIN32)
#include <cstring>

#include "platform/linux_host.h"
#endif

namespace scalarka::testing {

FakePlatform& fakePlatform() {
    static FakePlatform platform;
    return platform;
}

void* fakeHostModule() {
    static char module;
    return &module;
}

void FakePlatform::exportTable(const std::vector<std::uint16_t>& except) {
    exports.clear();
    for (const HostEntry& entry : hostFunctionTable) {
        if (std::find(except.begin(), except.end(), entry.ordinal) == except.end()) {
            exports[entry.ordinal] = reinterpret_cast<CodeAddress>(std::uintptr_t{0x100000} + entry.ordinal);
        }
    }
}

}  // namespace scalarka::testing

#if !defined(_WIN32)
namespace {

using scalarka::testing::fakePlatform;

void* findModule(const char* name) {
    return std::strcmp(name, "KORPUS") == 0 ? scalarka::testing::fakeHostModule() : nullptr;
}

void (*findExport(void* module, const char* identifier))() {
    const auto value = reinterpret_cast<std::uintptr_t>(identifier);
    if (module != scalarka::testing::fakeHostModule() || value > 0xFFFF) {
        return nullptr;
    }
    const auto found = fakePlatform().exports.find(static_cast<std::uint16_t>(value));
    return found != fakePlatform().exports.end() ? found->second : nullptr;
}

int debuggerPresent() { return fakePlatform().debuggerAttached ? 1 : 0; }
void debugOutput(const char* text) { fakePlatform().debugOutput.emplace_back(text); }

const scalarka::LinuxPlatformHost fakeHost = {findModule, findExport, debuggerPresent, debugOutput};

}  // namespace

extern "C" __attribute__((visibility("default"))) const scalarka::LinuxPlatformHost* scalarkaLinuxHost() {
    return &fakeHost;
}
#endif
