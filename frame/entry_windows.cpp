// The library's entry point on Windows.
//
// The host relies on the plug-in knowing who it is and which host functions
// exist before anything else in the library runs. MinGW's runtime would call
// our hooks only after its own start-up, so the library's entry point is ours:
// on process attach it runs the attach routine and the binding pass, and only
// then hands over to the runtime's start-up.
#include <windows.h>

#include "frame/lifecycle.h"

extern "C" BOOL WINAPI DllMainCRTStartup(HANDLE module, DWORD reason, LPVOID reserved);

extern "C" BOOL WINAPI scalarkaEntry(HINSTANCE module, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        scalarka::attachLibrary(module);
    }
    return DllMainCRTStartup(module, reason, reserved);
}
