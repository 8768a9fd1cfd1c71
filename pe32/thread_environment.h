// The Windows thread that code of a loaded library believes it runs on.
//
// Code compiled for Windows reaches its thread environment block (TEB)
// through the %fs segment: MinGW's library start-up, for one, takes the
// thread's stack base from it as the owner of its start-up lock. Linux on
// i386 leaves %fs unused, so each thread that runs such code gets a TEB of
// its own and a local descriptor table entry whose base is that TEB.
#pragma once

#include <cstdint>

namespace pe32 {

// The layout offsets that code compiled for Windows reads.
namespace teb {
inline constexpr std::uint32_t exceptionList = 0x00;
inline constexpr std::uint32_t stackBase = 0x04;
inline constexpr std::uint32_t stackLimit = 0x08;
inline constexpr std::uint32_t self = 0x18;
inline constexpr std::uint32_t processId = 0x20;
inline constexpr std::uint32_t threadId = 0x24;
inline constexpr std::uint32_t threadLocalStoragePointer = 0x2C;
inline constexpr std::uint32_t processEnvironmentBlock = 0x30;
inline constexpr std::uint32_t lastErrorValue = 0x34;
inline constexpr std::uint32_t tlsSlots = 0xE10;
inline constexpr std::uint32_t tlsSlotCount = 64;
inline constexpr std::uint32_t size = 0x1000;
}  // namespace teb

// The x87 control word a host may leave: all exceptions masked, 64-bit
// (extended) precision, round to nearest.
inline constexpr std::uint16_t extendedPrecisionControlWord = 0x037F;

// The calling thread's TEB, created on first use. Its memory stays valid for
// the thread's lifetime.
std::uint8_t* currentTeb();
std::uint16_t currentTebSelector();

template <typename T>
T& tebField(std::uint32_t offset) {
    return *reinterpret_cast<T*>(currentTeb() + offset);
}

// While it lives, %fs addresses the thread's TEB and the x87 unit runs at
// extended precision; both are put back as they were when it ends. Scopes
// nest.
class WindowsThreadScope {
   public:
    WindowsThreadScope();
    ~WindowsThreadScope();
    WindowsThreadScope(const WindowsThreadScope&) = delete;
    WindowsThreadScope& operator=(const WindowsThreadScope&) = delete;

   private:
    std::uint16_t savedFs_;
    std::uint16_t savedControlWord_;
};

// The segment register and control word as they are now (for tests).
std::uint16_t currentFs();
std::uint16_t currentX87ControlWord();

}  // namespace pe32
