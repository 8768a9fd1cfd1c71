// A PE32 library for i386 loaded into a Linux process, as the Windows loader
// would load it: sections mapped with their protections, base relocations
// applied, imports bound to the functions this runner implements, implicit
// TLS and its callbacks, and the entry point told of attach and detach.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "pe32/process.h"
#include "pe32/thread_environment.h"

namespace pe32 {

template <typename T>
std::uint32_t bitsOf(T value) {
    if constexpr (std::is_pointer_v<T>) {
        return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(value));
    } else {
        return static_cast<std::uint32_t>(value);
    }
}

template <typename T>
T fromBits(std::uint32_t bits) {
    if constexpr (std::is_pointer_v<T>) {
        return reinterpret_cast<T>(static_cast<std::uintptr_t>(bits));
    } else {
        return static_cast<T>(bits);
    }
}

inline constexpr std::uint32_t dllProcessDetach = 0;
inline constexpr std::uint32_t dllProcessAttach = 1;

class Module {
   public:
    // Loads the library at `path`. Throws LoadError naming what is wrong:
    // the file, its format, a relocation, every import this runner does not
    // provide, or an entry point that refused the attach.
    static std::unique_ptr<Module> load(const std::filesystem::path& path);
    // Tells the TLS callbacks and the entry point of the detach, then unmaps.
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    ModuleHandle handle() const { return base_; }
    std::uintptr_t base() const { return reinterpret_cast<std::uintptr_t>(base_); }
    std::uint32_t imageSize() const { return imageSize_; }
    std::uintptr_t preferredBase() const { return preferredBase_; }
    const std::filesystem::path& path() const { return path_; }

    // An exported function by ordinal; null for an empty slot or an ordinal
    // outside the export table.
    Procedure exportByOrdinal(std::uint16_t ordinal) const;
    Procedure exportByName(std::string_view name) const;
    const void* exportAddress(std::uint16_t ordinal) const;
    const void* exportAddress(std::string_view name) const;

    // The start of a section by its name, null when there is none.
    void* section(std::string_view name) const;
    std::uint32_t sectionSize(std::string_view name) const;

    // The Windows protection (PAGE_*) of the page holding `address`, and a
    // change of it for a range (VirtualQuery, VirtualProtect).
    std::uint32_t pageProtection(const void* address) const;
    // The length of the run of pages from `address` that share its protection.
    std::uint32_t regionSize(const void* address) const;
    bool protect(const void* address, std::uint32_t size, std::uint32_t protection, std::uint32_t* previous);

   private:
    struct Section {
        std::string name;
        std::uint32_t rva;
        std::uint32_t size;
        std::uint32_t characteristics;
    };

    explicit Module(std::filesystem::path path);
    void map(const std::vector<std::uint8_t>& file);
    void relocate();
    void bindImports();
    void applyProtections();
    void setUpTls();
    void callTlsCallbacks(std::uint32_t reason);
    bool callEntryPoint(std::uint32_t reason, void* reserved);
    void detach();
    void unmap();

    template <typename T>
    T* at(std::uint32_t rva, std::uint32_t count = 1) const;
    const char* stringAt(std::uint32_t rva) const;

    std::filesystem::path path_;
    void* base_ = nullptr;
    std::uint32_t imageSize_ = 0;
    std::uintptr_t preferredBase_ = 0;
    std::uint32_t entryRva_ = 0;
    std::uint16_t fileCharacteristics_ = 0;
    std::uint32_t ntHeadersRva_ = 0;
    std::vector<Section> sections_;
    std::vector<std::uint32_t> pageProtections_;
    std::optional<std::uint32_t> tlsIndex_;
    bool attached_ = false;
    bool registered_ = false;
    void* unwindInfo_ = nullptr;
};

extern "C" std::uint32_t pe32CallWindows(Procedure procedure, const std::uint32_t* arguments, std::uint32_t count);

// Calls code of a loaded library the way a Windows host may: %fs holds the
// thread's TEB, the x87 unit runs at extended precision, and the stack is
// aligned to 4 bytes only (windows_call.S). Arguments and result are 32-bit
// values, as in every call between the host and the plug-in.
template <typename Result, typename... Arguments>
Result callWindows(Procedure procedure, Arguments... arguments) {
    static_assert(((sizeof(Arguments) == 4) && ...), "every argument is a 32-bit value");
    static_assert(std::is_void_v<Result> || sizeof(std::conditional_t<std::is_void_v<Result>, int, Result>) == 4,
                  "the result is a 32-bit value");
    const std::uint32_t words[] = {0u, bitsOf(arguments)...};
    WindowsThreadScope scope;
    [[maybe_unused]] const std::uint32_t result = pe32CallWindows(procedure, words + 1, sizeof...(Arguments));
    if constexpr (!std::is_void_v<Result>) {
        return fromBits<Result>(result);
    }
}

// cdecl and stdcall differ only in who pops the arguments, which the call
// above does not depend on.
template <typename Result, typename... Arguments>
Result callCdecl(Procedure procedure, Arguments... arguments) {
    return callWindows<Result>(procedure, arguments...);
}

template <typename Result, typename... Arguments>
Result callStdcall(Procedure procedure, Arguments... arguments) {
    return callWindows<Result>(procedure, arguments...);
}

}  // namespace pe32
