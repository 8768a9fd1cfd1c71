// KERNEL32.dll as far as the libraries we load need it. Each function keeps
// the contract Windows documents for it, including the last-error value of a
// failure; what this runner cannot do is a failure the caller sees, and a
// note in the process says why.
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "pe32/module.h"
#include "pe32/process.h"
#include "pe32/system_functions.h"
#include "pe32/thread_environment.h"

namespace pe32 {

void setLastError(std::uint32_t error) { tebField<std::uint32_t>(teb::lastErrorValue) = error; }

namespace {

using BOOL = std::int32_t;
using DWORD = std::uint32_t;
using HANDLE = void*;

constexpr BOOL winTrue = 1;
constexpr BOOL winFalse = 0;

constexpr DWORD errorInvalidHandle = 6;
constexpr DWORD errorBadLength = 24;
constexpr DWORD errorInvalidParameter = 87;
constexpr DWORD errorInsufficientBuffer = 122;
constexpr DWORD errorModNotFound = 126;
constexpr DWORD errorProcNotFound = 127;
constexpr DWORD errorTooManyPosts = 298;
constexpr DWORD errorInvalidAddress = 487;
constexpr DWORD errorNoAccess = 998;

constexpr DWORD waitObject0 = 0;
constexpr DWORD waitTimeout = 0x102;
constexpr DWORD waitFailed = 0xFFFFFFFF;
constexpr DWORD infinite = 0xFFFFFFFF;

std::string programPath() {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string("Z:\\program.exe") : windowsPath(path.string());
}

// ---- modules ----

DWORD PE32_WINAPI GetModuleFileNameA(HANDLE module, char* buffer, DWORD size) {
    const std::optional<std::string> path =
        module == nullptr ? std::optional<std::string>(programPath()) : Process::instance().modulePath(module);
    if (!path) {
        setLastError(errorModNotFound);
        return 0;
    }
    if (size == 0 || buffer == nullptr) {
        setLastError(errorInsufficientBuffer);
        return 0;
    }
    if (path->size() < size) {
        std::memcpy(buffer, path->c_str(), path->size() + 1);
        setLastError(0);
        return static_cast<DWORD>(path->size());
    }
    // Cut and terminated, as Windows Vista and later do.
    std::memcpy(buffer, path->data(), size - 1);
    buffer[size - 1] = '\0';
    setLastError(errorInsufficientBuffer);
    return size;
}

HANDLE findModuleOrFail(const std::string& name) {
    HANDLE handle = Process::instance().findModule(name);
    if (handle == nullptr) {
        setLastError(errorModNotFound);
    }
    return handle;
}

// The program itself has no image here; its handle only names it.
HANDLE programHandle() {
    static HANDLE handle = Process::instance().addVirtualModule(
        VirtualModule{std::filesystem::path(programPath()).filename().string(), programPath(), {}, {}});
    return handle;
}

HANDLE PE32_WINAPI GetModuleHandleA(const char* name) {
    return name == nullptr ? programHandle() : findModuleOrFail(name);
}

HANDLE PE32_WINAPI GetModuleHandleW(const std::uint16_t* name) {
    if (name == nullptr) {
        return programHandle();
    }
    std::string narrow;
    for (; *name != 0; ++name) {
        if (*name >= 0x80) {
            setLastError(errorModNotFound);  // no module of ours has such a name
            return nullptr;
        }
        narrow += static_cast<char>(*name);
    }
    return findModuleOrFail(narrow);
}

const void* PE32_WINAPI GetProcAddress(HANDLE module, const char* identifier) {
    if (!Process::instance().hasModule(module)) {
        setLastError(errorModNotFound);
        return nullptr;
    }
    const void* found = nullptr;
    try {
        found = Process::instance().findExport(module, identifier);
    } catch (const std::exception& error) {
        Process::instance().note(std::string("GetProcAddress failed: ") + error.what());
    }
    if (found == nullptr) {
        setLastError(errorProcNotFound);
    }
    return found;
}

HANDLE PE32_WINAPI LoadLibraryA(const char* name) {
    if (name == nullptr) {
        setLastError(errorInvalidParameter);
        return nullptr;
    }
    HANDLE handle = Process::instance().findModule(name);
    if (handle == nullptr) {
        Process::instance().note(std::string("LoadLibraryA(\"") + name +
                                 "\") refused: this runner loads no library on a library's request");
        setLastError(errorModNotFound);
    }
    return handle;
}

BOOL PE32_WINAPI FreeLibrary(HANDLE module) {
    if (!Process::instance().hasModule(module)) {
        setLastError(errorInvalidHandle);
        return winFalse;
    }
    // The modules' lifetimes belong to whoever loaded them here.
    return winTrue;
}

// ---- debugger ----

BOOL PE32_WINAPI IsDebuggerPresent() { return Process::instance().debuggerPresent() ? winTrue : winFalse; }

void PE32_WINAPI OutputDebugStringA(const char* text) { Process::instance().debugOutput(text); }

// ---- errors, threads, time ----

DWORD PE32_WINAPI GetLastError() { return tebField<std::uint32_t>(teb::lastErrorValue); }

void PE32_WINAPI SetLastError(DWORD error) { setLastError(error); }

DWORD PE32_WINAPI GetCurrentThreadId() { return tebField<std::uint32_t>(teb::threadId); }

void PE32_WINAPI Sleep(DWORD milliseconds) {
    if (milliseconds == 0) {
        std::this_thread::yield();
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

// ---- critical sections ----

// The caller's 24 bytes; the lock itself lives where DebugInfo points.
struct CriticalSection {
    std::recursive_mutex* lock;
    std::int32_t lockCount;
    std::int32_t recursionCount;
    std::uint32_t owningThread;
    HANDLE lockSemaphore;
    std::uint32_t spinCount;
};
static_assert(sizeof(CriticalSection) == 24);

void PE32_WINAPI InitializeCriticalSection(CriticalSection* section) {
    *section = CriticalSection{new std::recursive_mutex, -1, 0, 0, nullptr, 0};
}

void PE32_WINAPI DeleteCriticalSection(CriticalSection* section) {
    delete section->lock;
    section->lock = nullptr;
}

std::recursive_mutex& lockOf(CriticalSection* section, const char* operation) {
    if (section->lock == nullptr) {
        std::fprintf(stderr, "pe32: %s on a critical section at %p that was never initialised\n", operation,
                     static_cast<void*>(section));
        std::abort();
    }
    return *section->lock;
}

void PE32_WINAPI EnterCriticalSection(CriticalSection* section) {
    lockOf(section, "EnterCriticalSection").lock();
    ++section->lockCount;
    ++section->recursionCount;
    section->owningThread = tebField<std::uint32_t>(teb::threadId);
}

void PE32_WINAPI LeaveCriticalSection(CriticalSection* section) {
    std::recursive_mutex& lock = lockOf(section, "LeaveCriticalSection");
    if (--section->recursionCount == 0) {
        section->owningThread = 0;
    }
    --section->lockCount;
    lock.unlock();
}

// ---- thread-local storage slots ----

std::mutex tlsMutex;
std::array<bool, teb::tlsSlotCount> tlsSlotUsed{};

void*& tlsSlot(DWORD index) { return tebField<void*>(teb::tlsSlots + 4 * index); }

DWORD PE32_WINAPI TlsAlloc() {
    std::lock_guard lock(tlsMutex);
    for (DWORD index = 0; index < tlsSlotUsed.size(); ++index) {
        if (!tlsSlotUsed[index]) {
            tlsSlotUsed[index] = true;
            tlsSlot(index) = nullptr;
            return index;
        }
    }
    return 0xFFFFFFFF;  // TLS_OUT_OF_INDEXES
}

BOOL PE32_WINAPI TlsFree(DWORD index) {
    std::lock_guard lock(tlsMutex);
    if (index >= tlsSlotUsed.size() || !tlsSlotUsed[index]) {
        setLastError(errorInvalidParameter);
        return winFalse;
    }
    tlsSlotUsed[index] = false;
    tlsSlot(index) = nullptr;
    return winTrue;
}

void* PE32_WINAPI TlsGetValue(DWORD index) {
    if (index >= teb::tlsSlotCount) {
        setLastError(errorInvalidParameter);
        return nullptr;
    }
    // Success clears the last error: a stored null is told from a failure.
    setLastError(0);
    return tlsSlot(index);
}

BOOL PE32_WINAPI TlsSetValue(DWORD index, void* value) {
    if (index >= teb::tlsSlotCount) {
        setLastError(errorInvalidParameter);
        return winFalse;
    }
    tlsSlot(index) = value;
    return winTrue;
}

// ---- semaphores and handles ----

struct Semaphore {
    std::mutex mutex;
    std::condition_variable available;
    std::int32_t count;
    std::int32_t maximum;
};

std::mutex handleMutex;
std::map<HANDLE, std::shared_ptr<Semaphore>> semaphores;
std::uintptr_t nextHandle = 0x1000;

std::shared_ptr<Semaphore> semaphoreOf(HANDLE handle) {
    std::lock_guard lock(handleMutex);
    const auto found = semaphores.find(handle);
    return found != semaphores.end() ? found->second : nullptr;
}

HANDLE PE32_WINAPI CreateSemaphoreW(void* /*attributes*/, std::int32_t initial, std::int32_t maximum,
                                    const std::uint16_t* name) {
    if (name != nullptr) {
        Process::instance().note("CreateSemaphoreW refused a named semaphore: this runner has unnamed ones only");
        setLastError(errorInvalidParameter);
        return nullptr;
    }
    if (maximum <= 0 || initial < 0 || initial > maximum) {
        setLastError(errorInvalidParameter);
        return nullptr;
    }
    auto semaphore = std::make_shared<Semaphore>();
    semaphore->count = initial;
    semaphore->maximum = maximum;
    std::lock_guard lock(handleMutex);
    HANDLE handle = reinterpret_cast<HANDLE>(nextHandle);
    nextHandle += 4;
    semaphores[handle] = std::move(semaphore);
    return handle;
}

BOOL PE32_WINAPI ReleaseSemaphore(HANDLE handle, std::int32_t count, std::int32_t* previous) {
    const std::shared_ptr<Semaphore> semaphore = semaphoreOf(handle);
    if (semaphore == nullptr) {
        setLastError(errorInvalidHandle);
        return winFalse;
    }
    std::lock_guard lock(semaphore->mutex);
    if (count <= 0 || count > semaphore->maximum - semaphore->count) {
        setLastError(count <= 0 ? errorInvalidParameter : errorTooManyPosts);
        return winFalse;
    }
    if (previous != nullptr) {
        *previous = semaphore->count;
    }
    semaphore->count += count;
    semaphore->available.notify_all();
    return winTrue;
}

DWORD PE32_WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    const std::shared_ptr<Semaphore> semaphore = semaphoreOf(handle);
    if (semaphore == nullptr) {
        setLastError(errorInvalidHandle);
        return waitFailed;
    }
    std::unique_lock lock(semaphore->mutex);
    const auto signalled = [&semaphore] { return semaphore->count > 0; };
    if (milliseconds == infinite) {
        semaphore->available.wait(lock, signalled);
    } else if (!semaphore->available.wait_for(lock, std::chrono::milliseconds(milliseconds), signalled)) {
        return waitTimeout;
    }
    --semaphore->count;
    return waitObject0;
}

BOOL PE32_WINAPI CloseHandle(HANDLE handle) {
    std::lock_guard lock(handleMutex);
    if (semaphores.erase(handle) == 0) {
        setLastError(errorInvalidHandle);
        return winFalse;
    }
    return winTrue;
}

// ---- memory of loaded images ----

struct MemoryBasicInformation {
    const void* baseAddress;
    const void* allocationBase;
    DWORD allocationProtect;
    std::uint32_t regionSize;
    DWORD state;
    DWORD protect;
    DWORD type;
};
static_assert(sizeof(MemoryBasicInformation) == 28);

std::uint32_t PE32_WINAPI VirtualQuery(const void* address, MemoryBasicInformation* information, std::uint32_t length) {
    if (information == nullptr || length < sizeof(MemoryBasicInformation)) {
        setLastError(errorBadLength);
        return 0;
    }
    const Module* image = Process::instance().imageContaining(address);
    if (image == nullptr) {
        Process::instance().note("VirtualQuery refused: this runner knows the memory of loaded images only");
        setLastError(errorInvalidParameter);
        return 0;
    }
    const auto page = reinterpret_cast<std::uintptr_t>(address) & ~std::uintptr_t{0xFFF};
    *information = MemoryBasicInformation{reinterpret_cast<const void*>(page),
                                          image->handle(),
                                          0x80,  // PAGE_EXECUTE_WRITECOPY, as for every image
                                          image->regionSize(reinterpret_cast<const void*>(page)),
                                          0x1000,  // MEM_COMMIT
                                          image->pageProtection(address),
                                          0x1000000};  // MEM_IMAGE
    return sizeof(MemoryBasicInformation);
}

BOOL PE32_WINAPI VirtualProtect(const void* address, std::uint32_t size, DWORD protection, DWORD* previous) {
    if (previous == nullptr) {
        setLastError(errorNoAccess);
        return winFalse;
    }
    Module* image = Process::instance().imageContaining(address);
    if (image == nullptr) {
        Process::instance().note("VirtualProtect refused: this runner protects the memory of loaded images only");
        setLastError(errorInvalidAddress);
        return winFalse;
    }
    if (!image->protect(address, size, protection, previous)) {
        setLastError(errorInvalidParameter);
        return winFalse;
    }
    return winTrue;
}

// ---- code pages ----

// The ANSI code page of this process is 1252, as on a western Windows.
constexpr std::array<std::uint16_t, 32> cp1252High = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool knownCodePage(std::uint32_t codePage) {
    return codePage == 0 /* CP_ACP */ || codePage == 1 /* CP_OEMCP */ || codePage == 3 /* CP_THREAD_ACP */ ||
           codePage == 1252;
}

bool refuseCodePage(std::uint32_t codePage) {
    if (knownCodePage(codePage)) {
        return false;
    }
    Process::instance().note("code page " + std::to_string(codePage) + " refused: this runner knows 1252 only");
    setLastError(errorInvalidParameter);
    return true;
}

std::uint16_t toUnicode(std::uint8_t byte) { return byte >= 0x80 && byte < 0xA0 ? cp1252High[byte - 0x80] : byte; }

std::optional<std::uint8_t> fromUnicode(std::uint16_t unit) {
    if (unit < 0x80 || (unit >= 0xA0 && unit < 0x100)) {
        return static_cast<std::uint8_t>(unit);
    }
    for (std::size_t i = 0; i < cp1252High.size(); ++i) {
        if (cp1252High[i] == unit) {
            return static_cast<std::uint8_t>(0x80 + i);
        }
    }
    return std::nullopt;
}

BOOL PE32_WINAPI IsDBCSLeadByteEx(std::uint32_t codePage, std::uint8_t /*byte*/) {
    if (refuseCodePage(codePage)) {
        return winFalse;
    }
    return winFalse;  // a single-byte code page has no lead bytes
}

std::int32_t PE32_WINAPI MultiByteToWideChar(std::uint32_t codePage, DWORD /*flags*/, const char* source,
                                             std::int32_t sourceLength, std::uint16_t* target,
                                             std::int32_t targetLength) {
    if (refuseCodePage(codePage)) {
        return 0;
    }
    if (source == nullptr || targetLength < 0 || (targetLength > 0 && target == nullptr)) {
        setLastError(errorInvalidParameter);
        return 0;
    }
    const std::size_t length = sourceLength < 0 ? std::strlen(source) + 1 : static_cast<std::size_t>(sourceLength);
    if (targetLength == 0) {
        return static_cast<std::int32_t>(length);
    }
    if (length > static_cast<std::size_t>(targetLength)) {
        setLastError(errorInsufficientBuffer);
        return 0;
    }
    for (std::size_t i = 0; i < length; ++i) {
        target[i] = toUnicode(static_cast<std::uint8_t>(source[i]));
    }
    return static_cast<std::int32_t>(length);
}

std::int32_t PE32_WINAPI WideCharToMultiByte(std::uint32_t codePage, DWORD /*flags*/, const std::uint16_t* source,
                                             std::int32_t sourceLength, char* target, std::int32_t targetLength,
                                             const char* defaultCharacter, BOOL* usedDefault) {
    if (refuseCodePage(codePage)) {
        return 0;
    }
    if (source == nullptr || targetLength < 0 || (targetLength > 0 && target == nullptr)) {
        setLastError(errorInvalidParameter);
        return 0;
    }
    std::size_t length = static_cast<std::size_t>(sourceLength);
    if (sourceLength < 0) {
        length = 0;
        while (source[length] != 0) {
            ++length;
        }
        ++length;
    }
    if (usedDefault != nullptr) {
        *usedDefault = winFalse;
    }
    if (targetLength != 0 && length > static_cast<std::size_t>(targetLength)) {
        setLastError(errorInsufficientBuffer);
        return 0;
    }
    for (std::size_t i = 0; i < length; ++i) {
        std::optional<std::uint8_t> byte = fromUnicode(source[i]);
        if (!byte) {
            byte = static_cast<std::uint8_t>(defaultCharacter != nullptr ? *defaultCharacter : '?');
            if (usedDefault != nullptr) {
                *usedDefault = winTrue;
            }
        }
        if (targetLength != 0) {
            target[i] = static_cast<char>(*byte);
        }
    }
    return static_cast<std::int32_t>(length);
}

const SystemExport kernel32[] = {
    {"CloseHandle", exported(&CloseHandle)},
    {"CreateSemaphoreW", exported(&CreateSemaphoreW)},
    {"DeleteCriticalSection", exported(&DeleteCriticalSection)},
    {"EnterCriticalSection", exported(&EnterCriticalSection)},
    {"FreeLibrary", exported(&FreeLibrary)},
    {"GetCurrentThreadId", exported(&GetCurrentThreadId)},
    {"GetLastError", exported(&GetLastError)},
    {"GetModuleFileNameA", exported(&GetModuleFileNameA)},
    {"GetModuleHandleA", exported(&GetModuleHandleA)},
    {"GetModuleHandleW", exported(&GetModuleHandleW)},
    {"GetProcAddress", exported(&GetProcAddress)},
    {"InitializeCriticalSection", exported(&InitializeCriticalSection)},
    {"IsDBCSLeadByteEx", exported(&IsDBCSLeadByteEx)},
    {"IsDebuggerPresent", exported(&IsDebuggerPresent)},
    {"LeaveCriticalSection", exported(&LeaveCriticalSection)},
    {"LoadLibraryA", exported(&LoadLibraryA)},
    {"MultiByteToWideChar", exported(&MultiByteToWideChar)},
    {"OutputDebugStringA", exported(&OutputDebugStringA)},
    {"ReleaseSemaphore", exported(&ReleaseSemaphore)},
    {"SetLastError", exported(&SetLastError)},
    {"Sleep", exported(&Sleep)},
    {"TlsAlloc", exported(&TlsAlloc)},
    {"TlsFree", exported(&TlsFree)},
    {"TlsGetValue", exported(&TlsGetValue)},
    {"TlsSetValue", exported(&TlsSetValue)},
    {"VirtualProtect", exported(&VirtualProtect)},
    {"VirtualQuery", exported(&VirtualQuery)},
    {"WaitForSingleObject", exported(&WaitForSingleObject)},
    {"WideCharToMultiByte", exported(&WideCharToMultiByte)},
};

}  // namespace

std::span<const SystemExport> kernel32Exports() { return kernel32; }

}  // namespace pe32
