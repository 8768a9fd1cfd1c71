// Loading the shipped i386 Windows library into the i386 Linux host, with our
// own PE loader (pe32/): the process offers the host module KORPUS.dll, whose
// exports by ordinal are this host's services, and a debugger that a test can
// attach and read; the plug-in's entry points are found by ordinal and its
// word of unsupported features in its section ".hostreq", as on Windows.
#include <cstdio>
#include <stdexcept>
#include <string>

#include "emulator/core/host.h"
#include "emulator/core/plugin_module.h"
#include "pe32/module.h"

#ifndef KORPUS_PE32_PLUGIN
#error "KORPUS_PE32_PLUGIN must name the built PE32 plug-in"
#endif

namespace korpus {
namespace {

CodeAddress serviceOfCurrentHost(std::uint16_t ordinal) {
    return Host::current() != nullptr ? Host::current()->service(ordinal) : nullptr;
}

bool debuggerAttached() { return Host::current() != nullptr && Host::current()->config().debuggerAttached; }

void debugOutput(const char* text) {
    if (Host::current() != nullptr && text != nullptr) {
        Host::current()->debuggerOutput().emplace_back(text);
    }
}

class Pe32PluginModule final : public PluginModule {
   public:
    explicit Pe32PluginModule(const std::filesystem::path& path) {
        pe32::Process& process = pe32::Process::instance();
        hostModule_ = process.addVirtualModule(
            {"KORPUS.dll", pe32::windowsPath((path.parent_path() / "KORPUS.dll").string()), serviceOfCurrentHost, {}});
        process.setDebugger({debuggerAttached, debugOutput});
        try {
            module_ = pe32::Module::load(path);
        } catch (const pe32::LoadError& error) {
            release();
            throw std::runtime_error(std::string("cannot load the plug-in: ") + error.what());
        }
        init_ = find(30001);
        start_ = find(30008);
        extra_ = find(30009);
        configure_ = find(30010);
        if (module_->sectionSize(".hostreq") < sizeof(std::uint32_t)) {
            release();
            throw std::runtime_error("the plug-in has no .hostreq section");
        }
        requirements_ = static_cast<volatile std::uint32_t*>(module_->section(".hostreq"));
    }
    ~Pe32PluginModule() override { release(); }
    Pe32PluginModule(const Pe32PluginModule&) = delete;
    Pe32PluginModule& operator=(const Pe32PluginModule&) = delete;

    std::int32_t init(PluginCallback callback, char* titleBuffer) override {
        return pe32::callCdecl<std::int32_t>(init_, callback, titleBuffer);
    }
    std::int32_t start(std::int32_t mode) override { return pe32::callCdecl<std::int32_t>(start_, mode); }
    std::int32_t extra() override { return pe32::callCdecl<std::int32_t>(extra_); }
    std::int32_t configure(std::int32_t argument) override {
        return pe32::callCdecl<std::int32_t>(configure_, argument);
    }
    volatile std::uint32_t* unsupportedFeatures() override { return requirements_; }

   private:
    pe32::Procedure find(std::uint16_t ordinal) {
        const pe32::Procedure found = module_->exportByOrdinal(ordinal);
        if (found == nullptr) {
            release();
            throw std::runtime_error("the plug-in does not export ordinal " + std::to_string(ordinal));
        }
        return found;
    }

    void release() {
        module_.reset();
        // What the loader refused the plug-in at run time (the plug-in saw an
        // ordinary failure) goes where a developer reads it.
        for (const std::string& note : pe32::Process::instance().notes()) {
            std::fprintf(stderr, "pe32: %s\n", note.c_str());
        }
        pe32::Process::instance().clearNotes();
        if (hostModule_ != nullptr) {
            pe32::Process::instance().setDebugger({});
            pe32::Process::instance().removeModule(hostModule_);
            hostModule_ = nullptr;
        }
    }

    // The host calls the plug-in's line handler straight through the table
    // descriptor, not through this module, so the thread stays a Windows
    // thread (%fs on its TEB) for as long as the plug-in is loaded.
    pe32::WindowsThreadScope thread_;
    pe32::ModuleHandle hostModule_ = nullptr;
    std::unique_ptr<pe32::Module> module_;
    pe32::Procedure init_ = nullptr;
    pe32::Procedure start_ = nullptr;
    pe32::Procedure extra_ = nullptr;
    pe32::Procedure configure_ = nullptr;
    volatile std::uint32_t* requirements_ = nullptr;
};

}  // namespace

std::unique_ptr<PluginModule> PluginModule::load(Host& /*host*/, const std::filesystem::path& path) {
    return std::make_unique<Pe32PluginModule>(path);
}

// The library that the win32 build produced; this program does not build it.
std::filesystem::path builtPluginPath() {
    std::filesystem::path path = KORPUS_PE32_PLUGIN;
    if (!std::filesystem::exists(path)) {
        throw std::runtime_error(path.string() + " does not exist: build the win32 preset first");
    }
    return path;
}

}  // namespace korpus
