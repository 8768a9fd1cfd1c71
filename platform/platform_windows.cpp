#include <windows.h>

#include "platform/platform.h"

namespace scalarka {

ModuleHandle platformFindModule(const char* name) { return GetModuleHandleA(name); }

std::uint32_t platformModuleFileName(ModuleHandle module, char* buffer, std::uint32_t size) {
    if (size == 0) {
        return 0;
    }
    DWORD length = GetModuleFileNameA(static_cast<HMODULE>(module), buffer, size);
    // A path that does not fit is cut by the system, which on older systems
    // leaves it unterminated: terminate it here in every case.
    if (length >= size) {
        length = size - 1;
    }
    buffer[length] = '\0';
    return length;
}

CodeAddress platformFindExport(ModuleHandle module, const char* identifier) {
    return reinterpret_cast<CodeAddress>(GetProcAddress(static_cast<HMODULE>(module), identifier));
}

bool platformDebuggerPresent() { return IsDebuggerPresent() != FALSE; }

void platformDebugOutput(const char* text) { OutputDebugStringA(text); }

}  // namespace scalarka
