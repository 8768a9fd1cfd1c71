// The fuzzer's bytes, read from the front; past the end every byte is 0, so a
// short input still describes a complete case.
#pragma once

#include <cstddef>
#include <cstdint>

namespace scalarka::fuzzing {

struct FuzzInput {
    const std::uint8_t* data;
    std::size_t size;

    std::uint8_t next() {
        if (size == 0) {
            return 0;
        }
        --size;
        return *data++;
    }
    // Four bytes, the first the most significant.
    std::uint32_t word() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            value = (value << 8) | next();
        }
        return value;
    }
};

}  // namespace scalarka::fuzzing
