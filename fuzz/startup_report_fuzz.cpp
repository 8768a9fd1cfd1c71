// The start-up report's texts under hostile inputs: any count of missing
// ordinals with any numbers, any missing-feature bits, record sizes the host
// may report, long base names, and a host whose handshake explanation fills
// the whole 3072-byte buffer. Every text handed to the host must end inside
// its buffer, and the host must only ever get the report as a value.
#include <algorithm>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "frame/lifecycle.h"
#include "frame/startup_report.h"
#include "fuzz/fuzz_input.h"
#include "host/host_table.h"
#include "host/table_descriptor.h"

namespace {

using Input = scalarka::fuzzing::FuzzInput;

std::int32_t handshakeResult = 0;
std::size_t explanationLength = 0;
std::uint8_t explanationByte = 'x';
std::int32_t interfaceVersion = 112;
scalarka::TableDescriptor documentDescriptor{};
scalarka::TableDescriptor lineDescriptor{};
bool tablesExist = true;
int messages = 0;

std::int32_t handshake(void*, char* buffer, std::int32_t size) {
    if (buffer != nullptr && size > 0) {
        // The host may fill every byte, with no terminating NUL.
        const std::size_t length =
            explanationLength < static_cast<std::size_t>(size) ? explanationLength : static_cast<std::size_t>(size);
        std::memset(buffer, explanationByte, length);
        if (length < static_cast<std::size_t>(size)) {
            buffer[length] = '\0';
        }
    }
    return handshakeResult;
}

std::int32_t version() { return interfaceVersion; }

scalarka::TableDescriptor* tableDescriptor(std::int32_t table) {
    if (!tablesExist) {
        return nullptr;
    }
    return table == scalarka::documentTable ? &documentDescriptor : &lineDescriptor;
}

// Formats as the host would, into a buffer of its own; an argument that is
// not a terminated text shows up to AddressSanitizer here.
std::int32_t formattedMessageBox(std::int32_t, const char* title, const char* format, std::int32_t,
                                 std::int32_t beforeValues, ...) {
    static char shown[16384];
    va_list values;
    va_start(values, beforeValues);
    std::vsnprintf(shown, sizeof shown, format, values);
    va_end(values);
    if (title == nullptr || std::strlen(title) == 0) {
        __builtin_trap();
    }
    ++messages;
    return 0;
}

template <typename Fn>
scalarka::CodeAddress code(Fn* function) {
    return reinterpret_cast<scalarka::CodeAddress>(function);
}

std::string baseName;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace scalarka;
    Input in{data, size};
    for (HostEntry& entry : hostFunctionTable) {
        entry.target = nullptr;
    }
    const std::uint8_t shape = in.next();
    if ((shape & 0x01) != 0) {
        hostFunctionTable[hostHandshakeIndex].target = code(handshake);
    }
    if ((shape & 0x02) != 0) {
        hostFunctionTable[hostInterfaceVersionIndex].target = code(version);
    }
    if ((shape & 0x04) != 0) {
        hostFunctionTable[hostTableDescriptorIndex].target = code(tableDescriptor);
    }
    hostFunctionTable[hostFormattedMessageBoxIndex].target = code(formattedMessageBox);
    tablesExist = (shape & 0x08) != 0;

    unsupportedFeatures = (shape & 0x10) != 0 ? in.word() : 0;
    // Any count of failed lookups, the first eight of them recorded.
    missingOrdinals.missCount = (shape & 0x20) != 0 ? in.word() % 300 : 0;
    if ((shape & 0x40) != 0) {
        missingOrdinals.missCount = in.word();
    }
    for (std::uint16_t& ordinal : missingOrdinals.missing) {
        ordinal = static_cast<std::uint16_t>(in.next() << 8 | in.next());
    }
    documentDescriptor.recordSize = static_cast<std::int16_t>(in.next() << 8 | in.next());
    lineDescriptor.recordSize = static_cast<std::int16_t>(in.next() << 8 | in.next());
    if ((shape & 0x80) != 0) {
        noteLineTableMismatch(static_cast<std::int32_t>(in.word()));
    }
    handshakeResult = static_cast<std::int32_t>(in.next());
    interfaceVersion = in.next() < 128 ? 112 : 111;
    explanationLength = static_cast<std::size_t>(in.next()) * 16;
    if (in.next() >= 128) {
        explanationLength = reportBufferSize;
    }
    explanationByte = static_cast<std::uint8_t>(in.next() | 1);
    // The rest is the library's base file name, as long as the input is.
    baseName.assign(reinterpret_cast<const char*>(in.data), in.size);
    baseName.erase(std::find(baseName.begin(), baseName.end(), '\0'), baseName.end());
    ownBaseName = (shape & 0x08) != 0 || !baseName.empty() ? baseName.c_str() : nullptr;

    messages = 0;
    startupReport();
    if (messages != 1) {
        __builtin_trap();
    }
    if (std::memchr(reportBuffer, '\0', reportBufferSize) == nullptr ||
        std::memchr(numberList, '\0', numberListSize) == nullptr) {
        __builtin_trap();
    }
    ownBaseName = nullptr;
    return 0;
}
