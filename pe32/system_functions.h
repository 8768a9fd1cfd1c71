// The system libraries' functions this runner implements itself, by library.
//
// Code compiled for Windows calls them with the stack aligned to 4 bytes
// only, so each one realigns it on entry; the Win32 functions pop their own
// arguments (stdcall), the C runtime's leave that to the caller (cdecl).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#define PE32_WINAPI __attribute__((stdcall, force_align_arg_pointer))
#define PE32_CRTAPI __attribute__((cdecl, force_align_arg_pointer))

namespace pe32 {

struct SystemExport {
    const char* name;
    const void* address;  // a function, or a variable for data imports
};

struct SystemLibrary {
    std::string fileName;
    std::span<const SystemExport> exports;

    const void* find(std::string_view name) const {
        for (const SystemExport& entry : exports) {
            if (name == entry.name) {
                return entry.address;
            }
        }
        return nullptr;
    }
};

std::span<const SystemExport> kernel32Exports();
std::span<const SystemExport> msvcrtExports();
std::span<const SystemLibrary> systemLibraries();

// Every thread's last-error value lives in its TEB, where Windows keeps it.
void setLastError(std::uint32_t error);

template <typename Function>
const void* exported(Function* function) {
    return reinterpret_cast<const void*>(function);
}

}  // namespace pe32
