#include <dlfcn.h>

#include <cstring>

#include "platform/linux_host.h"
#include "platform/platform.h"

namespace scalarka {
namespace {

// The host program's services, found by name in the process's global scope.
// Absent when the library is loaded by something that is not our host.
const LinuxPlatformHost* linuxHost() {
    void* symbol = dlsym(RTLD_DEFAULT, scalarkaLinuxHostSymbol);
    if (symbol == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<ScalarkaLinuxHostFn*>(symbol)();
}

}  // namespace

ModuleHandle platformFindModule(const char* name) {
    const LinuxPlatformHost* host = linuxHost();
    return host != nullptr && host->findModule != nullptr ? host->findModule(name) : nullptr;
}

std::uint32_t platformModuleFileName(ModuleHandle module, char* buffer, std::uint32_t size) {
    if (size == 0) {
        return 0;
    }
    // Our own module handle is the load address of this library; the dynamic
    // loader knows which file it came from.
    Dl_info info{};
    const char* path = "";
    if (dladdr(module, &info) != 0 && info.dli_fname != nullptr) {
        path = info.dli_fname;
    }
    std::size_t length = std::strlen(path);
    if (length >= size) {
        length = size - 1;
    }
    std::memcpy(buffer, path, length);
    buffer[length] = '\0';
    return static_cast<std::uint32_t>(length);
}

CodeAddress platformFindExport(ModuleHandle module, const char* identifier) {
    const LinuxPlatformHost* host = linuxHost();
    return host != nullptr && host->findExport != nullptr ? host->findExport(module, identifier) : nullptr;
}

bool platformDebuggerPresent() {
    const LinuxPlatformHost* host = linuxHost();
    return host != nullptr && host->debuggerPresent != nullptr && host->debuggerPresent() != 0;
}

void platformDebugOutput(const char* text) {
    const LinuxPlatformHost* host = linuxHost();
    if (host != nullptr && host->debugOutput != nullptr) {
        host->debugOutput(text);
    }
}

}  // namespace scalarka
