#include "pe32/module.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "pe32/pe_format.h"
#include "pe32/unwind_registration.h"

namespace pe32 {
namespace {

constexpr std::uint32_t pageSize = 0x1000;

std::string hex(std::uintptr_t value) {
    std::ostringstream text;
    text << "0x" << std::hex << value;
    return text.str();
}

std::uint32_t pagesFor(std::uint32_t bytes) { return (bytes + pageSize - 1) / pageSize; }

// Windows page protections and the access bits they stand for.
constexpr std::uint32_t pageNoAccess = 0x01;
constexpr std::uint32_t pageReadOnly = 0x02;
constexpr std::uint32_t pageReadWrite = 0x04;
constexpr std::uint32_t pageWriteCopy = 0x08;
constexpr std::uint32_t pageExecute = 0x10;
constexpr std::uint32_t pageExecuteRead = 0x20;
constexpr std::uint32_t pageExecuteReadWrite = 0x40;
constexpr std::uint32_t pageExecuteWriteCopy = 0x80;

std::uint32_t protectionFor(bool read, bool write, bool execute) {
    if (execute) {
        return write ? pageExecuteReadWrite : read ? pageExecuteRead : pageExecute;
    }
    return write ? pageReadWrite : read ? pageReadOnly : pageNoAccess;
}

std::optional<int> posixProtection(std::uint32_t protection) {
    switch (protection) {
        case pageNoAccess: return PROT_NONE;
        case pageReadOnly: return PROT_READ;
        case pageReadWrite:
        case pageWriteCopy: return PROT_READ | PROT_WRITE;
        case pageExecute: return PROT_EXEC;
        case pageExecuteRead: return PROT_READ | PROT_EXEC;
        case pageExecuteReadWrite:
        case pageExecuteWriteCopy: return PROT_READ | PROT_WRITE | PROT_EXEC;
        default: return std::nullopt;
    }
}

std::vector<std::uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw LoadError(path.string() + ": cannot open the file");
    }
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

template <typename T>
T readAt(const std::vector<std::uint8_t>& file, std::uint64_t offset, const std::string& what,
         const std::string& name) {
    if (offset + sizeof(T) > file.size()) {
        throw LoadError(name + ": the file ends inside its " + what);
    }
    T value;
    std::memcpy(&value, file.data() + offset, sizeof value);
    return value;
}

// A name longer than eight characters is "/" and its offset in the COFF
// string table, where the linker keeps one; without that table the linker
// cuts the name to eight characters.
std::string sectionName(const std::vector<std::uint8_t>& file, const format::FileHeader& header,
                        const format::SectionHeader& section) {
    std::string name(section.name, strnlen(section.name, sizeof section.name));
    if (name.size() < 2 || name[0] != '/' || header.pointerToSymbolTable == 0 ||
        name.find_first_not_of("0123456789", 1) != std::string::npos) {
        return name;
    }
    const std::uint64_t strings =
        std::uint64_t{header.pointerToSymbolTable} + std::uint64_t{header.numberOfSymbols} * 18;
    const std::uint64_t at = strings + std::stoul(name.substr(1));
    if (at >= file.size()) {
        return name;
    }
    const auto* start = reinterpret_cast<const char*>(file.data() + at);
    return std::string(start, strnlen(start, file.size() - at));
}

// Whether a section called `actual` in the image is the one asked for.
bool sameSectionName(const std::string& actual, std::string_view wanted) {
    constexpr std::size_t shortName = 8;
    return actual == wanted || (wanted.size() > shortName && actual == wanted.substr(0, shortName));
}

}  // namespace

Module::Module(std::filesystem::path path) : path_(std::move(path)) {}

std::unique_ptr<Module> Module::load(const std::filesystem::path& path) {
    const std::vector<std::uint8_t> file = readFile(path);
    std::unique_ptr<Module> module(new Module(path));
    module->map(file);
    module->relocate();
    Process::instance().addImage(module.get(), module->base_, path.filename().string(),
                                 windowsPath(std::filesystem::absolute(path).string()));
    module->registered_ = true;
    module->bindImports();
    module->applyProtections();
    module->setUpTls();
    module->unwindInfo_ = registerUnwindInfo(*module);
    WindowsThreadScope scope;
    module->callTlsCallbacks(dllProcessAttach);
    module->attached_ = true;
    if (!module->callEntryPoint(dllProcessAttach, nullptr)) {
        // The loader tells a library that refused the attach of its detach
        // at once, and the load fails.
        module->detach();
        throw LoadError(path.filename().string() + ": the entry point refused DLL_PROCESS_ATTACH");
    }
    return module;
}

Module::~Module() {
    try {
        WindowsThreadScope scope;
        detach();
    } catch (const std::exception& error) {
        // A destructor cannot pass it on; the image goes all the same.
        std::fprintf(stderr, "pe32: detaching %s failed: %s\n", path_.filename().c_str(), error.what());
    }
    unmap();
}

void Module::detach() {
    if (!attached_) {
        return;
    }
    attached_ = false;
    callTlsCallbacks(dllProcessDetach);
    callEntryPoint(dllProcessDetach, nullptr);
}

void Module::unmap() {
    if (unwindInfo_ != nullptr) {
        deregisterUnwindInfo(unwindInfo_);
        unwindInfo_ = nullptr;
    }
    if (tlsIndex_) {
        Process::instance().removeTlsTemplate(*tlsIndex_);
        tlsIndex_.reset();
    }
    if (registered_) {
        Process::instance().removeImage(this);
        registered_ = false;
    }
    if (base_ != nullptr) {
        munmap(base_, imageSize_);
        base_ = nullptr;
    }
}

template <typename T>
T* Module::at(std::uint32_t rva, std::uint32_t count) const {
    const std::uint64_t end = std::uint64_t{rva} + std::uint64_t{sizeof(T)} * count;
    if (end > imageSize_) {
        throw LoadError(path_.filename().string() + ": RVA " + hex(rva) + " lies outside the image");
    }
    return reinterpret_cast<T*>(static_cast<std::uint8_t*>(base_) + rva);
}

const char* Module::stringAt(std::uint32_t rva) const {
    const char* start = at<const char>(rva);
    const auto* end = static_cast<const char*>(std::memchr(start, '\0', imageSize_ - rva));
    if (end == nullptr) {
        throw LoadError(path_.filename().string() + ": the text at RVA " + hex(rva) + " runs past the image");
    }
    return start;
}

void Module::map(const std::vector<std::uint8_t>& file) {
    const std::string name = path_.filename().string();
    const auto dos = readAt<format::DosHeader>(file, 0, "DOS header", name);
    if (dos.magic != format::dosMagic) {
        throw LoadError(name + ": not a PE file (no MZ signature)");
    }
    if (dos.ntHeadersOffset < 0) {
        throw LoadError(name + ": not a PE file (negative header offset)");
    }
    const auto nt =
        readAt<format::NtHeaders32>(file, static_cast<std::uint32_t>(dos.ntHeadersOffset), "PE headers", name);
    if (nt.signature != format::ntSignature) {
        throw LoadError(name + ": not a PE file (no PE signature)");
    }
    if (nt.file.machine != format::machineI386) {
        throw LoadError(name + ": built for machine " + hex(nt.file.machine) + ", not i386 (0x14c)");
    }
    if (nt.optional.magic != format::optionalMagicPe32) {
        throw LoadError(name + ": optional header magic " + hex(nt.optional.magic) + ", not PE32 (0x10b)");
    }
    if ((nt.file.characteristics & format::fileDll) == 0) {
        throw LoadError(name + ": not a DLL");
    }
    if (nt.optional.sectionAlignment != pageSize) {
        throw LoadError(name + ": section alignment " + hex(nt.optional.sectionAlignment) +
                        "; this runner maps sections page by page (0x1000)");
    }
    if (nt.optional.sizeOfImage == 0 || nt.optional.sizeOfHeaders > nt.optional.sizeOfImage ||
        nt.optional.sizeOfHeaders > file.size()) {
        throw LoadError(name + ": inconsistent image or header size");
    }
    imageSize_ = pagesFor(nt.optional.sizeOfImage) * pageSize;
    preferredBase_ = nt.optional.imageBase;
    entryRva_ = nt.optional.addressOfEntryPoint;
    fileCharacteristics_ = nt.file.characteristics;
    ntHeadersRva_ = static_cast<std::uint32_t>(dos.ntHeadersOffset);

    const std::uint64_t sectionTable =
        static_cast<std::uint64_t>(dos.ntHeadersOffset) + 4 + sizeof(format::FileHeader) + nt.file.sizeOfOptionalHeader;
    for (std::uint16_t i = 0; i < nt.file.numberOfSections; ++i) {
        const auto header = readAt<format::SectionHeader>(
            file, sectionTable + std::uint64_t{i} * sizeof(format::SectionHeader), "section table", name);
        Section section{sectionName(file, nt.file, header), header.virtualAddress,
                        std::max(header.virtualSize, header.sizeOfRawData), header.characteristics};
        if (std::uint64_t{section.rva} + section.size > imageSize_) {
            throw LoadError(name + ": section " + section.name + " lies outside the image");
        }
        if (header.sizeOfRawData != 0 && std::uint64_t{header.pointerToRawData} + header.sizeOfRawData > file.size()) {
            throw LoadError(name + ": the file ends inside section " + section.name);
        }
        sections_.push_back(section);
    }

    // The preferred base first; anywhere else means relocating.
    void* hint = reinterpret_cast<void*>(preferredBase_);
    void* memory = mmap(hint, imageSize_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) {
        throw LoadError(name + ": cannot reserve " + hex(imageSize_) + " bytes for the image");
    }
    base_ = memory;
    std::memcpy(base_, file.data(), nt.optional.sizeOfHeaders);
    for (std::uint16_t i = 0; i < nt.file.numberOfSections; ++i) {
        const auto header = readAt<format::SectionHeader>(
            file, sectionTable + std::uint64_t{i} * sizeof(format::SectionHeader), "section table", name);
        // Raw data beyond the virtual size belongs to the file's alignment,
        // not to the section; what the raw data lacks stays zero.
        const std::uint32_t length =
            header.virtualSize != 0 ? std::min(header.virtualSize, header.sizeOfRawData) : header.sizeOfRawData;
        if ((header.characteristics & format::sectionUninitialized) == 0 && length != 0) {
            std::memcpy(static_cast<std::uint8_t*>(base_) + header.virtualAddress,
                        file.data() + header.pointerToRawData, length);
        }
    }
}

void Module::relocate() {
    const std::intptr_t delta = static_cast<std::intptr_t>(base() - preferredBase_);
    if (delta == 0) {
        return;
    }
    const std::string name = path_.filename().string();
    const auto& directory = at<format::NtHeaders32>(ntHeadersRva_)->optional.directories[format::relocationDirectory];
    if ((fileCharacteristics_ & format::fileRelocsStripped) != 0 || directory.size == 0) {
        throw LoadError(name + ": its preferred base " + hex(preferredBase_) +
                        " is taken and it carries no base relocations");
    }
    std::uint32_t offset = 0;
    while (offset + sizeof(format::RelocationBlock) <= directory.size) {
        const auto* block = at<format::RelocationBlock>(directory.virtualAddress + offset);
        if (block->blockSize < sizeof(format::RelocationBlock) || offset + block->blockSize > directory.size) {
            throw LoadError(name + ": a malformed base relocation block at offset " + hex(offset));
        }
        const std::uint32_t count = (block->blockSize - sizeof(format::RelocationBlock)) / 2;
        const auto* entries =
            at<std::uint16_t>(directory.virtualAddress + offset + sizeof(format::RelocationBlock), count);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint16_t type = entries[i] >> 12;
            const std::uint32_t rva = block->pageRva + (entries[i] & 0x0FFFu);
            if (type == format::relocationAbsolute) {
                continue;  // padding
            }
            if (type != format::relocationHighLow) {
                throw LoadError(name + ": base relocation of type " + std::to_string(type) + " at RVA " + hex(rva) +
                                ", which i386 images do not use");
            }
            auto* target = at<std::uint8_t>(rva, 4);
            std::uint32_t value;
            std::memcpy(&value, target, 4);
            value += static_cast<std::uint32_t>(delta);
            std::memcpy(target, &value, 4);
        }
        offset += block->blockSize;
    }
}

void Module::bindImports() {
    const auto& directory = at<format::NtHeaders32>(ntHeadersRva_)->optional.directories[format::importDirectory];
    if (directory.size == 0) {
        return;
    }
    std::vector<std::string> missing;
    for (std::uint32_t offset = 0;; offset += sizeof(format::ImportDescriptor)) {
        const auto* descriptor = at<format::ImportDescriptor>(directory.virtualAddress + offset);
        if (descriptor->name == 0 && descriptor->firstThunk == 0) {
            break;
        }
        const std::string library = stringAt(descriptor->name);
        const std::uint32_t lookup =
            descriptor->originalFirstThunk != 0 ? descriptor->originalFirstThunk : descriptor->firstThunk;
        for (std::uint32_t i = 0;; ++i) {
            const std::uint32_t entry = *at<std::uint32_t>(lookup + 4 * i);
            if (entry == 0) {
                break;
            }
            const void* address = nullptr;
            std::string what;
            if ((entry & format::importByOrdinal) != 0) {
                const auto ordinal = static_cast<std::uint16_t>(entry & 0xFFFFu);
                address = Process::instance().resolveImport(library, ordinal);
                what = library + "!#" + std::to_string(ordinal);
            } else {
                const char* function = stringAt(entry + 2);  // after the 16-bit hint
                address = Process::instance().resolveImport(library, function);
                what = library + "!" + function;
            }
            if (address == nullptr) {
                missing.push_back(what);
            }
            *at<std::uint32_t>(descriptor->firstThunk + 4 * i) =
                static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(address));
        }
    }
    if (!missing.empty()) {
        std::string text = path_.filename().string() + ": " + std::to_string(missing.size()) +
                           " imported function(s) that this runner does not provide:";
        for (const std::string& what : missing) {
            text += " " + what;
        }
        throw LoadError(text);
    }
}

void Module::applyProtections() {
    struct Access {
        bool read = false;
        bool write = false;
        bool execute = false;
    };
    std::vector<Access> pages(imageSize_ / pageSize);
    const auto& optional = at<format::NtHeaders32>(ntHeadersRva_)->optional;
    for (std::uint32_t page = 0; page < pagesFor(optional.sizeOfHeaders); ++page) {
        pages[page].read = true;
    }
    for (const Section& section : sections_) {
        if (section.size == 0) {
            continue;
        }
        for (std::uint32_t page = section.rva / pageSize; page < pagesFor(section.rva + section.size); ++page) {
            pages[page].read |= (section.characteristics & format::sectionRead) != 0;
            pages[page].write |= (section.characteristics & format::sectionWrite) != 0;
            pages[page].execute |= (section.characteristics & format::sectionExecute) != 0;
        }
    }
    pageProtections_.clear();
    for (std::uint32_t page = 0; page < pages.size(); ++page) {
        const std::uint32_t protection = protectionFor(pages[page].read, pages[page].write, pages[page].execute);
        pageProtections_.push_back(protection);
        if (mprotect(static_cast<std::uint8_t*>(base_) + page * pageSize, pageSize, *posixProtection(protection)) !=
            0) {
            throw LoadError(path_.filename().string() + ": cannot protect page " + std::to_string(page));
        }
    }
}

void Module::setUpTls() {
    const auto& directory = at<format::NtHeaders32>(ntHeadersRva_)->optional.directories[format::tlsDirectory];
    if (directory.size == 0) {
        return;
    }
    const auto* tls = at<format::TlsDirectory32>(directory.virtualAddress);
    const auto rvaOf = [this](std::uint32_t address, const char* what) {
        if (address < base() || address - base() >= imageSize_) {
            throw LoadError(path_.filename().string() + ": the TLS " + what + " " + hex(address) +
                            " lies outside the image");
        }
        return static_cast<std::uint32_t>(address - base());
    };
    const std::uint32_t start = tls->startOfRawData != 0 ? rvaOf(tls->startOfRawData, "data") : 0;
    const std::uint32_t size = tls->endOfRawData > tls->startOfRawData ? tls->endOfRawData - tls->startOfRawData : 0;
    const std::uint8_t* data = size != 0 ? at<std::uint8_t>(start, size) : nullptr;
    tlsIndex_ = Process::instance().addTlsTemplate(data, size, tls->sizeOfZeroFill);
    if (tls->addressOfIndex != 0) {
        // The index cell may sit in a read-only page; the loader writes it
        // before the image runs, as Windows does.
        const std::uint32_t indexRva = rvaOf(tls->addressOfIndex, "index");
        const std::uint32_t page = indexRva / pageSize;
        auto* pageStart = static_cast<std::uint8_t*>(base_) + page * pageSize;
        mprotect(pageStart, pageSize, PROT_READ | PROT_WRITE);
        *at<std::uint32_t>(indexRva) = *tlsIndex_;
        mprotect(pageStart, pageSize, *posixProtection(pageProtections_[page]));
    }
    if (tls->addressOfCallbacks != 0) {
        rvaOf(tls->addressOfCallbacks, "callback list");
    }
}

void Module::callTlsCallbacks(std::uint32_t reason) {
    const auto& directory = at<format::NtHeaders32>(ntHeadersRva_)->optional.directories[format::tlsDirectory];
    if (directory.size == 0) {
        return;
    }
    const auto* tls = at<format::TlsDirectory32>(directory.virtualAddress);
    if (tls->addressOfCallbacks == 0) {
        return;
    }
    for (std::uint32_t i = 0;; ++i) {
        const std::uint32_t callback =
            *at<std::uint32_t>(tls->addressOfCallbacks - static_cast<std::uint32_t>(base()) + 4 * i);
        if (callback == 0) {
            break;
        }
        if (callback < base() || callback - base() >= imageSize_) {
            throw LoadError(path_.filename().string() + ": TLS callback " + hex(callback) + " lies outside the image");
        }
        callStdcall<void>(reinterpret_cast<Procedure>(static_cast<std::uintptr_t>(callback)), base_, reason,
                          static_cast<void*>(nullptr));
    }
}

bool Module::callEntryPoint(std::uint32_t reason, void* reserved) {
    if (entryRva_ == 0) {
        return true;
    }
    const auto entry = reinterpret_cast<Procedure>(base() + entryRva_);
    return callStdcall<std::int32_t>(entry, base_, reason, reserved) != 0;
}

const void* Module::exportAddress(std::uint16_t ordinal) const {
    const auto& directory = at<format::NtHeaders32>(ntHeadersRva_)->optional.directories[format::exportDirectory];
    if (directory.size == 0) {
        return nullptr;
    }
    const auto* exports = at<format::ExportDirectory>(directory.virtualAddress);
    if (ordinal < exports->base || ordinal - exports->base >= exports->numberOfFunctions) {
        return nullptr;
    }
    const std::uint32_t rva = *at<std::uint32_t>(exports->addressOfFunctions + 4 * (ordinal - exports->base));
    if (rva == 0) {
        return nullptr;
    }
    if (rva >= directory.virtualAddress && rva < directory.virtualAddress + directory.size) {
        Process::instance().note(path_.filename().string() + ": ordinal " + std::to_string(ordinal) +
                                 " is forwarded to " + stringAt(rva) + ", which this runner does not follow");
        return nullptr;
    }
    return at<std::uint8_t>(rva);
}

const void* Module::exportAddress(std::string_view name) const {
    const auto& directory = at<format::NtHeaders32>(ntHeadersRva_)->optional.directories[format::exportDirectory];
    if (directory.size == 0) {
        return nullptr;
    }
    const auto* exports = at<format::ExportDirectory>(directory.virtualAddress);
    for (std::uint32_t i = 0; i < exports->numberOfNames; ++i) {
        if (name == stringAt(*at<std::uint32_t>(exports->addressOfNames + 4 * i))) {
            const std::uint16_t index = *at<std::uint16_t>(exports->addressOfNameOrdinals + 2 * i);
            return exportAddress(static_cast<std::uint16_t>(exports->base + index));
        }
    }
    return nullptr;
}

Procedure Module::exportByOrdinal(std::uint16_t ordinal) const {
    return reinterpret_cast<Procedure>(const_cast<void*>(exportAddress(ordinal)));
}

Procedure Module::exportByName(std::string_view name) const {
    return reinterpret_cast<Procedure>(const_cast<void*>(exportAddress(name)));
}

void* Module::section(std::string_view name) const {
    for (const Section& section : sections_) {
        if (sameSectionName(section.name, name)) {
            return static_cast<std::uint8_t*>(base_) + section.rva;
        }
    }
    return nullptr;
}

std::uint32_t Module::sectionSize(std::string_view name) const {
    for (const Section& section : sections_) {
        if (sameSectionName(section.name, name)) {
            return section.size;
        }
    }
    return 0;
}

std::uint32_t Module::pageProtection(const void* address) const {
    const std::uintptr_t offset = reinterpret_cast<std::uintptr_t>(address) - base();
    return offset < imageSize_ ? pageProtections_[offset / pageSize] : pageNoAccess;
}

std::uint32_t Module::regionSize(const void* address) const {
    const std::uintptr_t offset = reinterpret_cast<std::uintptr_t>(address) - base();
    if (offset >= imageSize_) {
        return 0;
    }
    std::uint32_t page = static_cast<std::uint32_t>(offset / pageSize);
    const std::uint32_t protection = pageProtections_[page];
    std::uint32_t size = 0;
    while (page < pageProtections_.size() && pageProtections_[page] == protection) {
        size += pageSize;
        ++page;
    }
    return size;
}

bool Module::protect(const void* address, std::uint32_t size, std::uint32_t protection, std::uint32_t* previous) {
    const std::optional<int> posix = posixProtection(protection);
    const std::uintptr_t offset = reinterpret_cast<std::uintptr_t>(address) - base();
    if (!posix || size == 0 || offset >= imageSize_ || size > imageSize_ - offset) {
        return false;
    }
    const std::uint32_t first = static_cast<std::uint32_t>(offset / pageSize);
    const std::uint32_t last = pagesFor(static_cast<std::uint32_t>(offset) + size);
    if (mprotect(static_cast<std::uint8_t*>(base_) + first * pageSize, (last - first) * pageSize, *posix) != 0) {
        return false;
    }
    if (previous != nullptr) {
        *previous = pageProtections_[first];
    }
    std::fill(pageProtections_.begin() + first, pageProtections_.begin() + last, protection);
    return true;
}

}  // namespace pe32
