// Calling the emulated host's services the way the plug-in does: through the
// address the host exports under an ordinal, with the service's own signature.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#include "emulator/core/host.h"

namespace korpus::testing {

template <typename Fn>
Fn* serviceOf(Host& host, std::uint16_t ordinal) {
    const CodeAddress address = host.service(ordinal);
    if (address == nullptr) {
        throw std::logic_error("the host exports no service " + std::to_string(ordinal));
    }
    return reinterpret_cast<Fn*>(address);
}

// Names the cases of a parameterised test by their `name` field.
struct CaseName {
    template <typename Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
        return info.param.name;
    }
};

}  // namespace korpus::testing
