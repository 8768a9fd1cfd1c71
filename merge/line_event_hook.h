// The plug-in's handler on the host's line table.
#pragma once

#include <cstdint>

#include "host/table_descriptor.h"

namespace scalarka {

// The trigger filter: when the options choose this event and this kind of
// document, merges the document's lines and returns 0; otherwise returns 1.
// Reads the options file every time.
std::int32_t mergeOnTrigger(std::int32_t eventCode, std::int32_t documentKind, ItemRecord** lines,
                            std::int32_t lineCount, std::intptr_t eventArgument);

// Takes the table's events in place of the host's handler and hands every one
// of them on to it, with its eleven arguments as they came.
std::int32_t lineEventHook(std::intptr_t eventCode, std::intptr_t documentKind, std::int32_t* lineCount,
                           ItemRecord** lines, std::intptr_t arg5, std::intptr_t eventArgument, std::intptr_t arg7,
                           std::intptr_t arg8, std::intptr_t arg9, std::intptr_t arg10, std::intptr_t arg11);

}  // namespace scalarka
