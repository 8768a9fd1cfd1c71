#include "pe32/thread_environment.h"

#include <asm/ldt.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pe32/process.h"

namespace pe32 {
namespace {

// The process environment block: zero but for what the libraries may read.
std::uint8_t* processEnvironmentBlockPage() {
    static std::uint8_t* const page = [] {
        void* memory = mmap(nullptr, teb::size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) {
            std::fputs("pe32: cannot allocate the process environment block\n", stderr);
            std::abort();
        }
        return static_cast<std::uint8_t*>(memory);
    }();
    return page;
}

// LDT entries, one per thread that has run Windows code; never reused while
// the process lives, which keeps a stale selector from reaching another TEB.
std::atomic<unsigned> nextLdtEntry{1};

void writeLdtEntry(unsigned entry, std::uint32_t base, std::uint32_t limit, bool present) {
    user_desc descriptor{};
    descriptor.entry_number = entry;
    descriptor.base_addr = base;
    descriptor.limit = limit;
    descriptor.seg_32bit = 1;
    descriptor.contents = 0;  // data, growing up
    descriptor.read_exec_only = 0;
    descriptor.limit_in_pages = 0;
    descriptor.seg_not_present = present ? 0 : 1;
    descriptor.useable = present ? 1 : 0;
    // modify_ldt(1, ...): write one entry.
    if (syscall(SYS_modify_ldt, 1, &descriptor, sizeof descriptor) != 0) {
        std::fprintf(stderr, "pe32: modify_ldt failed for entry %u: %s\n", entry, std::strerror(errno));
        std::abort();
    }
}

struct ThreadEnvironment {
    std::uint8_t* teb = nullptr;
    unsigned ldtEntry = 0;
    std::uint16_t selector = 0;
    std::array<void*, teb::tlsSlotCount> implicitTls{};

    ThreadEnvironment() {
        void* memory = mmap(nullptr, teb::size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) {
            std::fputs("pe32: cannot allocate a thread environment block\n", stderr);
            std::abort();
        }
        teb = static_cast<std::uint8_t*>(memory);
        auto put = [this](std::uint32_t offset, std::uint32_t value) { std::memcpy(teb + offset, &value, 4); };
        // No structured exception handler is registered: the chain's end.
        put(teb::exceptionList, 0xFFFFFFFFu);
        pthread_attr_t attributes;
        void* stackLow = nullptr;
        std::size_t stackSize = 0;
        if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
            pthread_attr_getstack(&attributes, &stackLow, &stackSize);
            pthread_attr_destroy(&attributes);
        }
        put(teb::stackBase, static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(stackLow) + stackSize));
        put(teb::stackLimit, static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(stackLow)));
        put(teb::self, static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(teb)));
        put(teb::processId, static_cast<std::uint32_t>(getpid()));
        put(teb::threadId, static_cast<std::uint32_t>(syscall(SYS_gettid)));
        put(teb::threadLocalStoragePointer,
            static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(implicitTls.data())));
        put(teb::processEnvironmentBlock,
            static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(processEnvironmentBlockPage())));
        ldtEntry = nextLdtEntry.fetch_add(1);
        if (ldtEntry >= 8192) {
            std::fputs("pe32: no local descriptor table entry is left for another thread\n", stderr);
            std::abort();
        }
        writeLdtEntry(ldtEntry, static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(teb)), teb::size - 1, true);
        // Table indicator 1 (LDT), requested privilege level 3.
        selector = static_cast<std::uint16_t>((ldtEntry << 3) | 7);
        Process::instance().threadStarted(implicitTls.data());
    }

    ~ThreadEnvironment() {
        Process::instance().threadEnded(implicitTls.data());
        writeLdtEntry(ldtEntry, 0, 0, false);
        munmap(teb, teb::size);
    }

    ThreadEnvironment(const ThreadEnvironment&) = delete;
    ThreadEnvironment& operator=(const ThreadEnvironment&) = delete;
};

ThreadEnvironment& thisThread() {
    thread_local ThreadEnvironment environment;
    return environment;
}

void loadFs(std::uint16_t selector) { __asm__ volatile("movw %0, %%fs" : : "r"(selector) : "memory"); }

void loadControlWord(std::uint16_t word) { __asm__ volatile("fldcw %0" : : "m"(word)); }

}  // namespace

std::uint8_t* currentTeb() { return thisThread().teb; }

std::uint16_t currentTebSelector() { return thisThread().selector; }

std::uint8_t* processEnvironmentBlock() { return processEnvironmentBlockPage(); }

std::uint16_t currentFs() {
    std::uint16_t value = 0;
    __asm__ volatile("movw %%fs, %0" : "=r"(value));
    return value;
}

std::uint16_t currentX87ControlWord() {
    std::uint16_t word = 0;
    __asm__ volatile("fnstcw %0" : "=m"(word));
    return word;
}

WindowsThreadScope::WindowsThreadScope() : savedFs_(currentFs()), savedControlWord_(currentX87ControlWord()) {
    loadFs(currentTebSelector());
    loadControlWord(extendedPrecisionControlWord);
}

WindowsThreadScope::~WindowsThreadScope() {
    loadControlWord(savedControlWord_);
    loadFs(savedFs_);
}

}  // namespace pe32
