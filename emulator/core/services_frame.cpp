// The host services the plug-in's shell uses: handshake, interface version,
// table descriptors, plain messages and the screen.
#include <algorithm>
#include <cstring>

#include "emulator/core/host.h"
#include "emulator/core/text.h"

namespace korpus {
namespace {

Host& host() { return *Host::current(); }

std::string tableName(const scalarka::TableDescriptor* descriptor, std::int32_t number) {
    if (descriptor == nullptr) {
        return "null";
    }
    return number == scalarka::documentTable ? "&Tspr" : number == scalarka::lineTable ? "&Tspr_dok" : "&table";
}

// 30018: agrees (0) or refuses; a refusal with a buffer carries the host's
// explanation, cut to the buffer and always terminated.
std::int32_t handshake(void* module, char* buffer, std::int32_t bufferSize) {
    const HostConfig& config = host().config();
    if (config.handshakeResult != 0 && buffer != nullptr && bufferSize > 0) {
        const std::size_t room = static_cast<std::size_t>(bufferSize) - 1;
        const std::size_t length = std::min(room, config.handshakeExplanation.size());
        std::memcpy(buffer, config.handshakeExplanation.data(), length);
        buffer[length] = '\0';
    }
    host().trace().call(30018, "handshake",
                        {tracePointer(module, "module"), tracePointer(buffer, "buffer"), traceNumber(bufferSize)},
                        std::to_string(config.handshakeResult));
    return config.handshakeResult;
}

std::int32_t interfaceVersion() {
    const std::int32_t version = host().config().interfaceVersion;
    host().trace().call(51594, "interfaceVersion", {}, std::to_string(version));
    return version;
}

scalarka::TableDescriptor* tableDescriptor(std::int32_t number) {
    scalarka::TableDescriptor* descriptor = host().table(number);
    host().trace().call(52256, "tableDescriptor", {traceNumber(number)}, tableName(descriptor, number));
    return descriptor;
}

std::int32_t textMessage(const char* text) {
    host().messages().push_back({"textMessage", "", text != nullptr ? toUtf8(text) : ""});
    host().trace().call(52030, "textMessage", {traceString(text)}, "0");
    return 0;
}

std::int32_t screenRefresh() {
    host().trace().call(52064, "screenRefresh", {}, "0");
    return 0;
}

// The five services the plug-in binds but never calls; a call would be news.
template <std::uint16_t Ordinal>
std::int32_t boundOnly() {
    host().trace().call(Ordinal, "unexpected", {}, "0");
    return 0;
}

}  // namespace

void registerFrameServices(ServiceMap& services) {
    services[30018] = serviceAddress(&handshake);
    services[51594] = serviceAddress(&interfaceVersion);
    services[52256] = serviceAddress(&tableDescriptor);
    services[52030] = serviceAddress(&textMessage);
    services[52064] = serviceAddress(&screenRefresh);
    services[40008] = serviceAddress(&boundOnly<40008>);
    services[41611] = serviceAddress(&boundOnly<41611>);
    services[41613] = serviceAddress(&boundOnly<41613>);
    services[30005] = serviceAddress(&boundOnly<30005>);
    services[38417] = serviceAddress(&boundOnly<38417>);
}

}  // namespace korpus
