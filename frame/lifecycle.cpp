#include "frame/lifecycle.h"

#include <cstring>

#include "frame/startup_report.h"
#include "host/host_services.h"
#include "host/host_table.h"
#include "merge/line_event_hook.h"
#include "options/install_notice.h"
#include "options/options_dialog.h"

namespace scalarka {

ModuleHandle ownModule = nullptr;
char ownPath[ownPathSize] = {};
const char* ownBaseName = nullptr;
HostCallback hostCallback = nullptr;
ConfigureHandler configureHandler = nullptr;
TableDescriptor* hookedDescriptor = nullptr;
TableEventHandler previousLineHandler = nullptr;

namespace {

constexpr std::uint32_t processAttach = 1;
constexpr std::uint16_t hostCallbackOrdinal = 30006;
constexpr std::int32_t requiredInterfaceVersion = 112;

constexpr const auto& newerPluginNeeded = mazovia<u8"Program wymaga nowszej wtyczki!">;

}  // namespace

std::int32_t rawDllMain(ModuleHandle module, std::uint32_t reason, void* /*reserved*/) {
    if (reason != processAttach) {
        return 1;
    }
    ownModule = module;
    platformModuleFileName(module, ownPath, ownPathSize);
    ownBaseName = baseFileName(ownPath);
    if (hostModule == nullptr) {
        // The platform supplies the default extension: the host is KORPUS.dll.
        hostModule = platformFindModule("KORPUS");
    }
    if (hostModule != nullptr) {
        hostCallback = reinterpret_cast<HostCallback>(
            platformFindExport(hostModule, reinterpret_cast<const char*>(std::uintptr_t{hostCallbackOrdinal})));
    }
    return 1;
}

void attachLibrary(ModuleHandle module) {
    rawDllMain(module, processAttach, nullptr);
    bindHostFunctions();
}

const char* baseFileName(const char* path) {
    const char* name = path;
    if (const char* backslash = std::strrchr(name, '\\'); backslash != nullptr) {
        name = backslash + 1;
    }
    if (const char* slash = std::strrchr(name, '/'); slash != nullptr) {
        name = slash + 1;
    }
    return name;
}

std::int32_t installLineHook(std::int32_t install) {
    if (install == 0) {
        if (hookedDescriptor != nullptr) {
            hookedDescriptor->eventHandler = previousLineHandler;
            hookedDescriptor = nullptr;
        }
        return 0;
    }
    if (hookedDescriptor != nullptr) {
        // Already in place: keep the host's handler we saved the first time,
        // never our own hook.
        return 0;
    }
    TableDescriptor* lines = hostTableDescriptor(lineTable);
    if (lines != nullptr && lines->recordSize == lineRecordSize) {
        previousLineHandler = lines->eventHandler;
        lines->eventHandler = lineEventHook;
        hookedDescriptor = lines;
        return 0;
    }
    noteLineTableMismatch(lines != nullptr ? lines->recordSize : 0);
    return -1;
}

}  // namespace scalarka

using namespace scalarka;

std::int32_t pluginInit(HostCallback callback, char* titleBuffer) {
    if (callback == nullptr) {
        installLineHook(0);
        return 0;
    }
    hostCallback = callback;
    if (titleBuffer != nullptr) {
        std::memcpy(titleBuffer, pluginTitle.data(), sizeof(pluginTitle));
    }
    if (hostHandshake(ownModule, nullptr, 0) != 0) {
        return -1;
    }
    if (hostInterfaceVersion() != requiredInterfaceVersion) {
        return -1;
    }
    if (checkRecordSizes() != 0) {
        return -1;
    }
    configureHandler = runOptionsDialog;
    return 0;
}

std::int32_t pluginStart(std::int32_t mode) {
    if (mode != 0) {
        startupReport();
        return 0;
    }
    if (installLineHook(1) != 0) {
        hostTextMessage(newerPluginNeeded.data());
        return -1;
    }
    showInstallNotice();
    hostScreenRefresh();
    return 0;
}

std::int32_t pluginExtra() { return 0; }

std::int32_t pluginConfigure(std::int32_t argument) {
    constexpr std::int32_t notConfigurable = -1234567890;
    if (configureHandler == nullptr) {
        return notConfigurable;
    }
    return configureHandler(argument);
}
