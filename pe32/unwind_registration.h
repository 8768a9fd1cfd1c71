// Lets a C++ exception of this process pass through the frames of a loaded
// library.
//
// A host may throw out of a service that the library called; the exception
// then has to cross the library's frames on its way back to the host. This
// process's unwinder knows nothing of the library's code, so without help it
// would stop there and terminate the program. The library's own call frame
// information (.eh_frame) describes how to step over each of its frames; it
// is handed to the unwinder as a copy that names no personality routine: the
// library's routine belongs to the library's own C++ runtime, which cannot
// take part in an exception of this process. An exception therefore passes
// through the library without running its cleanups, which is what a Windows
// host's exception (structured exception handling) does to a library built
// with DWARF unwind tables, as MinGW builds i386 libraries.
#pragma once

namespace pe32 {

class Module;

// Null when the image has no call frame information.
void* registerUnwindInfo(const Module& module);
void deregisterUnwindInfo(void* registration);

}  // namespace pe32
