// The plug-in's outer shell: who it is, the entry points the host drives it
// through, and the hook it puts on the host's line table.
#pragma once

#include <cstdint>

#include "host/mazovia.h"
#include "host/table_descriptor.h"
#include "platform/platform.h"

namespace scalarka {

// The host's callback, given to pluginInit (and first looked up as the host's
// export 30006). It takes two integers.
using HostCallback = std::int32_t (*)(std::int32_t, std::int32_t);

// What pluginConfigure runs once the plug-in has attached.
using ConfigureHandler = std::int32_t (*)(std::int32_t);

// The title the host shows for the plug-in: 44 characters, 45 bytes with NUL.
inline constexpr const auto& pluginTitle = mazovia<u8"Łączenie takich samych pozycji na dokumencie">;
static_assert(sizeof(pluginTitle) == 45);

inline constexpr std::uint32_t ownPathSize = 300;

extern ModuleHandle ownModule;
extern char ownPath[ownPathSize];
extern const char* ownBaseName;
extern HostCallback hostCallback;
extern ConfigureHandler configureHandler;
extern TableDescriptor* hookedDescriptor;
extern TableEventHandler previousLineHandler;

// The loader's notification: records the module's identity and finds the
// host. Returns 1 always. Reason 1 is the process attach.
std::int32_t rawDllMain(ModuleHandle module, std::uint32_t reason, void* reserved);

// The text after the last backslash, then after the last forward slash.
const char* baseFileName(const char* path);

// Non-zero installs the hook on the line table, 0 removes it. 0 or -1.
std::int32_t installLineHook(std::int32_t install);

// Everything the loader does for the library on process attach, in order:
// the attach routine, then the binding pass of the host functions.
void attachLibrary(ModuleHandle module);

}  // namespace scalarka

// The four entry points, exported by ordinal: 30001, 30008, 30009, 30010.
extern "C" {
std::int32_t pluginInit(scalarka::HostCallback callback, char* titleBuffer);
std::int32_t pluginStart(std::int32_t mode);
std::int32_t pluginExtra();
std::int32_t pluginConfigure(std::int32_t argument);
}
