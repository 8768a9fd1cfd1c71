// The plug-in's life in the host: loading and binding, attaching, activation,
// the hook on the line table, and detaching.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/loaded_host.h"

namespace korpus {
namespace {

using testing::LoadedHost;

constexpr std::int32_t notConfigurable = -1234567890;
const std::string title =
    "\x9C\x86"
    "czenie takich samych pozycji na dokumencie";

std::vector<std::string> missLines(const std::vector<std::uint16_t>& ordinals) {
    std::vector<std::string> lines;
    for (const std::uint16_t ordinal : ordinals) {
        lines.push_back("Brak funkcji o numerze " + std::to_string(ordinal) + "\n");
    }
    return lines;
}

TEST(Loading, HostWithEveryServiceLeavesNothingMissing) {
    HostConfig config;
    config.debuggerAttached = true;
    LoadedHost host(config);
    EXPECT_TRUE(host.debuggerOutput().empty());
}

struct MissingCase {
    const char* name;
    std::set<std::uint16_t> missing;
    bool debugger;
    std::vector<std::string> expectedOutput;
};

class LoadingWithout : public ::testing::TestWithParam<MissingCase> {};

TEST_P(LoadingWithout, TellsTheDebuggerOfEachMissingOrdinalInTableOrder) {
    const MissingCase& c = GetParam();
    HostConfig config;
    config.missingOrdinals = c.missing;
    config.debuggerAttached = c.debugger;
    LoadedHost host(config);
    EXPECT_EQ(host.debuggerOutput(), c.expectedOutput);
    // Loading never fails: the plug-in attaches as long as what it needs is there.
    EXPECT_EQ(host.pluginInit(), c.missing.contains(30018) || c.missing.contains(51594) ? -1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, LoadingWithout,
    ::testing::Values(MissingCase{"Ordinal40008", {40008}, true, missLines({40008})},
                      MissingCase{"Ordinal40008NoDebugger", {40008}, false, {}},
                      MissingCase{"TenOrdinals",
                                  {35802, 40008, 41611, 52308, 52030, 33197, 22567, 52154, 51594, 52332},
                                  true,
                                  missLines({35802, 40008, 41611, 52308, 52030, 33197, 22567, 52154, 51594, 52332})}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(Loading, EachLoadStartsFromScratch) {
    {
        HostConfig config;
        config.missingOrdinals = {40008};
        config.debuggerAttached = true;
        LoadedHost host(config);
        ASSERT_EQ(host.debuggerOutput().size(), 1u);
        EXPECT_EQ(host.pluginInit(), 0);
    }
    LoadedHost host;
    EXPECT_EQ(host.pluginConfigure(0), notConfigurable) << "a fresh load has not attached yet";
}

TEST(Attaching, SucceedsAndCopiesTheTitle) {
    LoadedHost host;
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(host.pluginConfigure(5), notConfigurable);
    EXPECT_EQ(host.pluginInit(true, buffer), 0);
    EXPECT_EQ(std::string(buffer), title);
    EXPECT_EQ(buffer[45], '#') << "45 bytes are copied, no more";
    EXPECT_EQ(host.trace().callsOf("handshake"), std::vector<std::string>{"30018 handshake(module, null, 0) -> 0"});
    EXPECT_EQ(host.trace().callsOf("interfaceVersion").size(), 1u);
    EXPECT_EQ(
        host.trace().callsOf("tableDescriptor"),
        (std::vector<std::string>{"52256 tableDescriptor(44) -> &Tspr", "52256 tableDescriptor(45) -> &Tspr_dok"}));
    EXPECT_EQ(host.pluginConfigure(5), 0) << "the options dialog runs from now on";
}

TEST(Attaching, WithoutTitleBufferAttachesAlike) {
    LoadedHost host;
    EXPECT_EQ(host.pluginInit(true, nullptr), 0);
}

TEST(Attaching, RefusedHandshakeStopsBeforeTheVersionButAfterTheTitle) {
    HostConfig config;
    config.handshakeResult = 3;
    LoadedHost host(config);
    char buffer[64] = {};
    EXPECT_EQ(host.pluginInit(true, buffer), -1);
    EXPECT_EQ(std::string(buffer), title);
    EXPECT_TRUE(host.trace().callsOf("interfaceVersion").empty());
    EXPECT_EQ(host.pluginConfigure(0), notConfigurable);
}

struct RefusalCase {
    const char* name;
    std::int32_t version;
    std::optional<std::int16_t> documentSize;
    std::optional<std::int16_t> lineSize;
};

class AttachingRefused : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(AttachingRefused, ReturnsMinusOneAndShowsNothing) {
    const RefusalCase& c = GetParam();
    HostConfig config;
    config.interfaceVersion = c.version;
    config.documentRecordSize = c.documentSize;
    config.lineRecordSize = c.lineSize;
    LoadedHost host(config);
    EXPECT_EQ(host.pluginInit(), -1);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_EQ(host.pluginConfigure(0), notConfigurable);
}

INSTANTIATE_TEST_SUITE_P(Hosts, AttachingRefused,
                         ::testing::Values(RefusalCase{"Version113", 113, 1469, 515},
                                           RefusalCase{"Version0", 0, 1469, 515},
                                           RefusalCase{"DocumentRecord1470", 112, 1470, 515},
                                           RefusalCase{"NoLineTable", 112, 1469, std::nullopt},
                                           RefusalCase{"NoDocumentTable", 112, std::nullopt, 515}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(Attaching, OnceASizeMismatchIsListedEveryLaterAttachRefuses) {
    HostConfig config;
    config.lineRecordSize = 516;
    LoadedHost host(config);
    EXPECT_EQ(host.pluginInit(), -1);
    host.config().lineRecordSize = 515;
    EXPECT_EQ(host.pluginInit(), -1);
}

TEST(Detaching, WithoutHookChangesNothing) {
    LoadedHost host;
    EXPECT_EQ(host.pluginInit(false), 0);
    EXPECT_EQ(host.table(45)->eventHandler, Host::ownLineHandler());
    EXPECT_EQ(host.pluginConfigure(0), notConfigurable);
}

TEST(Activation, PutsTheHookOnTheLineTableAndHandsEventsOn) {
    LoadedHost host;
    host.config().lineHandlerResult = 77;
    ASSERT_EQ(host.pluginInit(), 0);
    EXPECT_EQ(host.pluginStart(0), 0);
    EXPECT_NE(host.table(45)->eventHandler, Host::ownLineHandler());
    EXPECT_EQ(host.trace().callsOf("screenRefresh").size(), 1u);

    host.document().setLines({}, 2);
    EXPECT_EQ(host.lineEvent(13, 0x5151), 77) << "the host's handler's result comes back";
    ASSERT_EQ(host.lineHandlerCalls().size(), 1u);
    const HandlerCall& call = host.lineHandlerCalls()[0];
    const std::intptr_t expected[11] = {13,
                                        812,
                                        reinterpret_cast<std::intptr_t>(&host.document().lineCount),
                                        reinterpret_cast<std::intptr_t>(host.document().pointers.data()),
                                        0,
                                        0x5151,
                                        0,
                                        0,
                                        0,
                                        0,
                                        0};
    for (int i = 0; i < 11; ++i) {
        EXPECT_EQ(call.arguments[i], expected[i]) << "argument " << i + 1;
    }
}

TEST(Activation, TwiceKeepsTheHostsHandler) {
    LoadedHost host;
    EXPECT_EQ(host.pluginStart(0), 0);
    EXPECT_EQ(host.pluginStart(0), 0);
    EXPECT_EQ(host.trace().callsOf("screenRefresh").size(), 2u);
    host.document().setLines({}, 1);
    host.lineEvent(13);
    EXPECT_EQ(host.lineHandlerCalls().size(), 1u) << "one event reaches the host's handler once";
    EXPECT_EQ(host.pluginInit(false), 0);
    EXPECT_EQ(host.table(45)->eventHandler, Host::ownLineHandler()) << "detaching gives the table its own handler";
    EXPECT_EQ(host.pluginStart(0), 0) << "after detaching the hook goes on again";
    EXPECT_NE(host.table(45)->eventHandler, Host::ownLineHandler());
}

TEST(Activation, WorksWithoutAttaching) {
    LoadedHost host;
    EXPECT_EQ(host.pluginStart(0), 0);
    EXPECT_NE(host.table(45)->eventHandler, Host::ownLineHandler());
}

struct HookRefusalCase {
    const char* name;
    std::optional<std::int16_t> lineSize;
};

class ActivationRefused : public ::testing::TestWithParam<HookRefusalCase> {};

TEST_P(ActivationRefused, TellsTheUserAndLeavesTheTableAlone) {
    HostConfig config;
    config.lineRecordSize = GetParam().lineSize;
    LoadedHost host(config);
    EXPECT_EQ(host.pluginStart(0), -1);
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].service, "textMessage");
    EXPECT_EQ(host.messages()[0].text, "Program wymaga nowszej wtyczki!");
    EXPECT_TRUE(host.trace().callsOf("screenRefresh").empty());
    if (host.table(45) != nullptr) {
        EXPECT_EQ(host.table(45)->eventHandler, Host::ownLineHandler());
    }
}

INSTANTIATE_TEST_SUITE_P(Hosts, ActivationRefused,
                         ::testing::Values(HookRefusalCase{"LineRecord516", 516},
                                           HookRefusalCase{"NoLineTable", std::nullopt}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(EntryPoints, ReportModeAndExtraReturnZero) {
    LoadedHost host;
    EXPECT_EQ(host.pluginStart(7), 0);
    EXPECT_EQ(host.pluginExtra(), 0);
}

}  // namespace
}  // namespace korpus
