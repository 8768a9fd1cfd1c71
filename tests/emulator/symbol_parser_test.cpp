// The host's symbol parser (52126) and bounded copy (52161): the weighed-goods
// codes it accepts, and that it never accepts its own output, a wrong check
// digit or anything that merely looks like a code.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "tests/emulator/service_call.h"

namespace korpus {
namespace {

using testing::serviceOf;

using SymbolParserFn = std::int32_t(const char*, char*, std::int32_t, std::int32_t*, std::int32_t*, std::int32_t,
                                    std::int32_t, std::int32_t);
using BoundedCopyFn = char*(char*, const char*, std::int32_t);

constexpr std::int32_t untouched = -777;

struct Parsed {
    std::int32_t result = 0;
    std::string buffer;
    std::int32_t weight = untouched;
    std::int32_t price = untouched;
};

Parsed parse(Host& host, const char* symbol, std::int32_t bufferSize = 256) {
    char buffer[256];
    std::memset(buffer, '#', sizeof buffer);
    buffer[sizeof buffer - 1] = '\0';
    Parsed parsed;
    parsed.result =
        serviceOf<SymbolParserFn>(host, 52126)(symbol, buffer, bufferSize, &parsed.weight, &parsed.price, 0, 0, 0);
    parsed.buffer = buffer;
    return parsed;
}

struct AcceptedCase {
    const char* name;
    const char* symbol;
    const char* goods;
    std::optional<std::int32_t> weight;  // nullopt: the code carries none, the number stays untouched
    std::optional<std::int32_t> price;
};

class SymbolParserAccepts : public ::testing::TestWithParam<AcceptedCase> {
   protected:
    Host host;
};

TEST_P(SymbolParserAccepts, GivesTheGoodsSymbolAndTheNumbersTheCodeCarries) {
    const AcceptedCase& c = GetParam();
    const Parsed parsed = parse(host, c.symbol);
    EXPECT_EQ(parsed.result & 0xFFFF, 1) << c.symbol << " should be a weighed-goods code";
    EXPECT_EQ(parsed.buffer, c.goods);
    EXPECT_EQ(parsed.weight, c.weight.value_or(untouched));
    EXPECT_EQ(parsed.price, c.price.value_or(untouched));
}

TEST_P(SymbolParserAccepts, RejectsTheGoodsSymbolItWroteSoALineIsRewrittenOnce) {
    const AcceptedCase& c = GetParam();
    const Parsed first = parse(host, c.symbol);
    ASSERT_EQ(first.result & 0xFFFF, 1);
    const Parsed again = parse(host, first.buffer.c_str());
    EXPECT_EQ(again.result & 0xFFFF, 0) << "the parser accepted its own output \"" << first.buffer << "\"";
}

TEST_P(SymbolParserAccepts, RefusesEveryOtherCheckDigit) {
    const AcceptedCase& c = GetParam();
    std::string symbol = c.symbol;
    const char right = symbol.back();
    for (char digit = '0'; digit <= '9'; ++digit) {
        if (digit == right) {
            continue;
        }
        symbol.back() = digit;
        const Parsed parsed = parse(host, symbol.c_str());
        EXPECT_EQ(parsed.result & 0xFFFF, 0) << symbol << " has a wrong check digit";
        EXPECT_EQ(parsed.weight, untouched) << symbol;
        EXPECT_EQ(parsed.price, untouched) << symbol;
    }
}

INSTANTIATE_TEST_SUITE_P(Codes, SymbolParserAccepts,
                         ::testing::Values(AcceptedCase{"Weight350", "2012345003507", "12345", 350, std::nullopt},
                                           AcceptedCase{"Weight250", "2012345002500", "12345", 250, std::nullopt},
                                           AcceptedCase{"WeightZero", "2012345000001", "12345", 0, std::nullopt},
                                           AcceptedCase{"WeightLargest", "2099999999998", "99999", 99999, std::nullopt},
                                           AcceptedCase{"Price1299", "2112345012995", "12345", std::nullopt, 1299},
                                           AcceptedCase{"PriceAllZero", "2100000000005", "00000", std::nullopt, 0},
                                           AcceptedCase{"WeightAndPrice", "2207892501297", "00789", 250, 129},
                                           AcceptedCase{"WeightAndPriceLargest", "2299999999992", "09999", 999, 999}),
                         testing::CaseName());

struct RejectedCase {
    const char* name;
    const char* symbol;
};

class SymbolParserRejects : public ::testing::TestWithParam<RejectedCase> {
   protected:
    Host host;
};

TEST_P(SymbolParserRejects, WritesNothing) {
    const RejectedCase& c = GetParam();
    const Parsed parsed = parse(host, c.symbol);
    EXPECT_EQ(parsed.result & 0xFFFF, 0) << "\"" << c.symbol << "\" should not be a weighed-goods code";
    EXPECT_EQ(parsed.buffer, std::string(255, '#')) << "the buffer was written";
    EXPECT_EQ(parsed.weight, untouched);
    EXPECT_EQ(parsed.price, untouched);
}

INSTANTIATE_TEST_SUITE_P(
    Symbols, SymbolParserRejects,
    ::testing::Values(RejectedCase{"GoodsSymbol", "12345"}, RejectedCase{"PlainSymbol", "MAKA450"},
                      RejectedCase{"Empty", ""}, RejectedCase{"ShopEanOutsideTheShop", "5901234123457"},
                      RejectedCase{"InShopPrefix23", "2312345003508"}, RejectedCase{"TwelveDigits", "201234500350"},
                      RejectedCase{"FourteenDigits", "20123450035077"}, RejectedCase{"LetterInside", "20123A5003507"},
                      RejectedCase{"LeadingBlank", " 2012345003507"}, RejectedCase{"TrailingBlank", "2012345003507 "},
                      RejectedCase{"TwoDigitsSwapped", "2012345005307"}),
    testing::CaseName());

TEST(SymbolParser, RefusesWhenTheGoodsSymbolDoesNotFitTheBuffer) {
    Host host;
    const Parsed tooSmall = parse(host, "2012345003507", 5);
    EXPECT_EQ(tooSmall.result & 0xFFFF, 0);
    EXPECT_EQ(tooSmall.buffer, std::string(255, '#'));
    const Parsed exact = parse(host, "2012345003507", 6);
    EXPECT_EQ(exact.result & 0xFFFF, 1);
    EXPECT_EQ(exact.buffer, "12345");
}

TEST(SymbolParser, HighBitsOfTheResultCarryNoAnswer) {
    HostConfig config;
    config.symbolParserHighBits = 0x7FFF0000;
    Host host(config);
    EXPECT_EQ(parse(host, "2012345003507").result, 0x7FFF0001);
    EXPECT_EQ(parse(host, "12345").result, 0x7FFF0000);
}

TEST(SymbolParser, TracesTheCodeAndWhatItFound) {
    Host host;
    parse(host, "2207892501297");
    parse(host, "00789");
    EXPECT_EQ(host.trace().callsOf("symbolParser"),
              (std::vector<std::string>{
                  "52126 symbolParser(\"2207892501297\", buffer, 256, &weight, &price, 0, 0, 0) -> 1 (goods "
                  "\"00789\", weight 250, price 129)",
                  "52126 symbolParser(\"00789\", buffer, 256, &weight, &price, 0, 0, 0) -> 0 (not a "
                  "weighed-goods code)"}));
}

struct CopyCase {
    const char* name;
    const char* source;
    std::int32_t limit;
    std::string expected;  // the destination up to and including its NUL
};

class BoundedCopy : public ::testing::TestWithParam<CopyCase> {};

TEST_P(BoundedCopy, CopiesAtMostTheLimitAndANulAndNothingBeyond) {
    const CopyCase& c = GetParam();
    Host host;
    char destination[32];
    std::memset(destination, '#', sizeof destination);
    char* result = serviceOf<BoundedCopyFn>(host, 52161)(destination, c.source, c.limit);
    EXPECT_EQ(result, destination);
    EXPECT_EQ(std::string(destination, c.expected.size()), c.expected);
    for (std::size_t i = c.expected.size(); i < sizeof destination; ++i) {
        EXPECT_EQ(destination[i], '#') << "byte " << i << " beyond the copy was written";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Copies, BoundedCopy,
    ::testing::Values(CopyCase{"Short", "12345", 16, std::string("12345\0", 6)},
                      CopyCase{"ExactlySixteen", "ABCDEFGHIJKLMNOP", 16, std::string("ABCDEFGHIJKLMNOP\0", 17)},
                      CopyCase{"LongerIsCut", "ABCDEFGHIJKLMNOPQRSTU", 16, std::string("ABCDEFGHIJKLMNOP\0", 17)},
                      CopyCase{"Empty", "", 16, std::string("\0", 1)},
                      CopyCase{"LimitZero", "12345", 0, std::string("\0", 1)},
                      CopyCase{"NegativeLimit", "12345", -4, std::string("\0", 1)}),
    testing::CaseName());

TEST(BoundedCopyOverlap, CopiesASourceInsideTheDestination) {
    Host host;
    char text[] = "xx12345";
    serviceOf<BoundedCopyFn>(host, 52161)(text, text + 2, 16);
    EXPECT_STREQ(text, "12345");
}

TEST(BoundedCopyOverlap, NullSourceLeavesTheDestination) {
    Host host;
    char text[] = "keep";
    EXPECT_EQ(serviceOf<BoundedCopyFn>(host, 52161)(text, nullptr, 16), text);
    EXPECT_STREQ(text, "keep");
}

}  // namespace
}  // namespace korpus
