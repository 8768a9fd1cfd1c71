// The code pointer in front of the options form: the first call through it
// asks the host for the handler, keeps it, and reaches it as if the caller
// had called it directly; a host without a handler gets 0 and no jump.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <iterator>
#include <string>

#include "host/host_table.h"
#include "options/options_form.h"
#include "tests/plugin/call_harness.h"
#include "tests/plugin/host_table_state.h"

namespace scalarka {
namespace {

struct Seen {
    int lookups = 0;
    int handlerCalls = 0;
    std::intptr_t integers[8] = {};
    double real = 0;
    const char* text = nullptr;
    void* object = nullptr;
    void* returnAddress = nullptr;
    std::string formatted;
};
Seen seen;

// Eight integers and a double: on x86_64 two of the integers travel on the
// stack and the double in a vector register.
__attribute__((noinline)) std::int32_t wideHandler(std::intptr_t a1, std::intptr_t a2, std::intptr_t a3,
                                                   std::intptr_t a4, std::intptr_t a5, std::intptr_t a6, double real,
                                                   std::intptr_t a7, std::intptr_t a8) {
    const std::intptr_t all[8] = {a1, a2, a3, a4, a5, a6, a7, a8};
    std::copy(std::begin(all), std::end(all), std::begin(seen.integers));
    seen.real = real;
    ++seen.handlerCalls;
    seen.returnAddress = __builtin_return_address(0);
    return 4242;
}

std::int32_t variadicHandler(const char* format, ...) {
    va_list values;
    va_start(values, format);
    char text[128];
    std::vsnprintf(text, sizeof text, format, values);
    va_end(values);
    seen.formatted = text;
    ++seen.handlerCalls;
    return 7;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattributes"
// A method of the host's, called the host's way (object in ECX on i386).
__attribute__((noinline)) std::int32_t SCALARKA_THISCALL methodHandler(void* object, std::int32_t argument) {
    seen.object = object;
    seen.integers[0] = argument;
    seen.returnAddress = __builtin_return_address(0);
    ++seen.handlerCalls;
    return argument * 2;
}
#pragma GCC diagnostic pop

CodeAddress lookupAnswer = nullptr;
CodeAddress fakeHandlerLookup() {
    ++seen.lookups;
    return lookupAnswer;
}

class FormHandlerSlot : public ::testing::Test {
   protected:
    void SetUp() override {
        testing::restoreUnboundHostTable();
        seen = {};
        lookupAnswer = nullptr;
        hostFunctionTable[hostHandlerLookupIndex].target = reinterpret_cast<CodeAddress>(&fakeHandlerLookup);
        formHandlerSlot = resolveFormHandler;
    }
    void TearDown() override {
        formHandlerSlot = resolveFormHandler;
        testing::restoreUnboundHostTable();
    }

    template <typename Fn>
    static Fn* throughSlot() {
        return reinterpret_cast<Fn*>(formHandlerSlot);
    }
};

TEST_F(FormHandlerSlot, StartsAtTheResolver) {
    testing::restoreUnboundHostTable();
    EXPECT_EQ(scalarkaOptionsForm.formHandlerSlot, reinterpret_cast<CodeAddress>(&resolveFormHandler));
}

TEST_F(FormHandlerSlot, FirstCallReachesTheHostsHandlerWithEveryArgumentAndKeepsIt) {
    lookupAnswer = reinterpret_cast<CodeAddress>(&wideHandler);
    using Fn = std::int32_t(std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t,
                            double, std::intptr_t, std::intptr_t);

    const std::int32_t result = throughSlot<Fn>()(11, -22, 33, 0x44444444, 55, 66, 2.5, 77, 88);

    EXPECT_EQ(result, 4242) << "the handler's result comes straight back";
    const std::intptr_t expected[8] = {11, -22, 33, 0x44444444, 55, 66, 77, 88};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(seen.integers[i], expected[i]) << "integer argument " << i + 1;
    }
    EXPECT_EQ(seen.real, 2.5);
    EXPECT_EQ(seen.lookups, 1);
    EXPECT_EQ(formHandlerSlot, reinterpret_cast<CodeAddress>(&wideHandler)) << "the slot keeps the handler";

    EXPECT_EQ(throughSlot<Fn>()(1, 2, 3, 4, 5, 6, 0.5, 7, 8), 4242);
    EXPECT_EQ(seen.lookups, 1) << "a resolved slot does not ask the host again";
    EXPECT_EQ(seen.handlerCalls, 2);
}

TEST_F(FormHandlerSlot, VariadicCallKeepsItsValues) {
    lookupAnswer = reinterpret_cast<CodeAddress>(&variadicHandler);
    using Fn = std::int32_t(const char*, ...);
    EXPECT_EQ(throughSlot<Fn>()("%d|%s|%.2f|%.1f", -5, "tekst", 1.25, 3.5), 7);
    EXPECT_EQ(seen.formatted, "-5|tekst|1.25|3.5");
}

TEST_F(FormHandlerSlot, MethodCallArrivesWithObjectArgumentAndReturnAddressIntact) {
    lookupAnswer = reinterpret_cast<CodeAddress>(&methodHandler);
    char object[24];
    std::int32_t moved = -1;

    const std::int32_t result = callWithObject(formHandlerSlot, object, 21, &moved);

    EXPECT_EQ(result, 42);
    EXPECT_EQ(seen.object, object) << "the object register must reach the handler";
    EXPECT_EQ(seen.integers[0], 21);
    EXPECT_EQ(seen.returnAddress, reinterpret_cast<void*>(&harnessReturnPoint)) << "the handler returns to the caller";
    EXPECT_EQ(moved, 0) << "the method pops its own argument; nothing else may move the stack";
}

TEST_F(FormHandlerSlot, HostWithoutHandlerGetsZeroAndTheSlotAsksAgainNextTime) {
    char object[24];
    std::int32_t moved = 12345;

    const std::int32_t result = callWithObject(formHandlerSlot, object, 21, &moved);

    EXPECT_EQ(result, 0);
    EXPECT_EQ(seen.handlerCalls, 0);
    EXPECT_EQ(formHandlerSlot, reinterpret_cast<CodeAddress>(&resolveFormHandler)) << "nothing is stored";
    // The refusal returns like a cdecl function: the caller's argument is
    // still where the caller put it, for the caller to remove.
    EXPECT_EQ(moved, sizeof(void*) == 4 ? -4 : 0);

    lookupAnswer = reinterpret_cast<CodeAddress>(&methodHandler);
    EXPECT_EQ(callWithObject(formHandlerSlot, object, 5, &moved), 10);
    EXPECT_EQ(seen.lookups, 2);
}

TEST_F(FormHandlerSlot, HostWithoutHandlerLookupGetsZero) {
    hostFunctionTable[hostHandlerLookupIndex].target = nullptr;
    using Fn = std::int32_t(std::intptr_t, std::intptr_t);
    EXPECT_EQ(throughSlot<Fn>()(1, 2), 0);
    EXPECT_EQ(formHandlerSlot, reinterpret_cast<CodeAddress>(&resolveFormHandler));
}

}  // namespace
}  // namespace scalarka
