// An emulated host with the built plug-in loaded into it, as the real host
// has it after start-up: the same scenario runs natively, under qemu-i386 and
// under wine64.
#pragma once

#include <utility>

#include "emulator/core/host.h"
#include "emulator/core/plugin_module.h"

namespace korpus::testing {

class LoadedHost : public Host {
   public:
    explicit LoadedHost(HostConfig config = {}) : Host(std::move(config)) { loadPlugin(builtPluginPath()); }
};

}  // namespace korpus::testing
