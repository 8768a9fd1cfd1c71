// The Windows process that loaded libraries see: which modules it has, what
// they export, whether a debugger listens, and the system libraries' functions
// that this runner implements itself.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pe32 {

using Procedure = void (*)();
using ModuleHandle = void*;

// Why a library could not be loaded, in words a developer can act on.
class LoadError : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
};

// A module the process has without a PE image of its own, such as the host
// program's main module: it answers lookups by name and by ordinal.
struct VirtualModule {
    std::string fileName;  // matched by GetModuleHandle, case-insensitively
    std::string path;      // what GetModuleFileName reports for it
    std::function<Procedure(std::uint16_t ordinal)> byOrdinal;
    std::function<Procedure(std::string_view name)> byName;
};

// A debugger the process may have: IsDebuggerPresent asks `present`, and
// OutputDebugString hands its text to `output`. Without them the process has
// none and debugger output goes nowhere, as on Windows.
struct Debugger {
    std::function<bool()> present;
    std::function<void(const char* text)> output;
};

class Module;

class Process {
   public:
    static Process& instance();

    // Returns the module's handle; it stays in the process until removed.
    ModuleHandle addVirtualModule(const VirtualModule& module);
    void removeModule(ModuleHandle handle);

    void setDebugger(Debugger debugger);
    bool debuggerPresent() const;
    void debugOutput(const char* text) const;

    // GetModuleHandle: a module by file name or path, case-insensitively;
    // ".dll" is supplied when the name has no extension, and a trailing dot
    // stands for "no extension". Null when there is none.
    ModuleHandle findModule(std::string_view name) const;
    // GetProcAddress: an ordinal when `identifier`'s value fits in 16 bits,
    // otherwise a name. Null when the module does not export it.
    const void* findExport(ModuleHandle module, const char* identifier) const;
    std::optional<std::string> modulePath(ModuleHandle module) const;
    bool hasModule(ModuleHandle module) const;

    // Import binding: the function a library imports from `library`.
    const void* resolveImport(std::string_view library, std::string_view name) const;
    const void* resolveImport(std::string_view library, std::uint16_t ordinal) const;

    // Requests that the runner refused at run time (a library it does not
    // load, a code page it does not know): Windows code sees an ordinary
    // failure, and a test can read why here.
    void note(std::string text);
    std::vector<std::string> notes() const;
    void clearNotes();

    // Loaded images: their memory answers VirtualQuery and VirtualProtect.
    void addImage(Module* image, ModuleHandle handle, std::string fileName, std::string path);
    void removeImage(Module* image);
    Module* imageContaining(const void* address) const;

    // Implicit TLS of loaded images: every thread gets its own copy of each
    // template, reached through its TEB.
    std::uint32_t addTlsTemplate(const std::uint8_t* data, std::size_t dataSize, std::size_t zeroFill);
    void removeTlsTemplate(std::uint32_t index);
    void threadStarted(void** blocks);
    void threadEnded(void** blocks);

   private:
    Process();

    struct Record {
        ModuleHandle handle;
        std::string fileName;
        std::string path;
        std::function<const void*(std::uint16_t)> byOrdinal;
        std::function<const void*(std::string_view)> byName;
        Module* image = nullptr;
    };
    struct TlsTemplate {
        std::vector<std::uint8_t> initial;  // data followed by the zero fill
        bool used = false;
    };

    const Record* find(ModuleHandle handle) const;

    mutable std::recursive_mutex mutex_;
    std::vector<Record> modules_;
    std::vector<std::unique_ptr<char>> virtualHandles_;
    Debugger debugger_;
    std::vector<std::string> notes_;
    std::vector<TlsTemplate> tlsTemplates_;
    std::vector<void**> threadBlocks_;
};

// The process environment block that every TEB points to.
std::uint8_t* processEnvironmentBlock();

// How a Linux path looks from inside a Windows process on this machine
// (Wine's convention: drive Z: is the root).
std::string windowsPath(const std::string& linuxPath);

}  // namespace pe32
