// The merge engine on small documents whose outcome can be read off: which
// lines survive, with what quantity, in which order, and what the host was
// asked to do.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "merge/merge_engine.h"
#include "options/merge_options.h"
#include "tests/plugin/fake_host.h"
#include "tests/plugin/host_table_state.h"
#include "tests/plugin/test_document.h"

namespace scalarka {
namespace {

using testing::callList;
using testing::differingOffsets;
using testing::emptyLine;
using testing::fakeHost;
using testing::field;
using testing::goods;
using testing::PrintTo;
using testing::TestDocument;

constexpr std::int32_t kind = 812;
constexpr std::intptr_t eventArgument = 0x6006;
const std::string notice = R"(messageBox("Uwaga", "Łączenie takich samych pozycji...", 512))";

class MergeEngine : public ::testing::Test {
   protected:
    void SetUp() override {
        testing::installFakeHost();
        mergeOptions = {};
        mergeOptions.comparedAttributes = alwaysComparedAttributes;
    }
    void TearDown() override {
        mergeOptions = {};
        testing::restoreUnboundHostTable();
    }

    // Runs the merge on `document` as the host's current document.
    std::int32_t merge(TestDocument& document, std::int32_t count) {
        document.name();
        fakeHost().documentDescriptor.currentRecord = &document.document;
        return mergeLines(kind, document.array(), count, &document.document, eventArgument);
    }
    std::int32_t merge(TestDocument& document) { return merge(document, document.count()); }

    static std::vector<std::string> callsOf(const std::string& service) {
        std::vector<std::string> found;
        for (const std::string& call : fakeHost().calls) {
            if (call.rfind(service + "(", 0) == 0) {
                found.push_back(call);
            }
        }
        return found;
    }
};

TEST_F(MergeEngine, NoLinesStillWithdrawsShowsTheNoticeAndRecalculates) {
    TestDocument document{goods('A', 1), goods('B', 2), emptyLine('E')};
    document.document.documentFlags = 0;

    EXPECT_EQ(merge(document, 0), 0);

    EXPECT_EQ(layout(document), "A:1 B:2 E:0");
    const std::vector<std::string> expected = {
        "tableDescriptor(44)",
        "approvalWithdrawal(812, 24582, lines, &0, 0, 0, 0, 1, 0, 0, 0, 0) with flags 400",
        "release(withdrawal)",
        notice,
        "lineArrayRecalculation(lines, 0, document, 0, 0)",
        "documentRecalculation(document, document, lines, 0)",
        "screenRefresh()",
    };
    EXPECT_EQ(fakeHost().calls, expected) << callList(fakeHost().calls);
}

// "lineRecalculation(0, line[0]{quantity 5, bytes ...}, document, 1)" gives
// "line[0]:5".
std::string recalculatedLine(const std::string& call) {
    const std::size_t nameStart = call.find(", ") + 2;
    const std::size_t brace = call.find('{', nameStart);
    const std::size_t quantityStart = brace + std::strlen("{quantity ");
    const std::size_t quantityEnd = call.find(',', quantityStart);
    return call.substr(nameStart, brace - nameStart) + ":" + call.substr(quantityStart, quantityEnd - quantityStart);
}

struct ShapeCase {
    const char* name;
    std::vector<ItemRecord> lines;
    std::string expectedLayout;
    std::vector<std::string> expectedRecalculated;  // labels and quantities at each line recalculation
};

class MergeShapes : public MergeEngine, public ::testing::WithParamInterface<ShapeCase> {};

TEST_P(MergeShapes, LeavesTheSurvivorsInOrderAndTheEmptyLinesBehind) {
    const ShapeCase& c = GetParam();
    TestDocument document(c.lines);

    EXPECT_EQ(merge(document), 0);

    EXPECT_EQ(layout(document), c.expectedLayout);
    std::vector<std::string> recalculated;
    for (const std::string& call : callsOf("lineRecalculation")) {
        recalculated.push_back(recalculatedLine(call));
    }
    EXPECT_EQ(recalculated, c.expectedRecalculated) << callList(fakeHost().calls);
    const std::string count = std::to_string(c.lines.size());
    EXPECT_EQ(callsOf("lineArrayRecalculation"),
              std::vector<std::string>{"lineArrayRecalculation(lines, " + count + ", document, 0, 0)"});
    EXPECT_EQ(callsOf("documentRecalculation"),
              std::vector<std::string>{"documentRecalculation(document, document, lines, " + count + ")"});
    EXPECT_EQ(fakeHost().calls.back(), "screenRefresh()");
}

INSTANTIATE_TEST_SUITE_P(
    Documents, MergeShapes,
    ::testing::Values(
        ShapeCase{"PairThenEmpty", {goods('A', 2), goods('B', 3), emptyLine('E')}, "A:5 E:0 E:0", {"line[0]:5"}},
        ShapeCase{"OtherLineBetween",
                  {goods('A', 2), goods('X', 4, 2.5), goods('B', 3), emptyLine('E')},
                  "A:5 X:4 E:0 E:0",
                  {"line[0]:5"}},
        ShapeCase{"ThreeOfAKind",
                  {goods('A', 2), goods('B', 3), goods('C', 4), emptyLine('E')},
                  "A:9 E:0 E:0 E:0",
                  {"line[0]:5", "line[0]:9"}},
        ShapeCase{"EmptyLineInTheMiddleStays",
                  {goods('A', 2), emptyLine('E'), goods('B', 3), goods('F', 1, 7.0), emptyLine('G')},
                  "A:5 E:0 F:1 G:0 G:0",
                  {"line[0]:5"}},
        ShapeCase{"TwoGroups",
                  {goods('A', 1), goods('X', 10, 2.5), goods('B', 2), goods('Y', 20, 2.5), emptyLine('E')},
                  "A:3 X:30 E:0 E:0 E:0",
                  {"line[0]:3", "line[1]:30"}},
        ShapeCase{"NothingMatches", {goods('A', 1), goods('X', 1, 2.0), emptyLine('E')}, "A:1 X:1 E:0", {}},
        ShapeCase{"OnlyEmptyLines", {emptyLine('E'), emptyLine('F')}, "E:0 F:0", {}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(MergeEngine, PositionOfARemovedLineIsExaminedAgainstTheSameLine) {
    mergeOptions.comparedAttributes |= CompareName;
    TestDocument document{goods('A', 2), goods('B', 3), goods('C', 4), emptyLine('E')};

    merge(document);

    // Position 1 holds B, then C, then the empty line, which is not compared.
    EXPECT_EQ(callsOf("textComparison"),
              (std::vector<std::string>{R"(textComparison("Chleb", "Chleb"))", R"(textComparison("Chleb", "Chleb"))"}));
}

TEST_F(MergeEngine, SurvivorKeepsEveryByteButItsQuantityAndLinesMoveWhole) {
    ItemRecord first = goods('A', 2);
    std::strcpy(first.name, "CHLEB");
    TestDocument document{first, goods('B', 3), goods('X', 1, 9.0), emptyLine('E')};
    const TestDocument before(document);

    merge(document);

    ItemRecord expectedFirst = before.records[0];
    expectedFirst.quantity = 5;
    EXPECT_EQ(differingOffsets(document.records[0], expectedFirst), std::vector<int>{});
    EXPECT_EQ(differingOffsets(document.records[1], before.records[2]), std::vector<int>{}) << "X moved up whole";
    EXPECT_EQ(differingOffsets(document.records[2], before.records[3]), std::vector<int>{});
    EXPECT_EQ(differingOffsets(document.records[3], before.records[3]), std::vector<int>{});
}

struct PriceCase {
    const char* name;
    std::vector<double> prices;
    std::string expectedLayout;
};

class PriceTolerance : public MergeEngine, public ::testing::WithParamInterface<PriceCase> {};

TEST_P(PriceTolerance, PricesWithinStrictlyLessThanTheToleranceMatch) {
    const PriceCase& c = GetParam();
    std::vector<ItemRecord> lines;
    char label = 'A';
    for (const double price : c.prices) {
        lines.push_back(goods(label++, 1, price));
    }
    lines.push_back(emptyLine('E'));
    TestDocument document(lines);

    merge(document);

    EXPECT_EQ(layout(document), c.expectedLayout);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(field(document.records[0].price)), std::bit_cast<std::uint64_t>(c.prices[0]))
        << "the survivor keeps its own price";
}

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(Prices, PriceTolerance,
                         ::testing::Values(PriceCase{"OneHundredThousandthApart", {1.0, 1.00001}, "A:1 B:1 E:0"},
                                           PriceCase{"JustInside", {1.0, 1.000009}, "A:2 E:0 E:0"},
                                           PriceCase{"ExactlyTheToleranceAbove", {0.0, 0.00001}, "A:1 B:1 E:0"},
                                           PriceCase{"ExactlyTheToleranceBelow", {0.00001, 0.0}, "A:1 B:1 E:0"},
                                           PriceCase{"JustInsideBelow", {1.0, 0.999991}, "A:2 E:0 E:0"},
                                           PriceCase{
                                               "ChainIsNotTransitive", {1.0, 1.000009, 1.000018}, "A:2 C:1 E:0 E:0"},
                                           PriceCase{"SignedZeros", {0.0, -0.0}, "A:2 E:0 E:0"},
                                           PriceCase{"NotANumberNeverMatches", {nan, nan}, "A:1 B:1 E:0"},
                                           PriceCase{"NotANumberAgainstNumber", {1.0, nan, 1.0}, "A:2 B:1 E:0 E:0"}),
                         [](const auto& param) { return std::string(param.param.name); });

struct KeyCase {
    const char* name;
    void (*change)(ItemRecord&);
};

class FixedKeys : public MergeEngine, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(FixedKeys, ADifferentKeyKeepsLinesApartWithoutAskingTheHost) {
    mergeOptions.comparedAttributes |= CompareName | CompareSymbol | CompareIndex;
    ItemRecord other = goods('B', 3);
    GetParam().change(other);
    TestDocument document{goods('A', 2), other, emptyLine('E')};

    merge(document);

    EXPECT_EQ(layout(document), "A:2 B:3 E:0");
    EXPECT_EQ(callsOf("textComparison"), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Keys, FixedKeys,
                         ::testing::Values(KeyCase{"Key511", [](ItemRecord& l) { l.key511 = 0x0512; }},
                                           KeyCase{"Key509", [](ItemRecord& l) { l.key509 = 0x8509; }},
                                           KeyCase{"Key166", [](ItemRecord& l) { l.key166 = 0x0167; }},
                                           KeyCase{"Key184", [](ItemRecord& l) { l.key184 = 0x81840184; }},
                                           KeyCase{"Price", [](ItemRecord& l) { l.price = 1.5; }}),
                         [](const auto& param) { return std::string(param.param.name); });

struct TextCase {
    const char* name;
    std::uint16_t attribute;
    void (*change)(ItemRecord&);
    std::string expectedComparison;  // the call that fails the pair when the attribute is compared
};

class ComparedTexts : public MergeEngine, public ::testing::WithParamInterface<TextCase> {};

TEST_P(ComparedTexts, DifferingTextMergesOnlyWhenNotCompared) {
    const TextCase& c = GetParam();
    ItemRecord other = goods('B', 3);
    c.change(other);

    {
        TestDocument document{goods('A', 2), other, emptyLine('E')};
        merge(document);
        EXPECT_EQ(layout(document), "A:5 E:0 E:0") << "not compared";
        EXPECT_EQ(differingOffsets(document.records[0], goods('A', 5)), std::vector<int>{})
            << "the survivor keeps its own texts";
    }
    fakeHost().calls.clear();
    mergeOptions.comparedAttributes |= c.attribute;
    {
        TestDocument document{goods('A', 2), other, emptyLine('E')};
        merge(document);
        EXPECT_EQ(layout(document), "A:2 B:3 E:0") << "compared";
        const auto comparisons = callsOf("textComparison");
        ASSERT_FALSE(comparisons.empty());
        EXPECT_EQ(comparisons.back(), c.expectedComparison);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ComparedTexts,
    ::testing::Values(TextCase{"Name", CompareName, [](ItemRecord& l) { std::strcpy(l.name, "Mleko"); },
                               R"(textComparison("Chleb", "Mleko"))"},
                      TextCase{"Symbol", CompareSymbol, [](ItemRecord& l) { std::strcpy(l.symbol, "ML-2"); },
                               R"(textComparison("CH-1", "ML-2"))"},
                      TextCase{"Index", CompareIndex, [](ItemRecord& l) { std::strcpy(l.index, "5907777"); },
                               R"(textComparison("5901234", "5907777"))"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(MergeEngine, TextsAreComparedNameSymbolIndexAndTheFirstDifferenceEndsTheTest) {
    mergeOptions.comparedAttributes |= CompareName | CompareSymbol | CompareIndex;
    ItemRecord sameTexts = goods('B', 3);
    ItemRecord otherSymbol = goods('C', 4);
    std::strcpy(otherSymbol.symbol, "ML-2");
    TestDocument document{goods('A', 2), sameTexts, otherSymbol, emptyLine('E')};

    merge(document);

    EXPECT_EQ(callsOf("textComparison"), (std::vector<std::string>{
                                             R"(textComparison("Chleb", "Chleb"))",
                                             R"(textComparison("CH-1", "CH-1"))",
                                             R"(textComparison("5901234", "5901234"))",
                                             R"(textComparison("Chleb", "Chleb"))",
                                             R"(textComparison("CH-1", "ML-2"))",
                                         }));
    EXPECT_EQ(layout(document), "A:5 C:4 E:0 E:0");
}

TEST_F(MergeEngine, HostDecidesWhetherTextsAreEqual) {
    mergeOptions.comparedAttributes |= CompareName;
    ItemRecord other = goods('B', 3);
    std::strcpy(other.name, "CHLEB");  // the fake host compares without regard to case

    TestDocument document{goods('A', 2), other, emptyLine('E')};
    merge(document);
    EXPECT_EQ(layout(document), "A:5 E:0 E:0");
}

TEST_F(MergeEngine, PricesFarApartAreNeverTakenToTheHostsComparison) {
    mergeOptions.comparedAttributes |= CompareName;
    TestDocument document{goods('A', 2), goods('B', 3, 1.5), emptyLine('E')};

    merge(document);

    EXPECT_EQ(callsOf("textComparison"), std::vector<std::string>{});
}

TEST_F(MergeEngine, LineWithoutKeyButWithQuantityTakesPart) {
    ItemRecord first = goods('A', 5);
    first.key511 = 0;
    ItemRecord second = goods('B', 3);
    second.key511 = 0;
    TestDocument document{first, second, emptyLine('E')};

    merge(document);

    EXPECT_EQ(layout(document), "A:8 E:0 E:0");
}

TEST_F(MergeEngine, LineWithKeyButNoQuantityIsMergedAndAddsNothing) {
    TestDocument document{goods('A', 5), goods('B', 0), emptyLine('E')};

    merge(document);

    EXPECT_EQ(layout(document), "A:5 E:0 E:0");
    EXPECT_EQ(callsOf("lineRecalculation").size(), 1u);
}

TEST_F(MergeEngine, WeighedGoodsOffNormalisesNothing) {
    fakeHost().parseSymbol = testing::parseWeighedCode;
    mergeOptions.weighedGoods = 0xFE;  // every bit but the weighed-goods bit
    mergeOptions.comparedAttributes |= CompareSymbol;
    ItemRecord weighed = goods('B', 2000);
    std::strcpy(weighed.symbol, "#CH-1/500/0");
    TestDocument document{goods('A', 2), weighed, emptyLine('E')};

    merge(document);

    EXPECT_EQ(callsOf("symbolParser"), std::vector<std::string>{});
    EXPECT_STREQ(document.records[1].symbol, "#CH-1/500/0");
    EXPECT_EQ(layout(document), "A:2 B:2000 E:0");
}

TEST_F(MergeEngine, WeighedGoodsAreNormalisedOnceWhenFirstLookedAt) {
    fakeHost().parseSymbol = testing::parseWeighedCode;
    mergeOptions.weighedGoods = mergeWeighedGoods;
    mergeOptions.comparedAttributes |= CompareSymbol;
    ItemRecord first = goods('A', 2000);
    std::strcpy(first.symbol, "#CH-1/500/0");
    ItemRecord other = goods('X', 7, 3.0);
    ItemRecord second = goods('B', 4000);
    std::strcpy(second.symbol, "#CH-1/250/0");
    TestDocument document{first, other, second, emptyLine('E')};

    merge(document);

    EXPECT_EQ(layout(document), "A:2000 X:7 E:0 E:0");
    EXPECT_STREQ(document.records[0].symbol, "CH-1");
    // A as the outer line, X and B as its candidates; X is not looked at
    // again as the outer line, and empty lines are never looked at.
    const std::vector<std::string> parsed = {
        R"(symbolParser("#CH-1/500/0", buffer, 256, weight=0, price=0, 0, 0, 0))",
        R"(symbolParser("CH-1", buffer, 256, weight=0, price=0, 0, 0, 0))",
        R"(symbolParser("#CH-1/250/0", buffer, 256, weight=0, price=0, 0, 0, 0))",
    };
    EXPECT_EQ(callsOf("symbolParser"), parsed) << callList(fakeHost().calls);
}

struct FlagCase {
    std::uint16_t before;
    std::string during;
};

class ApprovalWithdrawal : public MergeEngine, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(ApprovalWithdrawal, SetsBit400OnlyAroundTheHostCall) {
    const FlagCase& c = GetParam();
    TestDocument document{goods('A', 1), emptyLine('E')};
    document.document.documentFlags = c.before;
    const DocumentRecord before = document.document;

    merge(document);

    ASSERT_EQ(callsOf("approvalWithdrawal").size(), 1u);
    EXPECT_EQ(callsOf("approvalWithdrawal")[0],
              "approvalWithdrawal(812, 24582, lines, &2, 0, 0, 0, 1, 0, 0, 0, 0) with flags " + c.during);
    DocumentRecord expected = before;
    expected.documentFlags = static_cast<std::uint16_t>(c.before & ~0x400);
    EXPECT_EQ(std::memcmp(&document.document, &expected, sizeof expected), 0)
        << "flags after: " << std::hex << field(document.document.documentFlags);
}

INSTANTIATE_TEST_SUITE_P(Flags, ApprovalWithdrawal,
                         ::testing::Values(FlagCase{0x0000, "400"}, FlagCase{0xFBFF, "ffff"}, FlagCase{0x1234, "1634"},
                                           FlagCase{0x0400, "400"}));

TEST_F(MergeEngine, ReleaseGetsWhatTheWithdrawalGaveAndTheCountWrittenByTheHostIsIgnored) {
    fakeHost().countWrittenByWithdrawal = 1;
    TestDocument document{goods('A', 1), goods('B', 2), emptyLine('E')};

    merge(document);

    EXPECT_EQ(layout(document), "A:3 E:0 E:0") << "the merge runs over the count it received";
    EXPECT_EQ(callsOf("release"), std::vector<std::string>{"release(withdrawal)"});
    EXPECT_EQ(callsOf("lineArrayRecalculation"),
              std::vector<std::string>{"lineArrayRecalculation(lines, 3, document, 0, 0)"});
}

TEST_F(MergeEngine, MissingDocumentTableIsReportedAndNothingElseHappens) {
    fakeHost().documentTableExists = false;
    TestDocument document{goods('A', 1), goods('B', 2), emptyLine('E')};
    const TestDocument before(document);

    EXPECT_EQ(merge(document), 1);

    const std::vector<std::string> expected = {
        "tableDescriptor(44)",
        R"(messageBox("Błąd", "Problem z wycofaniem zatwierdzenia!", 1))",
    };
    EXPECT_EQ(fakeHost().calls, expected) << callList(fakeHost().calls);
    EXPECT_EQ(layout(document), layout(before));
    EXPECT_EQ(std::memcmp(&document.document, &before.document, sizeof before.document), 0);
}

// A descriptor without a current record has no document whose approval
// could be withdrawn: the same refusal, instead of writing through null.
TEST_F(MergeEngine, DocumentTableWithoutCurrentRecordIsRefusedLikeAMissingTable) {
    TestDocument document{goods('A', 1), goods('B', 2), emptyLine('E')};
    document.name();
    fakeHost().documentDescriptor.currentRecord = nullptr;

    EXPECT_EQ(mergeLines(kind, document.array(), document.count(), &document.document, eventArgument), 1);

    EXPECT_EQ(fakeHost().calls.back(), R"(messageBox("Błąd", "Problem z wycofaniem zatwierdzenia!", 1))");
    EXPECT_EQ(layout(document), "A:1 B:2 E:0");
}

TEST_F(MergeEngine, NegativeCountTouchesNoLineAndIsHandedBackAsReceived) {
    TestDocument document{goods('A', 1), goods('B', 2), emptyLine('E')};
    document.document.documentFlags = 0;

    EXPECT_EQ(merge(document, -3), 0);

    EXPECT_EQ(layout(document), "A:1 B:2 E:0");
    const std::vector<std::string> expected = {
        "tableDescriptor(44)",
        "approvalWithdrawal(812, 24582, lines, &-3, 0, 0, 0, 1, 0, 0, 0, 0) with flags 400",
        "release(withdrawal)",
        notice,
        "lineArrayRecalculation(lines, -3, document, 0, 0)",
        "documentRecalculation(document, document, lines, -3)",
        "screenRefresh()",
    };
    EXPECT_EQ(fakeHost().calls, expected) << callList(fakeHost().calls);
}

// A sum that does not fit in 32 bits would wrap into a wrong quantity: the
// pair stays apart, and later lines still merge where their sum fits.
struct OverflowCase {
    const char* name;
    std::int32_t first;
    std::int32_t second;
    std::int32_t third;
    std::string expectedLayout;
};

class QuantityRange : public MergeEngine, public ::testing::WithParamInterface<OverflowCase> {};

TEST_P(QuantityRange, PairWhoseSumDoesNotFitStaysApart) {
    const OverflowCase& c = GetParam();
    TestDocument document{goods('A', c.first), goods('B', c.second), goods('C', c.third), emptyLine('E')};

    merge(document);

    EXPECT_EQ(layout(document), c.expectedLayout);
}

INSTANTIATE_TEST_SUITE_P(
    Sums, QuantityRange,
    ::testing::Values(OverflowCase{"AboveTheRange", 2147483000, 1000, 5, "A:2147483005 B:1000 E:0 E:0"},
                      OverflowCase{"BelowTheRange", -2147483000, -1000, -5, "A:-2147483005 B:-1000 E:0 E:0"},
                      OverflowCase{"ExactlyTheLargest", 2147483000, 647, 1, "A:2147483647 C:1 E:0 E:0"},
                      OverflowCase{"ExactlyTheSmallest", -2147483000, -648, -1, "A:-2147483648 C:-1 E:0 E:0"}),
    [](const auto& param) { return std::string(param.param.name); });

// The host's array is meant to end with an empty line, which fills the place
// of every removed line. When it does not, moving lines up would leave the
// last line in two places and count its quantity twice; such pairs stay
// apart, and the merge still ends.
struct FullArrayCase {
    const char* name;
    std::vector<ItemRecord> lines;
    std::string expectedLayout;
};

class ArrayWithoutEmptyEnd : public MergeEngine, public ::testing::WithParamInterface<FullArrayCase> {};

TEST_P(ArrayWithoutEmptyEnd, EndsWithoutDuplicatingOrCountingTwice) {
    const FullArrayCase& c = GetParam();
    TestDocument document(c.lines);

    EXPECT_EQ(merge(document), 0);

    EXPECT_EQ(layout(document), c.expectedLayout);
    EXPECT_EQ(callsOf("lineRecalculation"), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Arrays, ArrayWithoutEmptyEnd,
                         ::testing::Values(FullArrayCase{"LastMatchesFirst", {goods('A', 1), goods('B', 2)}, "A:1 B:2"},
                                           FullArrayCase{"SingleLine", {goods('A', 1)}, "A:1"},
                                           FullArrayCase{"MatchBeforeAnOtherLastLine",
                                                         {goods('A', 1), goods('B', 2), goods('X', 3, 4.0)},
                                                         "A:1 B:2 X:3"},
                                           FullArrayCase{
                                               "EmptyInTheMiddleOnly",
                                               {goods('A', 1), emptyLine('E'), goods('B', 2), goods('X', 3, 4.0)},
                                               "A:1 E:0 B:2 X:3"}),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace scalarka
