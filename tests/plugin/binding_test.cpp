// Binding the host function table against a host that exports all, some or
// none of the functions. The library's own process stands in for the host's:
// a fake module "KORPUS" whose exports each test chooses.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "frame/lifecycle.h"
#include "host/host_table.h"
#include "tests/plugin/fake_platform.h"
#include "tests/plugin/host_table_state.h"

#if !defined(_WIN32)

namespace scalarka {
namespace {

using testing::fakePlatform;

class Binding : public ::testing::Test {
   protected:
    void SetUp() override {
        testing::restoreUnboundHostTable();
        fakePlatform() = {};
    }
    void TearDown() override { testing::restoreUnboundHostTable(); }

    // What the library does on load: the attach routine, then the binding.
    static void load() { attachLibrary(testing::fakeHostModule()); }
};

TEST_F(Binding, HostWithEveryFunctionFillsEveryEntry) {
    fakePlatform().exportTable();
    fakePlatform().debuggerAttached = true;
    load();
    for (const HostEntry& entry : hostFunctionTable) {
        EXPECT_EQ(entry.target, fakePlatform().exports.at(entry.ordinal)) << "ordinal " << entry.ordinal;
    }
    EXPECT_EQ(missingOrdinals.missCount, 0u);
    EXPECT_TRUE(fakePlatform().debugOutput.empty());
}

struct MissingCase {
    const char* name;
    std::vector<std::uint16_t> missing;
    bool debugger;
    std::uint32_t expectedCount;
    std::vector<std::uint16_t> expectedRecorded;  // all 8 slots
};

class BindingWithMissing : public Binding, public ::testing::WithParamInterface<MissingCase> {};

TEST_P(BindingWithMissing, RecordsMissesInTableOrderAndLeavesEntriesEmpty) {
    const MissingCase& c = GetParam();
    fakePlatform().exportTable(c.missing);
    fakePlatform().debuggerAttached = c.debugger;
    load();

    EXPECT_EQ(missingOrdinals.missCount, c.expectedCount);
    EXPECT_EQ(std::vector<std::uint16_t>(std::begin(missingOrdinals.missing), std::end(missingOrdinals.missing)),
              c.expectedRecorded);
    std::vector<std::string> expectedOutput;
    for (const HostEntry& entry : hostFunctionTable) {
        const bool lacking = std::find(c.missing.begin(), c.missing.end(), entry.ordinal) != c.missing.end();
        if (lacking) {
            EXPECT_EQ(entry.target, nullptr) << "ordinal " << entry.ordinal;
            expectedOutput.push_back("Brak funkcji o numerze " + std::to_string(entry.ordinal) + "\n");
        } else {
            EXPECT_NE(entry.target, nullptr) << "ordinal " << entry.ordinal;
        }
    }
    EXPECT_EQ(fakePlatform().debugOutput, c.debugger ? expectedOutput : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, BindingWithMissing,
    ::testing::Values(MissingCase{"Lacks40008WithDebugger", {40008}, true, 1, {40008, 0, 0, 0, 0, 0, 0, 0}},
                      MissingCase{"Lacks40008WithoutDebugger", {40008}, false, 1, {40008, 0, 0, 0, 0, 0, 0, 0}},
                      // Listed out of table order on purpose: the record follows the table.
                      MissingCase{"LacksTen",
                                  {52332, 51594, 52154, 22567, 33197, 52030, 52308, 41611, 40008, 35802},
                                  true,
                                  10,
                                  {35802, 40008, 41611, 52308, 52030, 33197, 22567, 52154}},
                      MissingCase{"LacksTenWithoutDebugger",
                                  {52332, 51594, 52154, 22567, 33197, 52030, 52308, 41611, 40008, 35802},
                                  false,
                                  10,
                                  {35802, 40008, 41611, 52308, 52030, 33197, 22567, 52154}}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(Binding, WithoutHostModuleEveryLookupIsAMiss) {
    fakePlatform().exportTable();
    fakePlatform().debuggerAttached = true;
    hostModule = nullptr;
    bindHostFunctions();
    EXPECT_EQ(missingOrdinals.missCount, hostEntryCount);
    EXPECT_EQ(missingOrdinals.missing[0], 30018);
    EXPECT_EQ(missingOrdinals.missing[7], 40101);
    EXPECT_EQ(fakePlatform().debugOutput.size(), hostEntryCount);
}

TEST_F(Binding, ALookupByNameThatFailsIsToldButNotCounted) {
    fakePlatform().debuggerAttached = true;
    hostModule = testing::fakeHostModule();
    HostEntry entry{0, nullptr};
    EXPECT_EQ(resolveHostEntry("NoSuchFunction", &entry), nullptr);
    EXPECT_EQ(missingOrdinals.missCount, 0u);
    EXPECT_EQ(fakePlatform().debugOutput, std::vector<std::string>{"Brak funkcji o nazwie NoSuchFunction\n"});
}

TEST_F(Binding, AttachRoutineFindsHostAndItsCallback) {
    fakePlatform().exportTable();
    const auto callback = reinterpret_cast<CodeAddress>(std::uintptr_t{0x5A5A0});
    fakePlatform().exports[30006] = callback;
    load();
    EXPECT_EQ(hostModule, testing::fakeHostModule());
    EXPECT_EQ(reinterpret_cast<CodeAddress>(hostCallback), callback);
    EXPECT_EQ(ownModule, testing::fakeHostModule());
    hostCallback = nullptr;
}

}  // namespace
}  // namespace scalarka

#endif
