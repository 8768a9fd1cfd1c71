// The few services the plug-in takes from the operating system, behind one
// small interface. On Windows they are the system's own; on Linux they are
// offered by the emulated host that loaded the plug-in (see linux_host.h).
#pragma once

#include <cstdint>

#include "host/code_address.h"

namespace scalarka {

using ModuleHandle = void*;

// A module already loaded in the process, by name; the default library
// extension is supplied when the name has none. Null when there is none.
ModuleHandle platformFindModule(const char* name);

// The full path of a module's file, cut to `size` bytes and always
// NUL-terminated. Returns the number of characters stored.
std::uint32_t platformModuleFileName(ModuleHandle module, char* buffer, std::uint32_t size);

// An export of a module: `identifier` is an ordinal when its value fits in
// 16 bits, otherwise a function name. Null when the module does not export it.
CodeAddress platformFindExport(ModuleHandle module, const char* identifier);

bool platformDebuggerPresent();
void platformDebugOutput(const char* text);

}  // namespace scalarka
