// A stand-in for the process the plug-in lives in: a host module with the
// exports a test gives it, and a debugger whose output a test can read.
// On Windows the real system answers instead, and these have no effect.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "host/code_address.h"

namespace scalarka::testing {

struct FakePlatform {
    std::map<std::uint16_t, CodeAddress> exports;
    bool debuggerAttached = false;
    std::vector<std::string> debugOutput;
    // Exports every ordinal of the host function table at a distinct address
    // (never called), except those listed.
    void exportTable(const std::vector<std::uint16_t>& except = {});
};

FakePlatform& fakePlatform();
void* fakeHostModule();

}  // namespace scalarka::testing
