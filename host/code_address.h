// The one type in which the plug-in keeps the address of code it does not
// call directly (host functions, its own thunks).
#pragma once

namespace scalarka {

using CodeAddress = void (*)();

// The platform's convention for the host's file-holder methods: on i386 the
// object travels in ECX and the callee pops its stack arguments; x86_64 has
// one convention, in which the object is simply the first argument.
#if defined(__i386__)
#define SCALARKA_THISCALL __attribute__((thiscall))
#else
#define SCALARKA_THISCALL
#endif

}  // namespace scalarka
