// A call through an entry that has not been bound yet: it must reach the host
// function as if the caller had called it directly, or the operation's refusal
// when the host lacks the function, never an empty address.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <string>

#include "host/host_services.h"
#include "host/host_table.h"
#include "tests/plugin/call_harness.h"
#include "tests/plugin/fake_platform.h"
#include "tests/plugin/host_table_state.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace scalarka {

// What the fake host functions saw.
struct Seen {
    void* object = nullptr;
    std::int32_t argument = 0;
    void* returnAddress = nullptr;
    std::intptr_t withdrawal[12] = {};
    std::string formatted;
};
Seen seen;

}  // namespace scalarka

// The fake host functions. The Windows test program exports them under the
// host's ordinals (plugin_tests.def), so that there the system's own lookup
// finds them in this program's module.
using scalarka::ItemRecord;
using scalarka::seen;

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattributes"
// A host method, as the file holder's constructor is.
extern "C" __attribute__((noinline)) std::int32_t SCALARKA_THISCALL lazyFakeConstruct(void* object,
                                                                                      std::int32_t argument) {
    seen.object = object;
    seen.argument = argument;
    seen.returnAddress = __builtin_return_address(0);
    return argument + 1;
}
#pragma GCC diagnostic pop

extern "C" void* lazyFakeWithdrawal(std::int32_t a1, std::intptr_t a2, ItemRecord** a3, std::int32_t* a4,
                                    std::int32_t a5, std::int32_t a6, std::int32_t a7, std::int32_t a8, std::int32_t a9,
                                    std::int32_t a10, std::int32_t a11, std::int32_t a12) {
    const std::intptr_t all[12] = {
        a1,  a2, reinterpret_cast<std::intptr_t>(a3), reinterpret_cast<std::intptr_t>(a4), a5, a6, a7, a8, a9, a10,
        a11, a12};
    std::copy(std::begin(all), std::end(all), std::begin(seen.withdrawal));
    return &seen;
}

extern "C" std::int32_t lazyFakeFormattedBox(std::int32_t, const char*, const char* format, std::int32_t,
                                             std::int32_t last, ...) {
    va_list values;
    va_start(values, last);
    char text[256];
    std::vsnprintf(text, sizeof text, format, values);
    va_end(values);
    seen.formatted = text;
    return 0;
}

namespace scalarka {
namespace {

using testing::fakePlatform;

template <typename Fn>
CodeAddress code(Fn* function) {
    return reinterpret_cast<CodeAddress>(function);
}

class LazyResolver : public ::testing::Test {
   protected:
    void SetUp() override {
        testing::restoreUnboundHostTable();
        fakePlatform() = {};
        seen = {};
    }
    void TearDown() override { testing::restoreUnboundHostTable(); }

    // A host module that exports the three fakes.
    static void hostWithFakes() {
#if defined(_WIN32)
        hostModule = GetModuleHandleA(nullptr);
#else
        fakePlatform().exports = {
            {22562, code(lazyFakeConstruct)}, {52004, code(lazyFakeWithdrawal)}, {35802, code(lazyFakeFormattedBox)}};
        hostModule = testing::fakeHostModule();
#endif
    }

    // A host module that exports none of the host's ordinals.
    static void hostWithoutFunctions() {
#if defined(_WIN32)
        hostModule = GetModuleHandleA("KERNEL32");
#else
        hostModule = testing::fakeHostModule();
#endif
    }
};

TEST_F(LazyResolver, MethodCallArrivesWithObjectArgumentAndReturnAddressIntact) {
    hostWithFakes();
    char object[24];
    std::int32_t moved = -1;

    const std::int32_t result = callWithObject(hostFunctionTable[hostHolderConstructIndex].target, object, 41, &moved);

    EXPECT_EQ(result, 42);
    EXPECT_EQ(seen.object, object);
    EXPECT_EQ(seen.argument, 41);
    EXPECT_EQ(seen.returnAddress, reinterpret_cast<void*>(&harnessReturnPoint)) << "the host must return to the caller";
    EXPECT_EQ(moved, 0) << "the method pops its own argument; nothing else may move the stack";
    EXPECT_EQ(hostFunctionTable[hostHolderConstructIndex].target, code(lazyFakeConstruct)) << "bound from now on";
    EXPECT_EQ(missingOrdinals.missCount, 0u);
}

TEST_F(LazyResolver, TwelveArgumentsReachTheHostUnchanged) {
    hostWithFakes();
    ItemRecord* lines[1] = {};
    std::int32_t count = 3;

    hostApprovalWithdrawal(806, 0x12345, lines, &count);

    const std::intptr_t expected[12] = {
        806, 0x12345, reinterpret_cast<std::intptr_t>(lines), reinterpret_cast<std::intptr_t>(&count), 0, 0, 0, 1, 0, 0,
        0,   0};
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(seen.withdrawal[i], expected[i]) << "argument " << i + 1;
    }
}

TEST_F(LazyResolver, VariadicCallKeepsItsValues) {
    hostWithFakes();
    hostFormattedMessageBox("STOP!!!", "%s|%d|%08X", "tekst", -5, 0xBEEFu);
    EXPECT_EQ(seen.formatted, "tekst|-5|0000BEEF");
}

TEST_F(LazyResolver, MissingMethodIsRefusedAndStillPopsItsArgument) {
    hostWithoutFunctions();
    char object[24];
    std::int32_t moved = -1;
    const std::int32_t result = callWithObject(hostFunctionTable[hostHolderConstructIndex].target, object, 41, &moved);
    EXPECT_EQ(result, static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(object)))
        << "the refusal leaves the holder empty and returns it";
    EXPECT_EQ(moved, 0);
    EXPECT_EQ(hostFunctionTable[hostHolderConstructIndex].target, nullptr);
    EXPECT_EQ(missingOrdinals.missCount, 1u);
    EXPECT_EQ(missingOrdinals.missing[0], 22562);
}

TEST_F(LazyResolver, EachMissingOperationTakesItsSafeRefusal) {
    hostWithoutFunctions();
    char buffer[8] = "x";
    EXPECT_EQ(hostHandshake(nullptr, buffer, sizeof buffer), -1) << "the handshake refuses";
    EXPECT_EQ(hostInterfaceVersion(), 0) << "no version is not version 112";
    EXPECT_EQ(hostTableDescriptor(45), nullptr);
    EXPECT_EQ(hostHandlerLookup(), nullptr);
    EXPECT_NE(hostTextComparison("a", "a"), 0) << "texts of a host without comparison never match";
    EXPECT_EQ(hostSymbolParser("2000123005009", buffer, 8, nullptr, nullptr) & 0xFFFF, 0);
    EXPECT_NE(hostDialogService(nullptr, 20110, nullptr, 0) & 0xFFFF, 0x5001) << "a missing dialog is cancelled";
    EXPECT_EQ(hostFileOpen("Scalarka.dat", "rb"), nullptr);
    EXPECT_EQ(missingOrdinals.missCount, 8u);
    // Called again: the entries are now empty, and the same refusals answer.
    EXPECT_EQ(hostHandshake(nullptr, nullptr, 0), -1);
    EXPECT_EQ(hostTableDescriptor(44), nullptr);
    EXPECT_EQ(missingOrdinals.missCount, 8u) << "an empty entry is not looked up again";
}

}  // namespace
}  // namespace scalarka
