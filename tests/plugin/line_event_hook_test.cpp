// The hook on the host's line table: which events, on which kinds of
// document and under which options, start a merge; and that every event
// then reaches the handler the hook replaced, as it came.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "frame/lifecycle.h"
#include "merge/line_event_hook.h"
#include "options/merge_options.h"
#include "tests/plugin/fake_host.h"
#include "tests/plugin/host_table_state.h"
#include "tests/plugin/test_document.h"

namespace scalarka {
namespace {

using testing::callList;
using testing::emptyLine;
using testing::fakeHost;
using testing::goods;
using testing::PrintTo;
using testing::TestDocument;

constexpr std::int32_t handlerResult = 0x1F2E3D;
constexpr std::intptr_t keyP = 80;
constexpr std::intptr_t keyF7 = 16640;

// The handler the hook replaced: notes its arguments in the host's log, so
// that its place among the host calls shows, and what it saw of the lines.
struct HandlerSaw {
    std::intptr_t arguments[11];
    std::int32_t count;
    std::string layout;
};
std::vector<HandlerSaw> handlerCalls;
const TestDocument* handlerDocument = nullptr;
// The only count the handler may read; other events carry arbitrary values.
const std::int32_t* handlerCount = nullptr;

std::int32_t replacedHandler(std::intptr_t eventCode, std::intptr_t documentKind, std::int32_t* lineCount,
                             ItemRecord** lines, std::intptr_t arg5, std::intptr_t eventArgument, std::intptr_t arg7,
                             std::intptr_t arg8, std::intptr_t arg9, std::intptr_t arg10, std::intptr_t arg11) {
    fakeHost().calls.push_back("replacedHandler(" + std::to_string(eventCode) + ")");
    handlerCalls.push_back(
        {{eventCode, documentKind, reinterpret_cast<std::intptr_t>(lineCount), reinterpret_cast<std::intptr_t>(lines),
          arg5, eventArgument, arg7, arg8, arg9, arg10, arg11},
         lineCount == handlerCount ? *lineCount : -1,
         handlerDocument == nullptr ? "" : layout(*handlerDocument)});
    return handlerResult + static_cast<std::int32_t>(eventCode);
}

std::string optionsFile(std::uint8_t documentKinds, std::uint16_t triggerMode) {
    MergeOptions options{documentKinds, 0, alwaysComparedAttributes, triggerMode, 0, 0};
    return std::string(reinterpret_cast<const char*>(&options), sizeof options);
}

class LineEventHook : public ::testing::Test {
   protected:
    void SetUp() override {
        testing::installFakeHost();
        mergeOptions = {};
        handlerCalls.clear();
        handlerDocument = &document;
        handlerCount = &count;
        previousLineHandler = replacedHandler;
        document.name();
        document.document.documentFlags = 0;
        fakeHost().documentDescriptor.currentRecord = &document.document;
        count = document.count();
    }
    void TearDown() override {
        previousLineHandler = nullptr;
        handlerDocument = nullptr;
        handlerCount = nullptr;
        mergeOptions = {};
        testing::restoreUnboundHostTable();
    }

    void options(std::uint8_t documentKinds, std::uint16_t triggerMode) {
        fakeHost().files["Scalarka.dat"] = optionsFile(documentKinds, triggerMode);
    }

    std::int32_t event(std::intptr_t code, std::intptr_t kind) {
        return lineEventHook(code, kind, &count, document.array(), 5, 0x6006, 7, 8, 9, 10, 11);
    }

    bool merged() const { return layout(document) == "A:5 E:0 E:0"; }
    static bool called(const std::string& prefix) {
        return std::any_of(fakeHost().calls.begin(), fakeHost().calls.end(),
                           [&](const std::string& call) { return call.rfind(prefix, 0) == 0; });
    }
    void expectHandedOnUnchanged(std::intptr_t code, std::intptr_t kind) const {
        ASSERT_EQ(handlerCalls.size(), 1u);
        const std::intptr_t expected[11] = {code,
                                            kind,
                                            reinterpret_cast<std::intptr_t>(&count),
                                            reinterpret_cast<std::intptr_t>(document.lines.data()),
                                            5,
                                            0x6006,
                                            7,
                                            8,
                                            9,
                                            10,
                                            11};
        for (int i = 0; i < 11; ++i) {
            EXPECT_EQ(handlerCalls[0].arguments[i], expected[i]) << "argument " << i + 1;
        }
        EXPECT_EQ(fakeHost().calls.back(), "replacedHandler(" + std::to_string(code) + ")")
            << "the replaced handler comes last\n"
            << callList(fakeHost().calls);
    }

    TestDocument document{goods('A', 2), goods('B', 3), emptyLine('E')};
    std::int32_t count = 0;
};

struct TriggerCase {
    const char* name;
    std::intptr_t event;
    std::intptr_t kind;
    std::uint8_t documentKinds;
    std::uint16_t triggerMode;
    bool merges;
    bool keyCodeCall;
};

class Triggers : public LineEventHook, public ::testing::WithParamInterface<TriggerCase> {};

TEST_P(Triggers, MergeOnlyOnTheChosenTriggerAndKindThenHandOn) {
    const TriggerCase& c = GetParam();
    options(c.documentKinds, c.triggerMode);

    const std::int32_t result = event(c.event, c.kind);

    EXPECT_EQ(result, handlerResult + static_cast<std::int32_t>(c.event)) << "the replaced handler's result";
    EXPECT_EQ(merged(), c.merges) << layout(document) << "\n" << callList(fakeHost().calls);
    EXPECT_EQ(called("keyCodeCall(16640)"), c.keyCodeCall) << callList(fakeHost().calls);
    EXPECT_TRUE(called("fileOpen(\"Scalarka.dat\", \"rb\"")) << "every trigger event reads the options";
    EXPECT_FALSE(called("messageBox(\"Uwaga\", \"\\x01")) << "filtered silently";
    EXPECT_EQ(count, 3) << "the host's count is never written";
    expectHandedOnUnchanged(c.event, c.kind);
}

INSTANTIATE_TEST_SUITE_P(
    Events, Triggers,
    ::testing::Values(TriggerCase{"CapitalPOnKeyP", 80, 812, VatInvoice, TriggerOnKeyP, true, true},
                      TriggerCase{"SmallPOnKeyP", 112, 812, VatInvoice, TriggerOnKeyP, true, true},
                      TriggerCase{"POnApproval", 80, 812, VatInvoice, TriggerBeforeApproval, false, false},
                      TriggerCase{"POnPrint", 112, 812, VatInvoice, TriggerBeforePrint, false, false},
                      TriggerCase{"F7OnApproval", 16640, 812, VatInvoice, TriggerBeforeApproval, true, false},
                      TriggerCase{"F7OnKeyP", 16640, 812, VatInvoice, TriggerOnKeyP, false, false},
                      TriggerCase{"F7OnPrint", 16640, 812, VatInvoice, TriggerBeforePrint, false, false},
                      TriggerCase{"Print2009OnPrint", 2009, 812, VatInvoice, TriggerBeforePrint, true, false},
                      TriggerCase{"Print2010OnPrint", 2010, 812, VatInvoice, TriggerBeforePrint, true, false},
                      TriggerCase{"PrintOnKeyP", 2009, 812, VatInvoice, TriggerOnKeyP, false, false},
                      TriggerCase{"PrintOnApproval", 2010, 812, VatInvoice, TriggerBeforeApproval, false, false},
                      TriggerCase{"POnModeThree", 80, 812, VatInvoice, 3, false, false},
                      TriggerCase{"F7OnModeThree", 16640, 812, VatInvoice, 3, false, false},
                      TriggerCase{"PrintOnModeThree", 2010, 812, VatInvoice, 3, false, false},
                      // Read as one byte, 0x0100 would look like the P trigger.
                      TriggerCase{"ModeHighByteOnly", 80, 812, VatInvoice, 0x0100, false, false},
                      TriggerCase{"VatInvoiceBitClear", 80, 812, 0x1E, TriggerOnKeyP, false, false},
                      TriggerCase{"PersonDocument", 80, 68, PersonDocument, TriggerOnKeyP, true, true},
                      TriggerCase{"PersonDocumentBitClear", 80, 68, 0x1D, TriggerOnKeyP, false, false},
                      TriggerCase{"ExportInvoice", 16640, 808, ExportInvoice, TriggerBeforeApproval, true, false},
                      TriggerCase{"ExportInvoiceBitClear", 16640, 808, 0x1B, TriggerBeforeApproval, false, false},
                      TriggerCase{"PendingIssue", 2009, 806, PendingIssue, TriggerBeforePrint, true, false},
                      TriggerCase{"PendingIssueBitClear", 2009, 806, 0x17, TriggerBeforePrint, false, false},
                      TriggerCase{"CustomerReservation", 112, 802, CustomerReservation, TriggerOnKeyP, true, true},
                      TriggerCase{"CustomerReservationBitClear", 112, 802, 0x0F, TriggerOnKeyP, false, false},
                      TriggerCase{"UnusedKindBitsDoNotCount", 80, 812, 0xE0, TriggerOnKeyP, false, false},
                      TriggerCase{"KindOutsideTheOptions", 80, 70, 0x00, TriggerOnKeyP, true, true},
                      TriggerCase{"KindOutsideTheOptionsOnF7", 16640, 70, 0x00, TriggerBeforeApproval, true, false}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(LineEventHook, MergeOnPRunsInTheHostsOrder) {
    options(VatInvoice, TriggerOnKeyP);

    event(keyP, 812);

    const std::vector<std::string> expected = {
        "tableDescriptor(44)",
        R"(fileOpen("Scalarka.dat", "rb", 64, 0, -1, 0, 0, 0, 0))",
        "holderConstruct(holder1, stream1)",
        "holderTakeStream(holder1)",
        "holderDestroy(holder1)",
        "fileRead(options, 1, 8, stream1)",
        "fileClose(stream1)",
        "tableRecordAccess(Tspr, 255)",
        "tableDescriptor(44)",
        "approvalWithdrawal(812, 24582, lines, &3, 0, 0, 0, 1, 0, 0, 0, 0) with flags 400",
        "release(withdrawal)",
        R"(messageBox("Uwaga", "Łączenie takich samych pozycji...", 512))",
        "lineRecalculation(0, " + fakeHost().describeLine(document.lines[0]) + ", document, 1)",
        "lineArrayRecalculation(lines, 3, document, 0, 0)",
        "documentRecalculation(document, document, lines, 3)",
        "screenRefresh()",
        "keyCodeCall(16640)",
        "replacedHandler(80)",
    };
    EXPECT_EQ(fakeHost().calls, expected) << callList(fakeHost().calls);
    EXPECT_EQ(handlerCalls[0].layout, "A:5 E:0 E:0") << "the handler sees the merged lines";
    EXPECT_EQ(handlerCalls[0].count, 3);
}

TEST_F(LineEventHook, CurrentRecordIsTakenOnlyAfterTheRecordAccess) {
    options(VatInvoice, TriggerOnKeyP);
    DocumentRecord stale{};
    fakeHost().names[&stale] = "stale";
    fakeHost().documentDescriptor.currentRecord = &stale;
    fakeHost().recordAfterAccess = &document.document;

    event(keyP, 812);

    EXPECT_TRUE(merged());
    EXPECT_TRUE(called("lineArrayRecalculation(lines, 3, document, 0, 0)")) << callList(fakeHost().calls);
    EXPECT_TRUE(std::none_of(fakeHost().calls.begin(), fakeHost().calls.end(), [](const std::string& call) {
        return call.find("stale") != std::string::npos;
    })) << callList(fakeHost().calls);
    EXPECT_EQ(testing::field(stale.documentFlags), 0) << "the stale record's flags are not touched";
}

TEST_F(LineEventHook, NoFileLeavesOnlyKindsOutsideTheOptionsMergingOnP) {
    event(keyP, 812);
    EXPECT_FALSE(merged()) << "no kind enabled";
    EXPECT_EQ(handlerCalls.size(), 1u);

    event(keyP, 70);
    EXPECT_TRUE(merged()) << "a kind the options do not name merges on P";
    EXPECT_FALSE(called("messageBox(\"Uwaga\", \"B")) << "a missing file is not reported";
}

TEST_F(LineEventHook, ShortFileIsReportedAtEachTriggerEventAndActsLikeNoFile) {
    fakeHost().files["Scalarka.dat"] = std::string("\x1F\x00\x38", 3);
    const std::string readError =
        R"(messageBox("Uwaga", "Błąd podczas czytania opcji raportu!\n Niektóre opcje zostaną zresetowane!", 1))";

    event(keyF7, 812);
    event(keyP, 812);
    EXPECT_FALSE(merged());
    event(keyP, 70);
    EXPECT_TRUE(merged());

    EXPECT_EQ(std::count(fakeHost().calls.begin(), fakeHost().calls.end(), readError), 3) << callList(fakeHost().calls);
}

TEST_F(LineEventHook, MissingDocumentTableIsReportedAndTheEventStillHandedOn) {
    options(VatInvoice, TriggerOnKeyP);
    fakeHost().documentTableExists = false;

    const std::int32_t result = event(keyP, 812);

    EXPECT_EQ(result, handlerResult + 80);
    EXPECT_FALSE(merged());
    const std::string warning =
        R"(messageBox("Uwaga", "\x01cBłąd nr 1 operacji dyskowej w badajNumeracje!\nOperacja niekompletna!\x01", 1))";
    EXPECT_EQ(std::count(fakeHost().calls.begin(), fakeHost().calls.end(), warning), 1) << callList(fakeHost().calls);
    EXPECT_FALSE(called("keyCodeCall")) << "nothing was merged";
    EXPECT_FALSE(called("tableRecordAccess"));
    expectHandedOnUnchanged(keyP, 812);
}

TEST_F(LineEventHook, FilteredOutDocumentTableIsNotReported) {
    options(0, TriggerOnKeyP);
    fakeHost().documentTableExists = false;

    event(keyP, 812);

    EXPECT_FALSE(called("messageBox"));
}

// The filter hands the lines to the merge whatever comes of it; after P the
// key code call follows even when the merge could not withdraw the approval.
TEST_F(LineEventHook, KeyCodeCallFollowsPEvenWhenTheMergeWasRefused) {
    options(VatInvoice, TriggerOnKeyP);
    fakeHost().recordAfterAccess = nullptr;
    fakeHost().documentDescriptor.currentRecord = nullptr;

    event(keyP, 812);

    EXPECT_FALSE(merged());
    EXPECT_TRUE(called(R"(messageBox("Błąd", "Problem z wycofaniem zatwierdzenia!", 1))"))
        << callList(fakeHost().calls);
    EXPECT_TRUE(called("keyCodeCall(16640)"));
}

TEST_F(LineEventHook, FilterAnswersWhetherItRanTheMerge) {
    options(VatInvoice, TriggerBeforeApproval);
    EXPECT_EQ(mergeOnTrigger(80, 812, document.array(), 3, 0), 1);
    EXPECT_EQ(mergeOnTrigger(16640, 68, document.array(), 3, 0), 1);
    EXPECT_EQ(mergeOnTrigger(16640, 812, document.array(), 3, 0), 0);
    EXPECT_TRUE(merged());
    EXPECT_TRUE(handlerCalls.empty()) << "the filter alone never hands on";
}

class OtherEvents : public LineEventHook, public ::testing::WithParamInterface<std::intptr_t> {};

// Nothing of the event is looked at: the count's address and the lines may
// point anywhere, and the options file stays closed.
TEST_P(OtherEvents, GoStraightToTheReplacedHandler) {
    options(0x1F, TriggerOnKeyP);
    auto* const nowhere = reinterpret_cast<std::int32_t*>(std::uintptr_t{0x10});
    auto** const noLines = reinterpret_cast<ItemRecord**>(std::uintptr_t{0x20});

    const std::int32_t result = lineEventHook(GetParam(), 812, nowhere, noLines, 5, 6, 7, 8, 9, 10, 11);

    EXPECT_EQ(result, handlerResult + static_cast<std::int32_t>(GetParam()));
    EXPECT_EQ(fakeHost().calls, std::vector<std::string>{"replacedHandler(" + std::to_string(GetParam()) + ")"});
    ASSERT_EQ(handlerCalls.size(), 1u);
    EXPECT_EQ(handlerCalls[0].arguments[2], reinterpret_cast<std::intptr_t>(nowhere));
    EXPECT_EQ(handlerCalls[0].arguments[3], reinterpret_cast<std::intptr_t>(noLines));
}

INSTANTIATE_TEST_SUITE_P(Codes, OtherEvents,
                         ::testing::Values(0, 13, 79, 81, 111, 113, 2008, 2011, 16639, 16641, 0x4200, -80, -1));

TEST_F(LineEventHook, TableWithoutHandlerStillMergesAndAnswersZero) {
    previousLineHandler = nullptr;
    options(VatInvoice, TriggerOnKeyP);

    EXPECT_EQ(event(keyP, 812), 0);
    EXPECT_TRUE(merged());
    EXPECT_EQ(event(13, 812), 0);
    EXPECT_TRUE(handlerCalls.empty());
}

TEST_F(LineEventHook, TriggerEventWithoutItsCountIsHandedOnUntouched) {
    options(VatInvoice, TriggerOnKeyP);

    const std::int32_t result = lineEventHook(keyP, 812, nullptr, document.array(), 5, 6, 7, 8, 9, 10, 11);

    EXPECT_EQ(result, handlerResult + 80);
    EXPECT_EQ(fakeHost().calls, std::vector<std::string>{"replacedHandler(80)"});
    EXPECT_FALSE(merged());
}

#if INTPTR_MAX > INT32_MAX
// The host's integers travel in 64-bit slots here; only the low half counts,
// and the handler gets the slots back exactly as they came.
TEST_F(LineEventHook, OnlyTheLowHalfOfTheEventAndKindCountsAndAllIsHandedOn) {
    options(VatInvoice, TriggerOnKeyP);
    const std::intptr_t code = (std::intptr_t{0x7A} << 32) | 80;
    const std::intptr_t kind = (std::intptr_t{0x7B} << 32) | 812;

    lineEventHook(code, kind, &count, document.array(), 5, 0x6006, 7, 8, 9, 10, 11);

    EXPECT_TRUE(merged());
    EXPECT_TRUE(called("keyCodeCall(16640)"));
    expectHandedOnUnchanged(code, kind);
}
#endif

}  // namespace
}  // namespace scalarka
