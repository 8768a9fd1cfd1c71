// The host's file services: open, the file holder, read, write and close.
//
// Files live in the host's directory and are named bare ("Scalarka.dat").
// The handle that the file open returns is the C stream itself; the file
// holder adopts it, and taking the stream out of the holder hands it over to
// the caller, who then closes it with the file close. Every stream the host
// hands out is recorded in its FileTable, so that reads, writes and closes of
// anything else are refused rather than passed to the C library.
#include <cstring>
#include <stdexcept>

#include "emulator/core/files.h"
#include "emulator/core/host.h"
#include "emulator/core/text.h"

#if defined(_WIN32)
#include <share.h>
#endif

namespace korpus {

std::uint64_t FileTable::add(std::FILE* stream, std::filesystem::path path, std::string mode) {
    const std::uint64_t serial = nextSerial_++;
    files_[stream] = OpenFile{std::move(path), std::move(mode), serial};
    return serial;
}

const OpenFile* FileTable::find(const void* stream) const {
    const auto found = files_.find(stream);
    return found != files_.end() ? &found->second : nullptr;
}

bool FileTable::close(const void* stream) {
    const auto found = files_.find(stream);
    if (found == files_.end()) {
        return false;
    }
    std::fclose(static_cast<std::FILE*>(const_cast<void*>(found->first)));
    files_.erase(found);
    return true;
}

void FileTable::closeAll() {
    while (!files_.empty()) {
        close(files_.begin()->first);
    }
}

std::vector<std::string> FileTable::names() const {
    std::vector<std::string> found;
    for (const auto& [stream, file] : files_) {
        found.push_back(file.path.filename().string());
    }
    return found;
}

namespace {

Host& host() { return *Host::current(); }

// What the holder keeps in the caller's 24 bytes. The marker tells a live
// holder from storage the host never built one in (or has destroyed), and the
// serial tells the stream it adopted from a later stream at the same address.
struct HolderState {
    std::uint32_t marker;
    std::uint32_t ownsStream;
    std::uint64_t serial;
    std::FILE* stream;
};
static_assert(sizeof(HolderState) <= fileHolderSize);
static_assert(alignof(HolderState) <= alignof(std::uint64_t));

constexpr std::uint32_t liveHolder = 0x4B464831;  // "KFH1"
constexpr std::uint32_t deadHolder = 0x4B464830;  // "KFH0"

// The storage is the caller's; it is read and written bytewise so that the
// host makes no assumption about its alignment beyond the contract.
HolderState readHolder(const void* holder) {
    HolderState state;
    std::memcpy(&state, holder, sizeof state);
    return state;
}

void writeHolder(void* holder, const HolderState& state) { std::memcpy(holder, &state, sizeof state); }

std::string streamName(const void* stream) {
    if (stream == nullptr) {
        return "null";
    }
    const OpenFile* file = host().files().find(stream);
    return file != nullptr ? "stream " + std::to_string(file->serial) : "unknown stream";
}

// A stream that the holder adopted and that is still the same open file.
bool stillOpen(const HolderState& state) {
    const OpenFile* file = host().files().find(state.stream);
    return file != nullptr && file->serial == state.serial;
}

// Names are bare: the host keeps its files in its own directory and does not
// let a name lead out of it.
bool isBareName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\:") == std::string_view::npos;
}

// The C library's modes: r, w or a, then at most one each of +, b and t (not
// both b and t). Anything else would reach the runtime's invalid-parameter
// handler on Windows.
bool isFileMode(std::string_view mode) {
    if (mode.empty() || mode.size() > 3 || std::string_view("rwa").find(mode[0]) == std::string_view::npos) {
        return false;
    }
    bool plus = false;
    bool binaryOrText = false;
    for (const char c : mode.substr(1)) {
        if (c == '+' && !plus) {
            plus = true;
        } else if ((c == 'b' || c == 't') && !binaryOrText) {
            binaryOrText = true;
        } else {
            return false;
        }
    }
    return true;
}

// The sharing modes of the host's runtime: deny read and write (0x10), deny
// write (0x20), deny read (0x30), deny none (0x40).
bool isSharingMode(std::int32_t sharing) {
    return sharing == 0x10 || sharing == 0x20 || sharing == 0x30 || sharing == 0x40;
}

std::FILE* openShared(const std::filesystem::path& path, const std::string& mode, std::int32_t sharing) {
#if defined(_WIN32)
    const std::wstring wideMode(mode.begin(), mode.end());
    return _wfsopen(path.c_str(), wideMode.c_str(), sharing);
#else
    // Linux locks no file against other openers: every open is shared.
    static_cast<void>(sharing);
    return std::fopen(path.c_str(), mode.c_str());
#endif
}

// 52534: name, mode, sharing (64: deny none), then values of the host's that
// it does not need here.
void* fileOpen(const char* name, const char* mode, std::int32_t sharing, std::int32_t arg4, std::int32_t arg5,
               std::int32_t arg6, std::int32_t arg7, std::int32_t arg8, std::int32_t arg9) {
    const std::vector<TraceValue> arguments = {traceString(name), traceString(mode), traceNumber(sharing),
                                               traceNumber(arg4), traceNumber(arg5), traceNumber(arg6),
                                               traceNumber(arg7), traceNumber(arg8), traceNumber(arg9)};
    std::string refusal;
    if (name == nullptr || !isBareName(name)) {
        refusal = "not a bare file name";
    } else if (mode == nullptr || !isFileMode(mode)) {
        refusal = "not a file mode";
    } else if (!isSharingMode(sharing)) {
        refusal = "not a sharing mode";
    }
    if (!refusal.empty()) {
        host().trace().call(52534, "fileOpen", arguments, "null (" + refusal + ")");
        return nullptr;
    }
    const std::string utf8Name = toUtf8(name);
    const std::filesystem::path path =
        host().directory() / std::filesystem::path(std::u8string(utf8Name.begin(), utf8Name.end()));
    std::FILE* stream = openShared(path, mode, sharing);
    if (stream == nullptr) {
        host().trace().call(52534, "fileOpen", arguments, "null (cannot open)");
        return nullptr;
    }
    const std::uint64_t serial = host().files().add(stream, path, mode);
    host().trace().call(52534, "fileOpen", arguments, "stream " + std::to_string(serial));
    return stream;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattributes"

// 22562: builds a holder in the caller's storage around the handle from the
// file open. A null handle, or one the host did not hand out, makes a holder
// that holds nothing.
void* KORPUS_THISCALL holderConstruct(void* holder, void* handle) {
    const std::string shown = streamName(handle);
    if (holder == nullptr) {
        host().trace().call(22562, "holderConstruct", {tracePointer(holder), {shown}}, "null");
        return nullptr;
    }
    HolderState state{liveHolder, 0, 0, nullptr};
    if (const OpenFile* file = host().files().find(handle)) {
        state.ownsStream = 1;
        state.serial = file->serial;
        state.stream = static_cast<std::FILE*>(handle);
    }
    writeHolder(holder, state);
    host().trace().call(22562, "holderConstruct", {tracePointer(holder, "holder"), {shown}}, "holder");
    return holder;
}

// 22567: hands the stream over; the holder keeps nothing to close.
void* KORPUS_THISCALL holderTakeStream(void* holder) {
    if (holder == nullptr || readHolder(holder).marker != liveHolder) {
        host().trace().call(22567, "holderTakeStream", {tracePointer(holder, "not a holder")}, "null");
        return nullptr;
    }
    HolderState state = readHolder(holder);
    if (host().config().holderTakeStreamThrows) {
        host().trace().call(22567, "holderTakeStream", {tracePointer(holder, "holder")}, "throws");
        throw std::runtime_error("the host's file holder failed to hand out its stream");
    }
    std::FILE* stream = state.ownsStream != 0 && stillOpen(state) ? state.stream : nullptr;
    state.ownsStream = 0;
    state.stream = nullptr;
    writeHolder(holder, state);
    host().trace().call(22567, "holderTakeStream", {tracePointer(holder, "holder")}, streamName(stream));
    return stream;
}

// 22563: closes a stream the holder still owns. Destroying twice, or storage
// that holds no holder, closes nothing.
void KORPUS_THISCALL holderDestroy(void* holder) {
    if (holder == nullptr || readHolder(holder).marker != liveHolder) {
        host().trace().call(22563, "holderDestroy", {tracePointer(holder, "not a holder")});
        return;
    }
    HolderState state = readHolder(holder);
    std::string closed;
    if (state.ownsStream != 0 && stillOpen(state)) {
        closed = "closes " + streamName(state.stream);
        host().files().close(state.stream);
    }
    writeHolder(holder, HolderState{deadHolder, 0, 0, nullptr});
    host().trace().call(22563, "holderDestroy", {tracePointer(holder, "holder")}, closed);
}

#pragma GCC diagnostic pop

// 52307, 52308: elements transferred, 0 for anything the host cannot do.
template <typename Buffer, typename Transfer>
std::int32_t transfer(std::uint16_t ordinal, const char* service, Buffer* buffer, std::int32_t elementSize,
                      std::int32_t count, void* stream, Transfer move) {
    const std::vector<TraceValue> arguments = {
        tracePointer(buffer, "buffer"), traceNumber(elementSize), traceNumber(count), {streamName(stream)}};
    std::size_t done = 0;
    if (buffer != nullptr && elementSize > 0 && count > 0 && host().files().find(stream) != nullptr) {
        done = move(buffer, static_cast<std::size_t>(elementSize), static_cast<std::size_t>(count),
                    static_cast<std::FILE*>(stream));
    }
    const auto result = static_cast<std::int32_t>(done);
    host().trace().call(ordinal, service, arguments, std::to_string(result));
    return result;
}

std::int32_t fileRead(void* buffer, std::int32_t elementSize, std::int32_t count, void* stream) {
    return transfer(52307, "fileRead", buffer, elementSize, count, stream,
                    [](void* into, std::size_t size, std::size_t elements, std::FILE* file) {
                        return std::fread(into, size, elements, file);
                    });
}

std::int32_t fileWrite(const void* buffer, std::int32_t elementSize, std::int32_t count, void* stream) {
    return transfer(52308, "fileWrite", buffer, elementSize, count, stream,
                    [](const void* from, std::size_t size, std::size_t elements, std::FILE* file) {
                        const std::size_t written = std::fwrite(from, size, elements, file);
                        // Others share the file: what was written is there for them at once.
                        std::fflush(file);
                        return written;
                    });
}

// 52305: 0 when closed, -1 for a stream the host does not have open.
std::int32_t fileClose(void* stream) {
    const std::string shown = streamName(stream);
    const std::int32_t result = host().files().close(stream) ? 0 : -1;
    host().trace().call(52305, "fileClose", {{shown}}, std::to_string(result));
    return result;
}

}  // namespace

void registerFileServices(ServiceMap& services) {
    services[52534] = serviceAddress(&fileOpen);
    services[22562] = serviceAddress(&holderConstruct);
    services[22567] = serviceAddress(&holderTakeStream);
    services[22563] = serviceAddress(&holderDestroy);
    services[52307] = serviceAddress(&fileRead);
    services[52308] = serviceAddress(&fileWrite);
    services[52305] = serviceAddress(&fileClose);
}

}  // namespace korpus
