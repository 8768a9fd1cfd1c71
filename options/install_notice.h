// The notice that tells the user the plug-in is installed.
#pragma once

#include <cstdint>

namespace scalarka {

// Shows the notice unless the host's plug-in INI says not to. Returns 0.
std::int32_t showInstallNotice();

}  // namespace scalarka
