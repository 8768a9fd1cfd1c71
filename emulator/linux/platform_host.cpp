// What a Windows process offers a loaded library, offered by our Linux host:
// the host module "KORPUS" with its services by ordinal, and a debugger that
// a test can attach and read.
#include <strings.h>

#include "emulator/core/host.h"
#include "platform/linux_host.h"

namespace korpus {
namespace {

// The host module's handle; any unique address does.
char korpusModule;

bool namesHostModule(const char* name) {
    return name != nullptr && (strcasecmp(name, "KORPUS") == 0 || strcasecmp(name, "KORPUS.dll") == 0);
}

void* findModule(const char* name) {
    return Host::current() != nullptr && namesHostModule(name) ? &korpusModule : nullptr;
}

void (*findExport(void* module, const char* identifier))() {
    const auto value = reinterpret_cast<std::uintptr_t>(identifier);
    if (module != &korpusModule || Host::current() == nullptr || value > 0xFFFF) {
        return nullptr;  // the host exports nothing by name
    }
    return Host::current()->service(static_cast<std::uint16_t>(value));
}

int debuggerPresent() { return Host::current() != nullptr && Host::current()->config().debuggerAttached ? 1 : 0; }

void debugOutput(const char* text) {
    if (Host::current() != nullptr && text != nullptr) {
        Host::current()->debuggerOutput().emplace_back(text);
    }
}

const scalarka::LinuxPlatformHost platformHost = {findModule, findExport, debuggerPresent, debugOutput};

}  // namespace
}  // namespace korpus

extern "C" __attribute__((visibility("default"))) const scalarka::LinuxPlatformHost* scalarkaLinuxHost() {
    return &korpus::platformHost;
}
