#include "pe32/unwind_registration.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "pe32/module.h"

// libgcc's registration of call frame information found at run time.
extern "C" void __register_frame(void* begin);
extern "C" void __deregister_frame(void* begin);

namespace pe32 {
namespace {

constexpr std::uint8_t encodingOmit = 0xFF;
constexpr std::uint8_t encodingAbsolute = 0x00;

struct Reader {
    const std::uint8_t* position;
    const std::uint8_t* end;
    std::string library;

    void need(std::size_t count) const {
        if (static_cast<std::size_t>(end - position) < count) {
            throw LoadError(library + ": its call frame information (.eh_frame) is cut short");
        }
    }
    std::uint8_t byte() {
        need(1);
        return *position++;
    }
    template <typename T>
    T fixed() {
        need(sizeof(T));
        T value;
        std::memcpy(&value, position, sizeof value);
        position += sizeof value;
        return value;
    }
    std::uint32_t uleb() {
        std::uint32_t value = 0;
        for (unsigned shift = 0;; shift += 7) {
            const std::uint8_t part = byte();
            if (shift < 32) {
                value |= static_cast<std::uint32_t>(part & 0x7F) << shift;
            }
            if ((part & 0x80) == 0) {
                return value;
            }
        }
    }
    std::int32_t sleb() {
        std::int32_t value = 0;
        unsigned shift = 0;
        std::uint8_t part = 0;
        do {
            part = byte();
            if (shift < 32) {
                value |= static_cast<std::int32_t>(static_cast<std::uint32_t>(part & 0x7F) << shift);
            }
            shift += 7;
        } while ((part & 0x80) != 0);
        if (shift < 32 && (part & 0x40) != 0) {
            value |= static_cast<std::int32_t>(~0u << shift);
        }
        return value;
    }
    // A pointer in one of DWARF's encodings, as an address.
    std::uint32_t pointer(std::uint8_t encoding) {
        const auto fieldAddress = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(position));
        std::uint32_t value = 0;
        switch (encoding & 0x0F) {
            case 0x00:  // absolute, pointer-sized
            case 0x03:  // udata4
            case 0x0B:  // sdata4
                value = fixed<std::uint32_t>();
                break;
            case 0x02: value = fixed<std::uint16_t>(); break;
            case 0x0A: value = static_cast<std::uint32_t>(static_cast<std::int32_t>(fixed<std::int16_t>())); break;
            case 0x01: value = uleb(); break;
            case 0x09: value = static_cast<std::uint32_t>(sleb()); break;
            default:
                throw LoadError(library + ": pointer encoding " + std::to_string(encoding) +
                                " in its call frame information");
        }
        switch (encoding & 0x70) {
            case 0x00: break;
            case 0x10:  // relative to the field itself
                value += fieldAddress;
                break;
            default:
                throw LoadError(library + ": pointer application " + std::to_string(encoding & 0x70) +
                                " in its call frame information");
        }
        return value;
    }
};

struct Writer {
    std::vector<std::uint8_t> bytes;

    void byte(std::uint8_t value) { bytes.push_back(value); }
    void word(std::uint32_t value) {
        const auto* raw = reinterpret_cast<const std::uint8_t*>(&value);
        bytes.insert(bytes.end(), raw, raw + 4);
    }
    void uleb(std::uint32_t value) {
        do {
            std::uint8_t part = value & 0x7F;
            value >>= 7;
            if (value != 0) {
                part |= 0x80;
            }
            byte(part);
        } while (value != 0);
    }
    void sleb(std::int32_t value) {
        bool more = true;
        while (more) {
            std::uint8_t part = static_cast<std::uint8_t>(value & 0x7F);
            value >>= 7;
            more = !((value == 0 && (part & 0x40) == 0) || (value == -1 && (part & 0x40) != 0));
            if (more) {
                part |= 0x80;
            }
            byte(part);
        }
    }
    // Opens a record: its length is filled in by close().
    std::size_t open() {
        const std::size_t start = bytes.size();
        word(0);
        return start;
    }
    void close(std::size_t start) {
        while ((bytes.size() - start) % 4 != 0) {
            byte(0);  // DW_CFA_nop
        }
        const auto length = static_cast<std::uint32_t>(bytes.size() - start - 4);
        std::memcpy(bytes.data() + start, &length, 4);
    }
};

struct CieInfo {
    std::uint8_t fdeEncoding = encodingAbsolute;
    bool hasAugmentationData = false;
    std::size_t rewrittenOffset = 0;
};

std::string unknownAugmentation(const std::string& library, const std::string& augmentation) {
    std::string text = library;
    text += ": augmentation \"";
    text += augmentation;
    text += "\" in its call frame information, which this runner does not know";
    return text;
}

struct Registration {
    std::vector<std::uint8_t> frames;
};

}  // namespace

void* registerUnwindInfo(const Module& module) {
    const auto* section = static_cast<const std::uint8_t*>(module.section(".eh_frame"));
    const std::uint32_t size = module.sectionSize(".eh_frame");
    if (section == nullptr || size == 0) {
        return nullptr;
    }
    const std::string library = module.path().filename().string();
    Writer out;
    std::vector<std::pair<const std::uint8_t*, CieInfo>> cies;
    const std::uint8_t* position = section;
    const std::uint8_t* const end = section + size;
    while (end - position >= 4) {
        Reader header{position, end, library};
        const std::uint32_t length = header.fixed<std::uint32_t>();
        if (length == 0) {
            break;  // the terminator
        }
        if (length == 0xFFFFFFFF || length > static_cast<std::uint32_t>(end - header.position)) {
            throw LoadError(library + ": a malformed record in its call frame information");
        }
        const std::uint8_t* recordEnd = header.position + length;
        const std::uint8_t* idField = header.position;
        const std::uint32_t id = header.fixed<std::uint32_t>();
        Reader in{header.position, recordEnd, library};
        if (id == 0) {
            CieInfo info;
            const std::uint8_t version = in.byte();
            std::string augmentation;
            for (char c = static_cast<char>(in.byte()); c != '\0'; c = static_cast<char>(in.byte())) {
                augmentation += c;
            }
            const std::uint32_t codeAlignment = in.uleb();
            const std::int32_t dataAlignment = in.sleb();
            const std::uint32_t returnRegister = version == 1 ? in.byte() : in.uleb();
            bool signalFrame = false;
            if (!augmentation.empty() && augmentation[0] == 'z') {
                info.hasAugmentationData = true;
                const std::uint32_t dataLength = in.uleb();
                Reader data{in.position, in.position + dataLength, library};
                data.need(dataLength);
                for (std::size_t i = 1; i < augmentation.size(); ++i) {
                    switch (augmentation[i]) {
                        case 'R': info.fdeEncoding = data.byte(); break;
                        case 'L':
                            data.byte();  // the LSDA belongs to the personality we leave out
                            break;
                        case 'P': {
                            const std::uint8_t encoding = data.byte();
                            if (encoding != encodingOmit) {
                                data.pointer(encoding & 0x7F);
                            }
                            break;
                        }
                        case 'S': signalFrame = true; break;
                        default: throw LoadError(unknownAugmentation(library, augmentation));
                    }
                }
                in.position += dataLength;
            } else if (!augmentation.empty()) {
                throw LoadError(unknownAugmentation(library, augmentation));
            }
            info.rewrittenOffset = out.bytes.size();
            const std::size_t start = out.open();
            out.word(0);  // a CIE
            out.byte(1);
            for (const char c : std::string(signalFrame ? "zRS" : "zR")) {
                out.byte(static_cast<std::uint8_t>(c));
            }
            out.byte(0);
            out.uleb(codeAlignment);
            out.sleb(dataAlignment);
            out.byte(static_cast<std::uint8_t>(returnRegister));
            out.uleb(1);
            out.byte(encodingAbsolute);
            out.bytes.insert(out.bytes.end(), in.position, recordEnd);
            out.close(start);
            cies.emplace_back(position, info);
        } else {
            const std::uint8_t* cieStart = idField - id;
            const CieInfo* info = nullptr;
            for (const auto& [cieAddress, cieInfo] : cies) {
                if (cieAddress == cieStart) {
                    info = &cieInfo;
                }
            }
            if (info == nullptr) {
                throw LoadError(library + ": a frame description names no earlier CIE");
            }
            const std::uint32_t begin = in.pointer(info->fdeEncoding);
            const std::uint32_t range = in.pointer(info->fdeEncoding & 0x0F);
            if (info->hasAugmentationData) {
                const std::uint32_t dataLength = in.uleb();
                in.need(dataLength);
                in.position += dataLength;
            }
            const std::size_t start = out.open();
            out.word(static_cast<std::uint32_t>(out.bytes.size() - info->rewrittenOffset));
            out.word(begin);
            out.word(range);
            out.uleb(0);
            out.bytes.insert(out.bytes.end(), in.position, recordEnd);
            out.close(start);
        }
        position = recordEnd;
    }
    out.word(0);
    auto* registration = new Registration{std::move(out.bytes)};
    __register_frame(registration->frames.data());
    return registration;
}

void deregisterUnwindInfo(void* registration) {
    auto* frames = static_cast<Registration*>(registration);
    __deregister_frame(frames->frames.data());
    delete frames;
}

}  // namespace pe32
