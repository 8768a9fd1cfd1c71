// The options dialog, drawn by the host from the plug-in's form.
#pragma once

#include <cstdint>

namespace scalarka {

// Loads the options, lets the user edit them, saves them on OK. Returns 0.
std::int32_t runOptionsDialog(std::int32_t argument);

}  // namespace scalarka
