#include "tests/plugin/fake_host.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "emulator/core/text.h"
#include "host/host_table.h"
#include "options/merge_options.h"

namespace scalarka::testing {
namespace {

std::string quoted(const char* text) { return text == nullptr ? "null" : "\"" + readable(text) + "\""; }

std::string hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(value));
    return text;
}

std::string streamName(const void* handle) {
    if (handle == nullptr) {
        return "null";
    }
    const auto& streams = fakeHost().streams;
    for (std::size_t i = 0; i < streams.size(); ++i) {
        if (streams[i].get() == handle) {
            return "stream" + std::to_string(i + 1);
        }
    }
    return "?";
}

std::string holderName(const void* holder) {
    // The latest holder built at this address: storage on the stack is
    // used again by the next load or save.
    const auto& built = fakeHost().holdersBuilt;
    const auto found = std::find(built.rbegin(), built.rend(), holder);
    return found == built.rend() ? "?" : "holder" + std::to_string(built.rend() - found);
}

void log(std::string call) { fakeHost().calls.push_back(std::move(call)); }

std::string join(std::initializer_list<std::string> parts) {
    std::string text;
    for (const std::string& part : parts) {
        if (!text.empty()) {
            text += ", ";
        }
        text += part;
    }
    return text;
}

std::string num(std::int64_t value) { return std::to_string(value); }

// The host's functions, with the host's own signatures.

TableDescriptor* tableDescriptor(std::int32_t table) {
    log("tableDescriptor(" + num(table) + ")");
    FakeHost& host = fakeHost();
    return table == documentTable && host.documentTableExists ? &host.documentDescriptor : nullptr;
}

std::int32_t tableRecordAccess(TableDescriptor* table, std::int32_t mode) {
    log("tableRecordAccess(" + join({fakeHost().nameOf(table), num(mode)}) + ")");
    FakeHost& host = fakeHost();
    if (table == &host.documentDescriptor && host.recordAfterAccess != nullptr) {
        host.documentDescriptor.currentRecord = host.recordAfterAccess;
    }
    return 0;
}

std::int32_t messageBox(const char* title, const char* text, std::int32_t style) {
    log("messageBox(" + join({quoted(title), quoted(text), num(style)}) + ")");
    return 0;
}

void* fileOpen(const char* name, const char* mode, std::int32_t share, std::int32_t a4, std::int32_t a5,
               std::int32_t a6, std::int32_t a7, std::int32_t a8, std::int32_t a9) {
    log("fileOpen(" +
        join({quoted(name), quoted(mode), num(share), num(a4), num(a5), num(a6), num(a7), num(a8), num(a9)}) + ")");
    FakeHost& host = fakeHost();
    const std::string openMode = mode;
    if (host.failingModes.count(openMode) != 0) {
        return nullptr;
    }
    if (openMode == "rb") {
        if (host.files.count(name) == 0) {
            return nullptr;
        }
    } else if (openMode == "wb") {
        host.files[name].clear();
    } else {
        return nullptr;
    }
    host.streams.push_back(std::make_unique<FakeStream>(FakeStream{name, openMode}));
    return host.streams.back().get();
}

// The holder keeps the stream in its first bytes and marks the rest of its
// 24 bytes, so that storage too small for it shows up.
constexpr unsigned char holderFill = 0xA5;

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattributes"

void* SCALARKA_THISCALL holderConstruct(void* holder, void* handle) {
    FakeHost& host = fakeHost();
    host.holdersBuilt.push_back(holder);
    if (reinterpret_cast<std::uintptr_t>(holder) % alignof(void*) != 0) {
        host.holderMisaligned = true;
    }
    log("holderConstruct(" + join({holderName(holder), streamName(handle)}) + ")");
    auto* bytes = static_cast<unsigned char*>(holder);
    std::memcpy(bytes, &handle, sizeof handle);
    std::memset(bytes + sizeof handle, holderFill, sizeof(FileHolderStorage) - sizeof handle);
    return holder;
}

void* SCALARKA_THISCALL holderTakeStream(void* holder) {
    log("holderTakeStream(" + holderName(holder) + ")");
    if (fakeHost().takeStreamThrows) {
        throw std::runtime_error("the host failed to hand out the stream");
    }
    void* stream = nullptr;
    std::memcpy(&stream, holder, sizeof stream);
    void* const none = nullptr;
    std::memcpy(holder, &none, sizeof none);
    return stream;
}

void SCALARKA_THISCALL holderDestroy(void* holder) {
    FakeHost& host = fakeHost();
    host.holdersDestroyed.push_back(holder);
    log("holderDestroy(" + holderName(holder) + ")");
    // A stream the holder still owns is closed with it.
    void* stream = nullptr;
    std::memcpy(&stream, holder, sizeof stream);
    if (stream != nullptr) {
        static_cast<FakeStream*>(stream)->closed = true;
    }
}

#pragma GCC diagnostic pop

std::int32_t fileRead(void* buffer, std::int32_t elementSize, std::int32_t count, void* handle) {
    FakeHost& host = fakeHost();
    log("fileRead(" + join({host.nameOf(buffer), num(elementSize), num(count), streamName(handle)}) + ")");
    auto* stream = static_cast<FakeStream*>(handle);
    if (stream == nullptr || stream->closed || elementSize <= 0 || count <= 0) {
        return 0;
    }
    const std::string& contents = host.files[stream->name];
    const std::size_t available = contents.size() - std::min(contents.size(), stream->position);
    std::size_t elements = std::min<std::size_t>(static_cast<std::size_t>(count), available / elementSize);
    if (host.readLimit >= 0) {
        elements = std::min<std::size_t>(elements, static_cast<std::size_t>(host.readLimit));
    }
    const std::size_t bytes = elements * static_cast<std::size_t>(elementSize);
    std::memcpy(buffer, contents.data() + stream->position, bytes);
    stream->position += bytes;
    return static_cast<std::int32_t>(elements);
}

std::int32_t fileWrite(const void* buffer, std::int32_t elementSize, std::int32_t count, void* handle) {
    FakeHost& host = fakeHost();
    log("fileWrite(" + join({host.nameOf(buffer), num(elementSize), num(count), streamName(handle)}) + ")");
    auto* stream = static_cast<FakeStream*>(handle);
    if (stream == nullptr || stream->closed || elementSize <= 0 || count <= 0) {
        return 0;
    }
    host.files[stream->name].append(static_cast<const char*>(buffer),
                                    static_cast<std::size_t>(elementSize) * static_cast<std::size_t>(count));
    return count;
}

std::int32_t fileClose(void* handle) {
    log("fileClose(" + streamName(handle) + ")");
    if (handle != nullptr) {
        static_cast<FakeStream*>(handle)->closed = true;
    }
    return 0;
}

void* approvalWithdrawal(std::int32_t kind, std::intptr_t eventArgument, ItemRecord** lines, std::int32_t* count,
                         std::int32_t a5, std::int32_t a6, std::int32_t a7, std::int32_t a8, std::int32_t a9,
                         std::int32_t a10, std::int32_t a11, std::int32_t a12) {
    FakeHost& host = fakeHost();
    const auto* document = static_cast<const DocumentRecord*>(host.documentDescriptor.currentRecord);
    log("approvalWithdrawal(" +
        join({num(kind), num(eventArgument), host.nameOf(lines), count == nullptr ? "null" : "&" + num(*count), num(a5),
              num(a6), num(a7), num(a8), num(a9), num(a10), num(a11), num(a12)}) +
        ") with flags " + (document == nullptr ? "none" : hex(document->documentFlags)));
    if (count != nullptr) {
        *count = host.countWrittenByWithdrawal;
    }
    return host.withdrawalResult;
}

std::int32_t release(void* value) {
    log("release(" + (value == fakeHost().withdrawalResult ? std::string("withdrawal") : "?") + ")");
    return 0;
}

std::int32_t textComparison(const char* left, const char* right) {
    log("textComparison(" + join({quoted(left), quoted(right)}) + ")");
    return fakeHost().compareTexts(left, right);
}

std::int32_t lineRecalculation(std::int32_t a1, ItemRecord* line, DocumentRecord* document, std::int32_t a4) {
    FakeHost& host = fakeHost();
    log("lineRecalculation(" + join({num(a1), host.describeLine(line), host.nameOf(document), num(a4)}) + ")");
    return 0;
}

std::int32_t lineArrayRecalculation(ItemRecord** lines, std::int32_t count, DocumentRecord* document, std::int32_t a4,
                                    std::int32_t a5) {
    FakeHost& host = fakeHost();
    log("lineArrayRecalculation(" + join({host.nameOf(lines), num(count), host.nameOf(document), num(a4), num(a5)}) +
        ")");
    return 0;
}

std::int32_t documentRecalculation(DocumentRecord* document, DocumentRecord* again, ItemRecord** lines,
                                   std::int32_t count) {
    FakeHost& host = fakeHost();
    log("documentRecalculation(" + join({host.nameOf(document), host.nameOf(again), host.nameOf(lines), num(count)}) +
        ")");
    return 0;
}

std::int32_t screenRefresh() {
    log("screenRefresh()");
    return 0;
}

std::int32_t keyCodeCall(std::int32_t key) {
    log("keyCodeCall(" + num(key) + ")");
    return 0;
}

std::int32_t symbolParser(const char* symbol, char* buffer, std::int32_t size, std::int32_t* weight,
                          std::int32_t* price, std::int32_t a6, std::int32_t a7, std::int32_t a8) {
    log("symbolParser(" +
        join({quoted(symbol), "buffer", num(size), "weight=" + num(*weight), "price=" + num(*price), num(a6), num(a7),
              num(a8)}) +
        ")");
    return fakeHost().parseSymbol(symbol, buffer, size, weight, price);
}

// Copies at most `limit` characters and then a NUL, as the host does.
char* boundedCopy(char* destination, const char* source, std::int32_t limit) {
    FakeHost& host = fakeHost();
    std::string target = "?";
    for (const auto& [address, name] : host.names) {
        if (name.rfind("line[", 0) == 0 && destination == static_cast<const ItemRecord*>(address)->symbol) {
            target = name + ".symbol";
        }
    }
    log("boundedCopy(" + join({target, quoted(source), num(limit)}) + ")");
    const std::size_t length = std::min(std::strlen(source), static_cast<std::size_t>(limit));
    std::memcpy(destination, source, length);
    destination[length] = '\0';
    return destination;
}

template <typename Fn>
CodeAddress code(Fn* function) {
    return reinterpret_cast<CodeAddress>(function);
}

std::int32_t sameIgnoringAsciiCase(const char* left, const char* right) {
    for (;; ++left, ++right) {
        const auto l = static_cast<unsigned char>(*left);
        const auto r = static_cast<unsigned char>(*right);
        if ((l < 0x80 ? std::tolower(l) : l) != (r < 0x80 ? std::tolower(r) : r)) {
            return 1;
        }
        if (l == 0) {
            return 0;
        }
    }
}

}  // namespace

std::int32_t parseWeighedCode(const char* symbol, char* buffer, std::int32_t size, std::int32_t* weight,
                              std::int32_t* price) {
    if (symbol[0] != '#') {
        return 0;
    }
    const char* const text = symbol + 1;
    const char* const slash = std::strchr(text, '/');
    if (slash == nullptr) {
        return 0;
    }
    int parsedWeight = 0;
    int parsedPrice = 0;
    if (std::sscanf(slash + 1, "%d/%d", &parsedWeight, &parsedPrice) != 2) {
        return 0;
    }
    std::snprintf(buffer, static_cast<std::size_t>(size), "%.*s", static_cast<int>(slash - text), text);
    if (parsedWeight != 0) {
        *weight = parsedWeight;
    }
    if (parsedPrice != 0) {
        *price = parsedPrice;
    }
    return 1;
}

FakeHost& fakeHost() {
    static FakeHost host;
    return host;
}

void installFakeHost() {
    FakeHost& host = fakeHost();
    host = FakeHost{};
    host.compareTexts = sameIgnoringAsciiCase;
    host.parseSymbol = [](const char*, char*, std::int32_t, std::int32_t*, std::int32_t*) { return 0; };
    host.names[&host.documentDescriptor] = "Tspr";
    host.names[&mergeOptions] = "options";

    for (HostEntry& entry : hostFunctionTable) {
        entry.target = nullptr;
    }
    const auto set = [](HostIndex index, CodeAddress target) { hostFunctionTable[index].target = target; };
    set(hostTableDescriptorIndex, code(tableDescriptor));
    set(hostTableRecordAccessIndex, code(tableRecordAccess));
    set(hostMessageBoxIndex, code(messageBox));
    set(hostFileOpenIndex, code(fileOpen));
    set(hostHolderConstructIndex, code(holderConstruct));
    set(hostHolderTakeStreamIndex, code(holderTakeStream));
    set(hostHolderDestroyIndex, code(holderDestroy));
    set(hostFileReadIndex, code(fileRead));
    set(hostFileWriteIndex, code(fileWrite));
    set(hostFileCloseIndex, code(fileClose));
    set(hostApprovalWithdrawalIndex, code(approvalWithdrawal));
    set(hostReleaseIndex, code(release));
    set(hostTextComparisonIndex, code(textComparison));
    set(hostLineRecalculationIndex, code(lineRecalculation));
    set(hostLineArrayRecalculationIndex, code(lineArrayRecalculation));
    set(hostDocumentRecalculationIndex, code(documentRecalculation));
    set(hostScreenRefreshIndex, code(screenRefresh));
    set(hostKeyCodeCallIndex, code(keyCodeCall));
    set(hostSymbolParserIndex, code(symbolParser));
    set(hostBoundedCopyIndex, code(boundedCopy));
}

void FakeHost::nameDocument(ItemRecord** lines, std::int32_t count, DocumentRecord* document) {
    names[lines] = "lines";
    for (std::int32_t i = 0; i < count; ++i) {
        names[lines[i]] = "line[" + std::to_string(i) + "]";
    }
    names[document] = "document";
}

std::string FakeHost::nameOf(const void* address) const {
    if (address == nullptr) {
        return "null";
    }
    const auto found = names.find(address);
    return found == names.end() ? "?" : found->second;
}

std::string FakeHost::describeLine(const ItemRecord* line) const {
    // FNV-1a over all 515 bytes: two lines with the same digest hold the
    // same bytes, for all a test can tell.
    std::uint64_t digest = 0xcbf29ce484222325ULL;
    const auto* bytes = reinterpret_cast<const unsigned char*>(line);
    for (std::size_t i = 0; i < sizeof(ItemRecord); ++i) {
        digest = (digest ^ bytes[i]) * 0x100000001b3ULL;
    }
    return nameOf(line) + "{quantity " + std::to_string(line->quantity) + ", bytes " + hex(digest) + "}";
}

int FakeHost::openStreams() const {
    return static_cast<int>(std::count_if(streams.begin(), streams.end(), [](const auto& s) { return !s->closed; }));
}

std::string callList(const std::vector<std::string>& calls) {
    std::string text;
    for (const std::string& call : calls) {
        text += "  " + call + "\n";
    }
    return text;
}

std::string readable(const char* mazovia) { return korpus::traceText(mazovia); }

}  // namespace scalarka::testing
