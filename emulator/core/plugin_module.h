// The loaded plug-in as the host sees it: a module and four entry points
// found by ordinal. Each platform loads it its own way.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>

namespace korpus {

class Host;

using PluginCallback = std::int32_t (*)(std::int32_t, std::int32_t);

class PluginModule {
   public:
    // Loads the host module (where the platform needs one) and then the
    // plug-in at `path`. Throws std::runtime_error with the reason.
    static std::unique_ptr<PluginModule> load(Host& host, const std::filesystem::path& path);
    virtual ~PluginModule() = default;

    virtual std::int32_t init(PluginCallback callback, char* titleBuffer) = 0;
    virtual std::int32_t start(std::int32_t mode) = 0;
    virtual std::int32_t extra() = 0;
    virtual std::int32_t configure(std::int32_t argument) = 0;
    // The plug-in's word of unsupported features, which the host fills.
    virtual volatile std::uint32_t* unsupportedFeatures() = 0;
};

}  // namespace korpus

namespace korpus {

// Where the build put the plug-in, found from this program's own location
// (programs in bin/, the plug-in in plugin/).
std::filesystem::path builtPluginPath();

}  // namespace korpus
