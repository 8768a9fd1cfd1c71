// Weighed-goods lines: what the host's symbol parser gives is applied to the
// line with exactly the double arithmetic the host's own figures come from.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "merge/records.h"
#include "merge/weighed_goods.h"
#include "tests/plugin/fake_host.h"
#include "tests/plugin/host_table_state.h"
#include "tests/plugin/test_document.h"

namespace scalarka {
namespace {

using testing::callList;
using testing::differingOffsets;
using testing::fakeHost;
using testing::field;
using testing::PrintTo;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// What the fake parser answers.
struct Parsed {
    std::int32_t result;
    std::string text;
    std::int32_t weight;
    std::int32_t price;
};

#if defined(__i386__)
// Some hosts leave the x87 unit at extended precision; the figures must not
// depend on it.
void useExtendedX87Precision() {
    unsigned short control = 0;
    asm volatile("fnstcw %0" : "=m"(control));
    control = static_cast<unsigned short>(control | 0x0300);
    asm volatile("fldcw %0" : : "m"(control));
}
#else
void useExtendedX87Precision() {}
#endif

class WeighedGoods : public ::testing::Test {
   protected:
    void SetUp() override {
        testing::installFakeHost();
        useExtendedX87Precision();
        // Every byte distinct from its neighbours, so that a stray write shows.
        auto* bytes = reinterpret_cast<unsigned char*>(&line);
        for (std::size_t i = 0; i < sizeof line; ++i) {
            bytes[i] = static_cast<unsigned char>(i * 7 + 3);
        }
        std::strcpy(line.symbol, "#W0250C0025");
        line.quantity = 500;
        line.price = 12.5;
        line.secondPrice = 0.0;
        fakeHost().names[&line] = "line[0]";
        fakeHost().names[&document] = "document";
    }
    void TearDown() override { testing::restoreUnboundHostTable(); }

    void parserAnswers(const Parsed& parsed) {
        fakeHost().parseSymbol = [parsed](const char*, char* buffer, std::int32_t size, std::int32_t* weight,
                                          std::int32_t* price) {
            std::snprintf(buffer, static_cast<std::size_t>(size), "%s", parsed.text.c_str());
            if (parsed.weight != 0) {
                *weight = parsed.weight;
            }
            if (parsed.price != 0) {
                *price = parsed.price;
            }
            return parsed.result;
        };
    }

    std::int32_t normalise() { return normaliseWeighedLine(&line, &document); }

    ItemRecord line{};
    DocumentRecord document{};
};

struct RejectCase {
    const char* name;
    std::int32_t parserResult;
};

class RejectedSymbol : public WeighedGoods, public ::testing::WithParamInterface<RejectCase> {};

TEST_P(RejectedSymbol, LeavesEveryByteAndCallsNothingElse) {
    parserAnswers({GetParam().parserResult, "W", 250, 25});
    const ItemRecord before = line;

    EXPECT_EQ(normalise(), 0);

    EXPECT_EQ(differingOffsets(line, before), std::vector<int>{});
    const std::vector<std::string> expected = {
        R"(symbolParser("#W0250C0025", buffer, 256, weight=0, price=0, 0, 0, 0))"};
    EXPECT_EQ(fakeHost().calls, expected) << callList(fakeHost().calls);
}

INSTANTIATE_TEST_SUITE_P(Parser, RejectedSymbol,
                         ::testing::Values(RejectCase{"Zero", 0}, RejectCase{"OnlyHighBitsSet", 0x10000},
                                           RejectCase{"HighHalfAllOnes", static_cast<std::int32_t>(0xFFFF0000u)}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(WeighedGoods, AcceptedSymbolIsReplacedScaledPricedAndRecalculated) {
    parserAnswers({1, "W", 250, 25});

    EXPECT_EQ(normalise(), 1);

    EXPECT_STREQ(line.symbol, "W");
    EXPECT_EQ(field(line.quantity), 125);
    EXPECT_EQ(field(line.price), 250.0);
    EXPECT_EQ(field(line.secondPrice), 250.0);
    const std::vector<std::string> expected = {
        R"(symbolParser("#W0250C0025", buffer, 256, weight=0, price=0, 0, 0, 0))",
        R"(boundedCopy(line[0].symbol, "W", 16))",
        "lineRecalculation(0, " + fakeHost().describeLine(&line) + ", document, 1)",
    };
    EXPECT_EQ(fakeHost().calls, expected) << callList(fakeHost().calls);
}

TEST_F(WeighedGoods, OnlyTheLowHalfOfTheParsersAnswerCounts) {
    parserAnswers({0x10001, "W", 0, 0});
    EXPECT_EQ(normalise(), 1);
    EXPECT_STREQ(line.symbol, "W");
}

TEST_F(WeighedGoods, AcceptedWithNeitherNumberReplacesOnlyTheSymbol) {
    parserAnswers({1, "CHLEB", 0, 0});
    ItemRecord expected = line;
    std::strcpy(expected.symbol, "CHLEB");

    EXPECT_EQ(normalise(), 1);

    EXPECT_EQ(differingOffsets(line, expected), std::vector<int>{});
    ASSERT_EQ(fakeHost().calls.size(), 3u) << callList(fakeHost().calls);
    EXPECT_EQ(fakeHost().calls[2].rfind("lineRecalculation(0, line[0]", 0), 0u) << callList(fakeHost().calls);
}

TEST_F(WeighedGoods, ParsedTextLongerThanTheSymbolIsCutToSixteenCharacters) {
    parserAnswers({1, "ABCDEFGHIJKLMNOPQRSTU", 0, 0});
    const std::int32_t quantity = line.quantity;

    normalise();

    EXPECT_STREQ(line.symbol, "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(field(line.quantity), quantity) << "the copy must stay within the 17 bytes of the symbol";
    EXPECT_EQ(fakeHost().calls[1], R"(boundedCopy(line[0].symbol, "ABCDEFGHIJKLMNOPQRSTU", 16))");
}

struct ScaleCase {
    std::int32_t quantity;
    std::int32_t weight;
    std::int32_t expected;
};

class WeightScaling : public WeighedGoods, public ::testing::WithParamInterface<ScaleCase> {};

TEST_P(WeightScaling, QuantityTimesThousandthsTimesWeightTruncatedTowardZero) {
    const ScaleCase& c = GetParam();
    line.quantity = c.quantity;
    parserAnswers({1, "W", c.weight, 0});
    const double price = line.price;

    EXPECT_EQ(normalise(), 1);

    EXPECT_EQ(field(line.quantity), c.expected) << c.quantity << " x " << c.weight;
    EXPECT_EQ(field(line.price), price) << "no price was parsed";
}

INSTANTIATE_TEST_SUITE_P(Figures, WeightScaling,
                         ::testing::Values(ScaleCase{500, 250, 125}, ScaleCase{750, 400, 300},
                                           // 28.999999999999996 and 434.99999999999994 as doubles
                                           ScaleCase{290, 100, 28}, ScaleCase{580, 750, 434},
                                           // times the double 0.001, not divided by 1000 (26.999999999999996)
                                           ScaleCase{36, 750, 27}, ScaleCase{-3, 500, -1}, ScaleCase{1, 999, 0},
                                           ScaleCase{1000, -7, -7}, ScaleCase{1000, 2147483647, 2147483647},
                                           ScaleCase{-1000, 2147483647, -2147483647}));

TEST_F(WeighedGoods, LineScaledToNothingWithoutKeyBecomesAnEmptyLine) {
    line.quantity = 1;
    line.key511 = 0;
    parserAnswers({1, "W", 999, 0});

    normalise();

    EXPECT_TRUE(isEmptyLine(line));
}

struct PriceCase {
    const char* name;
    double secondPriceBefore;
    double secondPriceAfter;
};

class PriceSetting : public WeighedGoods, public ::testing::WithParamInterface<PriceCase> {};

TEST_P(PriceSetting, PriceIsTenTimesParsedAndAZeroSecondPriceFollows) {
    const PriceCase& c = GetParam();
    line.secondPrice = c.secondPriceBefore;
    const std::int32_t quantity = line.quantity;
    parserAnswers({1, "W", 0, 25});

    EXPECT_EQ(normalise(), 1);

    EXPECT_EQ(field(line.price), 250.0);
    if (std::isnan(c.secondPriceAfter)) {
        EXPECT_TRUE(std::isnan(field(line.secondPrice))) << field(line.secondPrice);
    } else {
        EXPECT_EQ(field(line.secondPrice), c.secondPriceAfter);
    }
    EXPECT_EQ(field(line.quantity), quantity) << "no weight was parsed";
}

INSTANTIATE_TEST_SUITE_P(SecondPrices, PriceSetting,
                         ::testing::Values(PriceCase{"Zero", 0.0, 250.0}, PriceCase{"NegativeZero", -0.0, 250.0},
                                           PriceCase{"JustAboveZero", 0.000005, 250.0},
                                           PriceCase{"JustBelowZero", -0.000005, 250.0},
                                           PriceCase{"AtUpperTolerance", 0.00001, 0.00001},
                                           PriceCase{"AtLowerTolerance", -0.00001, -0.00001},
                                           PriceCase{"Set", 3.5, 3.5}, PriceCase{"NotANumber", nan, nan}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(WeighedGoods, NegativeParsedPriceIsScaledAsWell) {
    parserAnswers({1, "W", 0, -3});
    normalise();
    EXPECT_EQ(field(line.price), -30.0);
}

// A weight or price that cannot be stored in the line's 32-bit field: the
// line is left exactly as it was, as if it were not weighed goods, rather
// than stored with a wrapped or undefined value.
struct OutOfRangeCase {
    const char* name;
    std::int32_t quantity;
    std::int32_t weight;
    std::int32_t price;
};

class OutOfRange : public WeighedGoods, public ::testing::WithParamInterface<OutOfRangeCase> {};

TEST_P(OutOfRange, LeavesTheLineUntouched) {
    const OutOfRangeCase& c = GetParam();
    line.quantity = c.quantity;
    parserAnswers({1, "W", c.weight, c.price});
    const ItemRecord before = line;

    EXPECT_EQ(normalise(), 0);

    EXPECT_EQ(differingOffsets(line, before), std::vector<int>{});
    EXPECT_EQ(fakeHost().calls.size(), 1u) << "only the parser was asked\n" << callList(fakeHost().calls);
}

INSTANTIATE_TEST_SUITE_P(Figures, OutOfRange,
                         ::testing::Values(OutOfRangeCase{"QuantityAbove", 2000, 2147483647, 0},
                                           OutOfRangeCase{"QuantityBelow", -2000, 2147483647, 0},
                                           OutOfRangeCase{"LargeBoth", 2147483647, 2147483647, 0},
                                           OutOfRangeCase{"PriceAbove", 500, 250, 214748365},
                                           OutOfRangeCase{"PriceBelow", 500, 0, -214748365}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(WeighedGoods, LargestPricesThatFitAreStored) {
    parserAnswers({1, "W", 0, 214748364});
    EXPECT_EQ(normalise(), 1);
    EXPECT_EQ(field(line.price), 2147483640.0);

    std::strcpy(line.symbol, "#again");
    parserAnswers({1, "W", 0, -214748364});
    EXPECT_EQ(normalise(), 1);
    EXPECT_EQ(field(line.price), -2147483640.0);
}

}  // namespace
}  // namespace scalarka
