// Loading the options from whatever bytes "Scalarka.dat" holds, through the
// host's file services (the fake host of the plug-in tests): every stream is
// closed, every holder destroyed, and the record is either the file's first
// eight bytes or empty.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "options/merge_options.h"
#include "tests/plugin/fake_host.h"

using scalarka::testing::fakeHost;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    scalarka::testing::installFakeHost();
    // The first byte shapes the host: a read that answers less than asked, a
    // file that cannot be opened.
    const std::uint8_t shape = size > 0 ? data[0] : 0;
    const std::string contents(reinterpret_cast<const char*>(data) + (size > 0 ? 1 : 0), size > 0 ? size - 1 : 0);
    if ((shape & 0x01) == 0) {
        fakeHost().files[scalarka::optionsFileName] = contents;
    }
    if ((shape & 0x02) != 0) {
        fakeHost().readLimit = (shape >> 2) & 0x03;
    }
    if ((shape & 0x10) != 0) {
        fakeHost().failingModes.insert("rb");
    }
    std::memset(&scalarka::mergeOptions, 0xCD, sizeof scalarka::mergeOptions);

    scalarka::loadMergeOptions();

    if (fakeHost().openStreams() != 0 || fakeHost().holderMisaligned ||
        fakeHost().holdersBuilt.size() != fakeHost().holdersDestroyed.size()) {
        __builtin_trap();
    }
    // Whatever the host did, the record is the file's first eight bytes or
    // empty; the file's bytes only when it was there, readable, long enough.
    // Empty: all zero without a file, only the always-compared attributes
    // after a file that could not be read whole.
    const unsigned char none[sizeof(scalarka::MergeOptions)] = {};
    scalarka::MergeOptions reset{};
    reset.comparedAttributes = scalarka::alwaysComparedAttributes;
    const bool empty = std::memcmp(&scalarka::mergeOptions, none, sizeof none) == 0 ||
                       std::memcmp(&scalarka::mergeOptions, &reset, sizeof reset) == 0;
    const bool readable = (shape & 0x11) == 0 && contents.size() >= sizeof none;
    const bool fromFile = readable && std::memcmp(&scalarka::mergeOptions, contents.data(), sizeof none) == 0;
    // With every read answered in full, a readable file must be taken.
    const bool mustTakeFile = readable && (shape & 0x02) == 0;
    if (!(fromFile || (empty && !mustTakeFile))) {
        __builtin_trap();
    }
    return 0;
}
