// Calls `target` the way the host's own code calls a method: the object in
// ECX on i386 (first argument on x86_64) and one stack argument. Reports how
// far the stack pointer moved over the call (0 when the callee popped its
// argument as a method must) and returns the callee's 32-bit result.
#pragma once

#include <cstdint>

#include "host/code_address.h"

extern "C" std::int32_t callWithObject(scalarka::CodeAddress target, void* object, std::int32_t argument,
                                       std::int32_t* stackMovement);

// The instruction right after the harness's call.
extern "C" void harnessReturnPoint();
