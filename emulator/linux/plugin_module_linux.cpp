#include <dlfcn.h>

#include <stdexcept>
#include <string>

#include "emulator/core/host.h"
#include "emulator/core/plugin_module.h"
#include "platform/linux_host.h"

extern "C" const scalarka::LinuxPlatformHost* scalarkaLinuxHost();

namespace korpus {
namespace {

// The ELF build exports its entry points under names that carry their
// ordinals; the host module needs no loading here, it is this program.
class LinuxPluginModule final : public PluginModule {
   public:
    explicit LinuxPluginModule(const std::filesystem::path& path) {
        handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) {
            throw std::runtime_error(std::string("cannot load the plug-in: ") + dlerror());
        }
        init_ = find<InitFn>("ordinal_30001");
        start_ = find<IntFn>("ordinal_30008");
        extra_ = find<ExtraFn>("ordinal_30009");
        configure_ = find<IntFn>("ordinal_30010");
        requirements_ = find<RequirementsFn>("hostRequirements");
    }
    ~LinuxPluginModule() override { dlclose(handle_); }
    LinuxPluginModule(const LinuxPluginModule&) = delete;
    LinuxPluginModule& operator=(const LinuxPluginModule&) = delete;

    std::int32_t init(PluginCallback callback, char* titleBuffer) override { return init_(callback, titleBuffer); }
    std::int32_t start(std::int32_t mode) override { return start_(mode); }
    std::int32_t extra() override { return extra_(); }
    std::int32_t configure(std::int32_t argument) override { return configure_(argument); }
    volatile std::uint32_t* unsupportedFeatures() override { return requirements_(); }

   private:
    using InitFn = std::int32_t(PluginCallback, char*);
    using IntFn = std::int32_t(std::int32_t);
    using ExtraFn = std::int32_t();
    using RequirementsFn = volatile std::uint32_t*();

    template <typename Fn>
    Fn* find(const char* name) {
        void* symbol = dlsym(handle_, name);
        if (symbol == nullptr) {
            dlclose(handle_);
            throw std::runtime_error(std::string("the plug-in does not export ") + name);
        }
        return reinterpret_cast<Fn*>(symbol);
    }

    void* handle_ = nullptr;
    InitFn* init_ = nullptr;
    IntFn* start_ = nullptr;
    ExtraFn* extra_ = nullptr;
    IntFn* configure_ = nullptr;
    RequirementsFn* requirements_ = nullptr;
};

}  // namespace

std::unique_ptr<PluginModule> PluginModule::load(Host& /*host*/, const std::filesystem::path& path) {
    // The plug-in finds the host's services through this one exported
    // function; a program that forgot to export it would run the plug-in
    // without a host.
    if (dlsym(RTLD_DEFAULT, scalarkaLinuxHostSymbol) != reinterpret_cast<void*>(&scalarkaLinuxHost)) {
        throw std::runtime_error("the host program does not export scalarkaLinuxHost (link it with ENABLE_EXPORTS)");
    }
    return std::make_unique<LinuxPluginModule>(path);
}

}  // namespace korpus

namespace korpus {

std::filesystem::path builtPluginPath() {
    return std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() / "plugin" / "Scalarka.so";
}

}  // namespace korpus
