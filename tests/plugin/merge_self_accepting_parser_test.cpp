// Weighed goods under a host parser that recognises its own output: every
// line must be rewritten and scaled once per merge, however often the scan
// passes it, as outer line or as candidate, before or after lines move.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "merge/merge_engine.h"
#include "options/merge_options.h"
#include "tests/plugin/fake_host.h"
#include "tests/plugin/host_table_state.h"
#include "tests/plugin/test_document.h"

namespace scalarka {
namespace {

using testing::emptyLine;
using testing::fakeHost;
using testing::goods;
using testing::PrintTo;
using testing::TestDocument;

// Any symbol starting with "W" is a weighed-goods code of 500 g, and the
// text it gives back is the symbol itself: a second pass would halve the
// quantity again.
std::int32_t acceptsItsOwnOutput(const char* symbol, char* buffer, std::int32_t size, std::int32_t* weight,
                                 std::int32_t*) {
    if (symbol[0] != 'W') {
        return 0;
    }
    std::strncpy(buffer, symbol, static_cast<std::size_t>(size) - 1);
    buffer[size - 1] = '\0';
    *weight = 500;
    return 1;
}

ItemRecord weighed(char label, std::int32_t quantity, double price = 1.0) {
    ItemRecord line = goods(label, quantity, price);
    std::strcpy(line.symbol, "W-1");
    return line;
}

struct SelfAcceptingCase {
    const char* name;
    std::vector<ItemRecord> lines;
    std::string layout;
    std::size_t parserCalls;
};

class SelfAcceptingParser : public ::testing::TestWithParam<SelfAcceptingCase> {
   protected:
    void SetUp() override {
        testing::installFakeHost();
        fakeHost().parseSymbol = acceptsItsOwnOutput;
        mergeOptions = {};
        mergeOptions.comparedAttributes = alwaysComparedAttributes | CompareSymbol;
        mergeOptions.weighedGoods = mergeWeighedGoods;
    }
    void TearDown() override {
        mergeOptions = {};
        testing::restoreUnboundHostTable();
    }
};

TEST_P(SelfAcceptingParser, ScalesEveryLineOnce) {
    const SelfAcceptingCase& c = GetParam();
    TestDocument document(c.lines);
    document.name();
    fakeHost().documentDescriptor.currentRecord = &document.document;

    ASSERT_EQ(mergeLines(812, document.array(), document.count(), &document.document, 0), 0);

    EXPECT_EQ(layout(document), c.layout) << testing::callList(fakeHost().calls);
    std::size_t parserCalls = 0;
    for (const std::string& call : fakeHost().calls) {
        parserCalls += call.rfind("symbolParser(", 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(parserCalls, c.parserCalls) << "one call per non-empty line expected\n"
                                          << testing::callList(fakeHost().calls);
}

std::vector<ItemRecord> manyApart() {
    // Twelve weighed lines at twelve prices, none merging: each is an outer
    // line after having been a candidate many times.
    std::vector<ItemRecord> lines;
    for (int i = 0; i < 12; ++i) {
        lines.push_back(weighed(static_cast<char>('a' + i), 1000 * (i + 1), 1.0 + i));
    }
    lines.push_back(emptyLine('E'));
    return lines;
}

std::string manyApartLayout() {
    std::string text;
    for (int i = 0; i < 12; ++i) {
        text += std::string(1, static_cast<char>('a' + i)) + ":" + std::to_string(500 * (i + 1)) + " ";
    }
    return text + "E:0";
}

const SelfAcceptingCase selfAcceptingCases[] = {
    {"OuterLineAfterBeingACandidate",
     {weighed('A', 1000), weighed('X', 3000, 3.0), weighed('B', 2000), emptyLine('E')},
     "A:1500 X:1500 E:0 E:0",
     3},
    {"CandidateMovedUpByARemoval",
     {weighed('A', 1000), weighed('B', 2000), weighed('X', 4000, 3.0), weighed('Y', 6000, 3.0), emptyLine('E')},
     "A:1500 X:5000 E:0 E:0 E:0",
     4},
    {"LinesBehindAnEmptyLine",
     {emptyLine('F'), weighed('A', 800), emptyLine('G'), weighed('B', 400), goods('P', 5), emptyLine('E')},
     "F:0 A:600 G:0 P:5 E:0 E:0",
     3},
    {"ManyLinesNoneMerging", manyApart(), manyApartLayout(), 12},
};

INSTANTIATE_TEST_SUITE_P(Cases, SelfAcceptingParser, ::testing::ValuesIn(selfAcceptingCases),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });

}  // namespace
}  // namespace scalarka
