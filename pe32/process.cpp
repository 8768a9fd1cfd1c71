#include "pe32/process.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

#include "pe32/module.h"
#include "pe32/system_functions.h"
#include "pe32/thread_environment.h"

namespace pe32 {
namespace {

std::string lower(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
    return result;
}

// The name the way GetModuleHandle compares it: ".dll" supplied when the
// file name has no extension, a trailing dot meaning "exactly this name".
std::string moduleKey(std::string_view name) {
    std::string key = lower(name);
    const std::size_t separator = key.find_last_of("\\/");
    const std::string_view fileName =
        separator == std::string::npos ? std::string_view(key) : std::string_view(key).substr(separator + 1);
    if (!fileName.empty() && fileName.back() == '.') {
        key.pop_back();
    } else if (fileName.find('.') == std::string_view::npos) {
        key += ".dll";
    }
    return key;
}

bool isOrdinal(const char* identifier) { return reinterpret_cast<std::uintptr_t>(identifier) <= 0xFFFFu; }

}  // namespace

std::string windowsPath(const std::string& linuxPath) {
    std::string path = "Z:" + linuxPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

Process& Process::instance() {
    static Process process;
    return process;
}

Process::Process() {
    for (const SystemLibrary& library : systemLibraries()) {
        auto handle = std::make_unique<char>();
        Record record{handle.get(), library.fileName, "C:\\windows\\system32\\" + library.fileName, nullptr,
                      [&library](std::string_view name) { return library.find(name); }};
        modules_.push_back(std::move(record));
        virtualHandles_.push_back(std::move(handle));
    }
}

ModuleHandle Process::addVirtualModule(const VirtualModule& module) {
    std::lock_guard lock(mutex_);
    auto handle = std::make_unique<char>();
    Record record{handle.get(), module.fileName, module.path, nullptr, nullptr};
    if (module.byOrdinal) {
        record.byOrdinal = [function = module.byOrdinal](std::uint16_t ordinal) -> const void* {
            return reinterpret_cast<const void*>(function(ordinal));
        };
    }
    if (module.byName) {
        record.byName = [function = module.byName](std::string_view name) -> const void* {
            return reinterpret_cast<const void*>(function(name));
        };
    }
    modules_.push_back(std::move(record));
    virtualHandles_.push_back(std::move(handle));
    return virtualHandles_.back().get();
}

void Process::removeModule(ModuleHandle handle) {
    std::lock_guard lock(mutex_);
    std::erase_if(modules_, [handle](const Record& record) { return record.handle == handle; });
    std::erase_if(virtualHandles_, [handle](const std::unique_ptr<char>& owned) { return owned.get() == handle; });
}

void Process::addImage(Module* image, ModuleHandle handle, std::string fileName, std::string path) {
    std::lock_guard lock(mutex_);
    Record record{handle,
                  std::move(fileName),
                  std::move(path),
                  [image](std::uint16_t ordinal) { return image->exportAddress(ordinal); },
                  [image](std::string_view name) { return image->exportAddress(name); },
                  image};
    modules_.push_back(std::move(record));
}

void Process::removeImage(Module* image) {
    std::lock_guard lock(mutex_);
    std::erase_if(modules_, [image](const Record& record) { return record.image == image; });
}

Module* Process::imageContaining(const void* address) const {
    std::lock_guard lock(mutex_);
    const auto value = reinterpret_cast<std::uintptr_t>(address);
    for (const Record& record : modules_) {
        if (record.image != nullptr && value >= record.image->base() &&
            value - record.image->base() < record.image->imageSize()) {
            return record.image;
        }
    }
    return nullptr;
}

void Process::setDebugger(Debugger debugger) {
    std::lock_guard lock(mutex_);
    debugger_ = std::move(debugger);
}

bool Process::debuggerPresent() const {
    std::lock_guard lock(mutex_);
    const bool present = debugger_.present && debugger_.present();
    processEnvironmentBlock()[2] = present ? 1 : 0;  // PEB.BeingDebugged
    return present;
}

void Process::debugOutput(const char* text) const {
    std::lock_guard lock(mutex_);
    if (debugger_.output && text != nullptr) {
        debugger_.output(text);
    }
}

const Process::Record* Process::find(ModuleHandle handle) const {
    for (const Record& record : modules_) {
        if (record.handle == handle) {
            return &record;
        }
    }
    return nullptr;
}

ModuleHandle Process::findModule(std::string_view name) const {
    std::lock_guard lock(mutex_);
    const std::string key = moduleKey(name);
    const bool withPath = key.find_first_of("\\/") != std::string::npos;
    for (const Record& record : modules_) {
        if (key == lower(withPath ? record.path : record.fileName)) {
            return record.handle;
        }
    }
    return nullptr;
}

const void* Process::findExport(ModuleHandle module, const char* identifier) const {
    std::lock_guard lock(mutex_);
    const Record* record = find(module);
    if (record == nullptr || identifier == nullptr) {
        return nullptr;
    }
    if (isOrdinal(identifier)) {
        const auto ordinal = static_cast<std::uint16_t>(reinterpret_cast<std::uintptr_t>(identifier));
        return record->byOrdinal ? record->byOrdinal(ordinal) : nullptr;
    }
    return record->byName ? record->byName(identifier) : nullptr;
}

std::optional<std::string> Process::modulePath(ModuleHandle module) const {
    std::lock_guard lock(mutex_);
    const Record* record = find(module);
    return record != nullptr ? std::optional<std::string>(record->path) : std::nullopt;
}

bool Process::hasModule(ModuleHandle module) const {
    std::lock_guard lock(mutex_);
    return find(module) != nullptr;
}

const void* Process::resolveImport(std::string_view library, std::string_view name) const {
    const std::string identifier(name);
    return findExport(findModule(library), identifier.c_str());
}

const void* Process::resolveImport(std::string_view library, std::uint16_t ordinal) const {
    // The platform's spelling of an ordinal: its value in place of a name.
    return findExport(findModule(library),
                      reinterpret_cast<const char*>(std::uintptr_t{ordinal}));  // NOLINT(performance-no-int-to-ptr)
}

void Process::note(std::string text) {
    std::lock_guard lock(mutex_);
    notes_.push_back(std::move(text));
}

std::vector<std::string> Process::notes() const {
    std::lock_guard lock(mutex_);
    return notes_;
}

void Process::clearNotes() {
    std::lock_guard lock(mutex_);
    notes_.clear();
}

std::uint32_t Process::addTlsTemplate(const std::uint8_t* data, std::size_t dataSize, std::size_t zeroFill) {
    currentTeb();  // this thread gets its copy below like every other
    std::lock_guard lock(mutex_);
    std::uint32_t index = 0;
    while (index < tlsTemplates_.size() && tlsTemplates_[index].used) {
        ++index;
    }
    if (index >= teb::tlsSlotCount) {
        throw LoadError("no implicit TLS index is left for another library");
    }
    if (index == tlsTemplates_.size()) {
        tlsTemplates_.emplace_back();
    }
    TlsTemplate& entry = tlsTemplates_[index];
    entry.used = true;
    entry.initial.assign(data, data + dataSize);
    entry.initial.resize(dataSize + zeroFill, 0);
    for (void** blocks : threadBlocks_) {
        auto* copy = new std::uint8_t[std::max<std::size_t>(entry.initial.size(), 1)];
        std::memcpy(copy, entry.initial.data(), entry.initial.size());
        blocks[index] = copy;
    }
    return index;
}

void Process::removeTlsTemplate(std::uint32_t index) {
    std::lock_guard lock(mutex_);
    if (index >= tlsTemplates_.size()) {
        return;
    }
    tlsTemplates_[index] = TlsTemplate{};
    for (void** blocks : threadBlocks_) {
        delete[] static_cast<std::uint8_t*>(blocks[index]);
        blocks[index] = nullptr;
    }
}

void Process::threadStarted(void** blocks) {
    std::lock_guard lock(mutex_);
    threadBlocks_.push_back(blocks);
    for (std::uint32_t index = 0; index < tlsTemplates_.size(); ++index) {
        if (tlsTemplates_[index].used) {
            const auto& initial = tlsTemplates_[index].initial;
            auto* copy = new std::uint8_t[std::max<std::size_t>(initial.size(), 1)];
            std::memcpy(copy, initial.data(), initial.size());
            blocks[index] = copy;
        }
    }
}

void Process::threadEnded(void** blocks) {
    std::lock_guard lock(mutex_);
    std::erase(threadBlocks_, blocks);
    for (std::uint32_t index = 0; index < tlsTemplates_.size(); ++index) {
        delete[] static_cast<std::uint8_t*>(blocks[index]);
        blocks[index] = nullptr;
    }
}

}  // namespace pe32

namespace pe32 {

std::span<const SystemLibrary> systemLibraries() {
    static const SystemLibrary libraries[] = {{"kernel32.dll", kernel32Exports()}, {"msvcrt.dll", msvcrtExports()}};
    return libraries;
}

}  // namespace pe32
