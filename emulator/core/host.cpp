#include "emulator/core/host.h"

#include <chrono>
#include <stdexcept>

#include "emulator/core/plugin_module.h"

namespace korpus {
namespace {

Host* currentHost = nullptr;

std::int32_t hostCallback(std::int32_t first, std::int32_t second);

// The host's own handler of the line table: it does what the host does with
// the event (here: nothing) and tells us what it was given.
std::int32_t ownLineHandlerFunction(std::intptr_t eventCode, std::intptr_t documentKind, std::int32_t* lineCount,
                                    scalarka::ItemRecord** lines, std::intptr_t arg5, std::intptr_t eventArgument,
                                    std::intptr_t arg7, std::intptr_t arg8, std::intptr_t arg9, std::intptr_t arg10,
                                    std::intptr_t arg11) {
    Host* host = Host::current();
    if (host == nullptr) {
        return 0;
    }
    HandlerCall call{{eventCode, documentKind, reinterpret_cast<std::intptr_t>(lineCount),
                      reinterpret_cast<std::intptr_t>(lines), arg5, eventArgument, arg7, arg8, arg9, arg10, arg11},
                     lineCount != nullptr ? *lineCount : -1};
    host->lineHandlerCalls().push_back(call);
    host->trace().note("host line handler(" + std::to_string(eventCode) + ", " + std::to_string(documentKind) +
                       ", count " + std::to_string(call.lineCountSeen) + ") -> " +
                       std::to_string(host->config().lineHandlerResult));
    return host->config().lineHandlerResult;
}

std::filesystem::path freshDirectory() {
    static unsigned counter = 0;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (;;) {
        std::filesystem::path candidate = std::filesystem::temp_directory_path() /
                                          ("korpus-" + std::to_string(stamp) + "-" + std::to_string(++counter));
        if (std::filesystem::create_directory(candidate)) {
            return candidate;
        }
    }
}

}  // namespace

Host::Host(HostConfig config) : config_(std::move(config)) {
    if (currentHost != nullptr) {
        throw std::logic_error("only one emulated host can run at a time");
    }
    if (config_.directory.empty()) {
        config_.directory = freshDirectory();
        ownsDirectory_ = true;
    } else {
        std::filesystem::create_directories(config_.directory);
    }
    // Until the plug-in asks for record access, the document table has no
    // current record.
    documentTable_.descriptor.currentRecord = nullptr;
    lineTable_.descriptor.eventHandler = config_.lineTableHasHandler ? ownLineHandler() : nullptr;
    services_ = allServices();
    currentHost = this;
}

Host::~Host() {
    plugin_.reset();
    currentHost = nullptr;
    // The process would end here and its files close; the directory cannot go
    // while they are open.
    files_.closeAll();
    if (ownsDirectory_) {
        std::error_code ignored;
        std::filesystem::remove_all(config_.directory, ignored);
    }
}

Host* Host::current() { return currentHost; }

scalarka::TableEventHandler Host::ownLineHandler() { return ownLineHandlerFunction; }

scalarka::TableDescriptor* Host::table(std::int32_t number) {
    Table* table = nullptr;
    std::optional<std::int16_t> size;
    if (number == scalarka::documentTable) {
        table = &documentTable_;
        size = config_.documentRecordSize;
    } else if (number == scalarka::lineTable) {
        table = &lineTable_;
        size = config_.lineRecordSize;
    }
    if (table == nullptr || !size) {
        return nullptr;
    }
    table->descriptor.recordSize = *size;
    return &table->descriptor;
}

CodeAddress Host::service(std::uint16_t ordinal) const {
    if (config_.missingOrdinals.contains(ordinal)) {
        return nullptr;
    }
    const auto found = services_.find(ordinal);
    return found != services_.end() ? found->second : nullptr;
}

void Host::loadPlugin(const std::filesystem::path& builtPlugin) {
    const std::filesystem::path installed = config_.directory / "Scalarka.dll";
    std::filesystem::copy_file(builtPlugin, installed, std::filesystem::copy_options::overwrite_existing);
    trace_.note("load plug-in " + installed.filename().string());
    plugin_ = PluginModule::load(*this, installed);
}

void Host::unloadPlugin() {
    if (plugin_ != nullptr) {
        trace_.note("unload plug-in");
        plugin_.reset();
    }
}

PluginModule& Host::plugin() {
    if (plugin_ == nullptr) {
        throw std::logic_error("no plug-in is loaded");
    }
    return *plugin_;
}

std::int32_t Host::pluginInit(bool withCallback, char* titleBuffer) {
    trace_.note(withCallback ? "pluginInit(callback)" : "pluginInit(null)");
    return plugin().init(withCallback ? hostCallback : nullptr, titleBuffer);
}

std::int32_t Host::pluginStart(std::int32_t mode) {
    trace_.note("pluginStart(" + std::to_string(mode) + ")");
    if (mode != 0 && config_.unsupportedFeatures) {
        *plugin().unsupportedFeatures() = *config_.unsupportedFeatures;
    }
    return plugin().start(mode);
}

std::int32_t Host::pluginExtra() {
    trace_.note("pluginExtra()");
    return plugin().extra();
}

std::int32_t Host::pluginConfigure(std::int32_t argument) {
    trace_.note("pluginConfigure(" + std::to_string(argument) + ")");
    return plugin().configure(argument);
}

std::int32_t Host::lineEvent(std::int32_t eventCode, std::intptr_t eventArgument) {
    trace_.note("line event " + std::to_string(eventCode));
    scalarka::TableEventHandler handler = lineTable_.descriptor.eventHandler;
    if (handler == nullptr) {
        return 0;
    }
    return handler(eventCode, document_.kind, &document_.lineCount, document_.pointers.data(), 0, eventArgument, 0, 0,
                   0, 0, 0);
}

namespace {

std::int32_t hostCallback(std::int32_t first, std::int32_t second) {
    Host* host = Host::current();
    if (host != nullptr) {
        host->callbackCalls().emplace_back(first, second);
        host->trace().call(callbackOrdinal, "callback", {traceNumber(first), traceNumber(second)}, "0");
    }
    return 0;
}

}  // namespace

CodeAddress hostCallbackAddress() { return serviceAddress(&hostCallback); }

ServiceMap allServices() {
    ServiceMap services;
    services[callbackOrdinal] = hostCallbackAddress();
    registerFrameServices(services);
    registerDocumentServices(services);
    registerFileServices(services);
    registerDialogServices(services);
    return services;
}

}  // namespace korpus
