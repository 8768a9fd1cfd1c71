// How a Linux program that hosts the plug-in offers it the services Windows
// would: the host exports one C function under the name below, and the plug-in
// finds it at run time in the global symbol scope, the way it would find a
// loaded module by name on Windows. The plug-in never links against the host.
#pragma once

#include <cstdint>

namespace scalarka {

struct LinuxPlatformHost {
    void* (*findModule)(const char* name);
    void (*(*findExport)(void* module, const char* identifier))();
    int (*debuggerPresent)();
    void (*debugOutput)(const char* text);
};

}  // namespace scalarka

extern "C" {
// Implemented by the host program and exported from its executable.
using ScalarkaLinuxHostFn = const scalarka::LinuxPlatformHost*();
}

inline constexpr const char scalarkaLinuxHostSymbol[] = "scalarkaLinuxHost";
