// Loading the plug-in the way the host does on Windows: the host module
// KORPUS.dll first, then the plug-in, whose entry points are found by ordinal.
#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "emulator/core/host.h"
#include "emulator/core/plugin_module.h"

namespace korpus {
namespace {

const char* byOrdinal(std::uint16_t ordinal) { return reinterpret_cast<const char*>(std::uintptr_t{ordinal}); }

std::filesystem::path programDirectory() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::filesystem::path(std::string(path, length)).parent_path();
}

// The shells are built once per set of missing services, each in a folder
// named after the set: shells/all, shells/without-40008, ...
std::filesystem::path shellFor(const std::set<std::uint16_t>& missing) {
    std::string name = "all";
    if (!missing.empty()) {
        name = "without";
        for (const std::uint16_t ordinal : missing) {
            name += "-" + std::to_string(ordinal);
        }
    }
    return programDirectory().parent_path() / "shells" / name / "KORPUS.dll";
}

CodeAddress serviceOfCurrentHost(std::uint16_t ordinal) {
    return Host::current() != nullptr ? Host::current()->service(ordinal) : nullptr;
}

// Debugger output without a debugger: the system raises it as an exception,
// which a vectored handler sees first.
LONG CALLBACK captureDebugOutput(EXCEPTION_POINTERS* exception) {
    constexpr DWORD debugPrint = 0x40010006;  // DBG_PRINTEXCEPTION_C
    const EXCEPTION_RECORD* record = exception->ExceptionRecord;
    if (record->ExceptionCode != debugPrint || record->NumberParameters < 2) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    const auto* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
    if (Host::current() != nullptr && text != nullptr) {
        Host::current()->debuggerOutput().emplace_back(text);
    }
    return EXCEPTION_CONTINUE_EXECUTION;
}

// Whether a debugger is attached is a flag of the process environment block,
// which IsDebuggerPresent reads.
void setBeingDebugged(bool attached) {
    PROCESS_BASIC_INFORMATION information{};
    if (NtQueryInformationProcess(GetCurrentProcess(), ProcessBasicInformation, &information, sizeof information,
                                  nullptr) == 0 &&
        information.PebBaseAddress != nullptr) {
        information.PebBaseAddress->BeingDebugged = attached ? 1 : 0;
    }
}

template <typename Fn>
Fn* asFunction(FARPROC procedure) {
    // Through the generic code pointer, which converts to any function type.
    return reinterpret_cast<Fn*>(reinterpret_cast<void (*)()>(procedure));
}

// The word the plug-in keeps alone in its section ".hostreq".
volatile std::uint32_t* findHostRequirements(HMODULE module) {
    auto* base = reinterpret_cast<std::uint8_t*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        if (std::strncmp(reinterpret_cast<const char*>(section->Name), ".hostreq", IMAGE_SIZEOF_SHORT_NAME) == 0) {
            return reinterpret_cast<volatile std::uint32_t*>(base + section->VirtualAddress);
        }
    }
    return nullptr;
}

class WindowsPluginModule final : public PluginModule {
   public:
    WindowsPluginModule(Host& host, const std::filesystem::path& path) {
        const std::filesystem::path shellPath = shellFor(host.config().missingOrdinals);
        shell_ = LoadLibraryA(shellPath.string().c_str());
        if (shell_ == nullptr) {
            throw std::runtime_error("no host module built for this set of missing services: " + shellPath.string());
        }
        using InstallFn = void(CodeAddress(*)(std::uint16_t));
        auto* install = asFunction<InstallFn>(GetProcAddress(shell_, byOrdinal(1)));
        if (install == nullptr) {
            release();
            throw std::runtime_error("KORPUS.dll has no installer");
        }
        install(serviceOfCurrentHost);
        setBeingDebugged(host.config().debuggerAttached);
        debugHandler_ = AddVectoredExceptionHandler(1, captureDebugOutput);
        plugin_ = LoadLibraryA(path.string().c_str());
        if (plugin_ == nullptr) {
            const DWORD error = GetLastError();
            release();
            throw std::runtime_error("cannot load the plug-in, error " + std::to_string(error));
        }
        init_ = find<InitFn>(30001);
        start_ = find<IntFn>(30008);
        extra_ = find<ExtraFn>(30009);
        configure_ = find<IntFn>(30010);
        requirements_ = findHostRequirements(plugin_);
        if (requirements_ == nullptr) {
            release();
            throw std::runtime_error("the plug-in has no .hostreq section");
        }
    }
    ~WindowsPluginModule() override { release(); }
    WindowsPluginModule(const WindowsPluginModule&) = delete;
    WindowsPluginModule& operator=(const WindowsPluginModule&) = delete;

    std::int32_t init(PluginCallback callback, char* titleBuffer) override { return init_(callback, titleBuffer); }
    std::int32_t start(std::int32_t mode) override { return start_(mode); }
    std::int32_t extra() override { return extra_(); }
    std::int32_t configure(std::int32_t argument) override { return configure_(argument); }
    volatile std::uint32_t* unsupportedFeatures() override { return requirements_; }

   private:
    using InitFn = std::int32_t(PluginCallback, char*);
    using IntFn = std::int32_t(std::int32_t);
    using ExtraFn = std::int32_t();

    template <typename Fn>
    Fn* find(std::uint16_t ordinal) {
        FARPROC found = GetProcAddress(plugin_, byOrdinal(ordinal));
        if (found == nullptr) {
            release();
            throw std::runtime_error("the plug-in does not export ordinal " + std::to_string(ordinal));
        }
        return asFunction<Fn>(found);
    }

    void release() {
        if (plugin_ != nullptr) {
            FreeLibrary(plugin_);
            plugin_ = nullptr;
        }
        if (debugHandler_ != nullptr) {
            RemoveVectoredExceptionHandler(debugHandler_);
            debugHandler_ = nullptr;
        }
        setBeingDebugged(false);
        if (shell_ != nullptr) {
            FreeLibrary(shell_);
            shell_ = nullptr;
        }
    }

    HMODULE shell_ = nullptr;
    HMODULE plugin_ = nullptr;
    PVOID debugHandler_ = nullptr;
    InitFn* init_ = nullptr;
    IntFn* start_ = nullptr;
    ExtraFn* extra_ = nullptr;
    IntFn* configure_ = nullptr;
    volatile std::uint32_t* requirements_ = nullptr;
};

}  // namespace

std::unique_ptr<PluginModule> PluginModule::load(Host& host, const std::filesystem::path& path) {
    return std::make_unique<WindowsPluginModule>(host, path);
}

}  // namespace korpus

namespace korpus {

std::filesystem::path builtPluginPath() { return programDirectory().parent_path() / "plugin" / "Scalarka.dll"; }

}  // namespace korpus
