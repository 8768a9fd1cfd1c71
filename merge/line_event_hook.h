// The plug-in's handler on the host's line table.
#pragma once

#include <cstdint>

#include "host/table_descriptor.h"

namespace scalarka {

// Takes the table's events in place of the host's handler and hands every one
// of them on to it, with its eleven arguments as they came.
std::int32_t lineEventHook(std::intptr_t eventCode, std::intptr_t documentKind, std::int32_t* lineCount,
                           ItemRecord** lines, std::intptr_t arg5, std::intptr_t eventArgument, std::intptr_t arg7,
                           std::intptr_t arg8, std::intptr_t arg9, std::intptr_t arg10, std::intptr_t arg11);

}  // namespace scalarka
