// The emulator's reading of a form definition from any bytes: it either
// yields a form or refuses with FormError; nothing else may escape, and no
// byte outside the input may be read.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "emulator/core/form.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const korpus::Form form = korpus::parseForm(std::string_view(reinterpret_cast<const char*>(data), size));
        // A form read from the bytes never claims more than they hold.
        if (form.size() > size || form.items.size() != form.itemCount) {
            __builtin_trap();
        }
        for (const korpus::FormRecord& item : form.items) {
            if (item.offset >= size) {
                __builtin_trap();
            }
        }
    } catch (const korpus::FormError&) {
    }
    return 0;
}
