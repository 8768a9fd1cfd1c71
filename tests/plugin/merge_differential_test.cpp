// The merge engine against the reference model of the merge on many
// generated documents: both must leave every line and the document record
// byte for byte alike and make the same host calls, with the same argument
// contents, in the same order. Then the engine alone on arrays the model
// cannot take (no empty line at the end, sums beyond 32 bits): it must end,
// keep every quantity exactly once and never duplicate a line.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "merge/merge_engine.h"
#include "options/merge_options.h"
#include "tests/plugin/fake_host.h"
#include "tests/plugin/host_table_state.h"
#include "tests/plugin/merge_model.h"
#include "tests/plugin/test_document.h"

namespace scalarka {
namespace {

using testing::fakeHost;
using testing::TestDocument;

constexpr std::uint32_t seed = 20240611;
constexpr int documentCount = 10000;

// SplitMix64: cheap to seed afresh for every document, so that a document
// can be made again from its own seed alone.
struct Random {
    using result_type = std::uint32_t;
    std::uint64_t state;
    static constexpr result_type min() { return 0; }
    static constexpr result_type max() { return 0xFFFFFFFFu; }
    result_type operator()() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return static_cast<result_type>((z ^ (z >> 31)) >> 32);
    }
};

template <typename T, std::size_t N>
const T& pick(Random& random, const std::array<T, N>& choices) {
    return choices[std::uniform_int_distribution<std::size_t>(0, N - 1)(random)];
}

bool chance(Random& random, int percent) { return std::uniform_int_distribution<int>(0, 99)(random) < percent; }

void fillRandomBytes(Random& random, void* record, std::size_t size) {
    auto* bytes = static_cast<unsigned char*>(record);
    for (std::size_t i = 0; i < size; i += 4) {
        const std::uint32_t word = random();
        std::memcpy(bytes + i, &word, std::min<std::size_t>(4, size - i));
    }
}

// A text in a field, followed by random bytes up to the field's end.
template <std::size_t N>
void setText(char (&field)[N], const char* text) {
    std::memcpy(field, text, std::strlen(text) + 1);
}

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// Few values per field, so that lines match often and each test of the
// match decides some pairs; prices straddle the tolerance; symbols include
// weighed-goods codes (see parseWeighedCode) that normalise into the plain
// ones and prices that weighed codes produce.
ItemRecord randomLine(Random& random) {
    static constexpr std::array names = {"Chleb", "Chleb", "CHLEB", "Mleko"};
    static constexpr std::array symbols = {"CH-1",      "CH-1",        "ML-2",      "#CH-1/500/0",  "#CH-1/250/25",
                                           "#ML-2/0/3", "#CH-1/999/0", "#CH-1/0/0", "#ML-2/2000/25"};
    static constexpr std::array indexes = {"5901234", "5907777"};
    // The first value of each key is the usual one.
    static constexpr std::array<std::uint16_t, 3> keys511 = {0x0511, 0x0512, 0};
    static constexpr std::array<std::uint16_t, 2> keys509 = {0x0509, 0x050A};
    static constexpr std::array<std::uint16_t, 2> keys166 = {0x0166, 0x8166};
    static constexpr std::array<std::uint32_t, 2> keys184 = {0x01840184, 0x81840184};
    static constexpr std::array<std::int32_t, 9> quantities = {1, 2, 3, 5, 1000, 2000, 0, -4, 1};
    static constexpr std::array prices = {1.0,      1.0,      1.0,   1.000009,   1.00001,
                                          0.999991, 1.000018, 250.0, 250.000005, 30.0};
    static constexpr std::array secondPrices = {0.0, 0.000005, 0.00001, -0.00001, 3.5, nan};

    ItemRecord line;
    fillRandomBytes(random, &line, sizeof line);
    setText(line.name, pick(random, names));
    setText(line.symbol, pick(random, symbols));
    setText(line.index, pick(random, indexes));
    line.key511 = chance(random, 85) ? keys511[0] : pick(random, keys511);
    line.key509 = chance(random, 90) ? keys509[0] : pick(random, keys509);
    line.key166 = chance(random, 90) ? keys166[0] : pick(random, keys166);
    line.key184 = chance(random, 90) ? keys184[0] : pick(random, keys184);
    line.quantity = pick(random, quantities);
    line.price = chance(random, 2) ? nan : pick(random, prices);
    line.secondPrice = pick(random, secondPrices);
    return line;
}

ItemRecord randomEmptyLine(Random& random) {
    ItemRecord line = randomLine(random);
    line.key511 = 0;
    line.quantity = 0;
    return line;
}

struct GeneratedCase {
    std::vector<ItemRecord> lines;
    std::int32_t count;
    MergeOptions options;
    std::int32_t kind;
    std::intptr_t eventArgument;
    std::uint16_t documentFlags;
};

GeneratedCase generate(std::uint64_t documentSeed) {
    Random random{documentSeed};
    GeneratedCase c{};
    const int shape = std::uniform_int_distribution<int>(0, 99)(random);
    const int lineCount = shape < 3 ? 0 : std::uniform_int_distribution<int>(1, 9)(random);
    for (int i = 0; i + 1 < lineCount; ++i) {
        c.lines.push_back(chance(random, 20) ? randomEmptyLine(random) : randomLine(random));
    }
    if (lineCount > 0) {
        // The host's array ends with an empty line.
        c.lines.push_back(randomEmptyLine(random));
    }
    c.count = shape >= 3 && shape < 6 ? -std::uniform_int_distribution<int>(1, 3)(random) : lineCount;
    c.options.documentKinds = static_cast<std::uint8_t>(random());
    c.options.reserved1 = static_cast<std::uint8_t>(random());
    // Any of name, symbol and index, and any other bits besides.
    c.options.comparedAttributes = static_cast<std::uint16_t>(random());
    c.options.triggerMode = static_cast<std::uint16_t>(random() % 3);
    c.options.weighedGoods = static_cast<std::uint8_t>(random());
    c.options.reserved7 = static_cast<std::uint8_t>(random());
    c.kind = pick(random, std::array<std::int32_t, 4>{812, 68, 70, 806});
    c.eventArgument = static_cast<std::int32_t>(random());
    c.documentFlags = static_cast<std::uint16_t>(random());
    return c;
}

std::string describe(const GeneratedCase& c) {
    std::ostringstream text;
    text << "count " << c.count << ", compared attributes 0x" << std::hex << c.options.comparedAttributes
         << ", weighed goods 0x" << int{c.options.weighedGoods} << std::dec << "\n";
    for (std::size_t i = 0; i < c.lines.size(); ++i) {
        const ItemRecord& line = c.lines[i];
        text << "  [" << i << "] key511 " << std::hex << line.key511 << " key509 " << line.key509 << " key166 "
             << line.key166 << " key184 " << line.key184 << std::dec << " quantity " << line.quantity << " price "
             << testing::field(line.price) << " name \"" << line.name << "\" symbol \"" << line.symbol << "\" index \""
             << line.index << "\" second price " << testing::field(line.secondPrice) << "\n";
    }
    return text.str();
}

struct Outcome {
    std::int32_t result;
    std::vector<std::string> calls;
};

using Merge = std::int32_t (*)(std::int32_t, ItemRecord**, std::int32_t, DocumentRecord*, std::intptr_t);

Outcome run(Merge merge, const GeneratedCase& c, TestDocument& document) {
    testing::installFakeHost();
    fakeHost().parseSymbol = testing::parseWeighedCode;
    mergeOptions = c.options;
    document.document.documentFlags = c.documentFlags;
    document.name();
    fakeHost().documentDescriptor.currentRecord = &document.document;
    const std::int32_t result = merge(c.kind, document.array(), c.count, &document.document, c.eventArgument);
    return {result, std::move(fakeHost().calls)};
}

// The first difference between two lists of calls, with the calls around it.
std::string firstDifference(const std::vector<std::string>& engine, const std::vector<std::string>& model) {
    std::size_t at = 0;
    while (at < engine.size() && at < model.size() && engine[at] == model[at]) {
        ++at;
    }
    std::ostringstream text;
    text << "calls differ at " << at << " (engine made " << engine.size() << ", model " << model.size() << ")\n";
    const std::size_t from = at >= 3 ? at - 3 : 0;
    for (std::size_t i = from; i < at + 2; ++i) {
        text << "  engine: " << (i < engine.size() ? engine[i] : "-") << "\n";
        text << "  model:  " << (i < model.size() ? model[i] : "-") << "\n";
    }
    return text.str();
}

class MergeAgainstModel : public ::testing::Test {
   protected:
    void TearDown() override {
        mergeOptions = {};
        testing::restoreUnboundHostTable();
    }
};

std::string where(int n, std::uint64_t documentSeed, const GeneratedCase& c) {
    return "seed " + std::to_string(seed) + ", document " + std::to_string(n) + " (document seed " +
           std::to_string(documentSeed) + ")\n" + describe(c);
}

std::uint64_t documentSeedOf(int n) { return (std::uint64_t{seed} << 32) | static_cast<std::uint32_t>(n); }

TEST_F(MergeAgainstModel, SameLinesAndSameHostCallsOnGeneratedDocuments) {
    std::map<std::string, int> seen;  // how much of the scheme the documents reached
    for (int n = 0; n < documentCount; ++n) {
        const std::uint64_t documentSeed = documentSeedOf(n);
        const GeneratedCase c = generate(documentSeed);
        TestDocument engineDocument(c.lines);
        TestDocument modelDocument(c.lines);

        const Outcome engine = run(mergeLines, c, engineDocument);
        const Outcome model = run(testing::model::mergeLines, c, modelDocument);

        // The failure text is built only for a failure: it costs more than
        // the merge.
        if (engine.result != model.result) {
            FAIL() << where(n, documentSeed, c) << "engine answered " << engine.result << ", model " << model.result;
        }
        if (engine.calls != model.calls) {
            FAIL() << where(n, documentSeed, c) << firstDifference(engine.calls, model.calls);
        }
        for (std::size_t i = 0; i < c.lines.size(); ++i) {
            if (std::memcmp(&engineDocument.records[i], &modelDocument.records[i], sizeof(ItemRecord)) != 0) {
                FAIL() << where(n, documentSeed, c) << "line " << i << " differs at offsets "
                       << ::testing::PrintToString(
                              testing::differingOffsets(engineDocument.records[i], modelDocument.records[i]));
            }
        }
        if (std::memcmp(&engineDocument.document, &modelDocument.document, sizeof(DocumentRecord)) != 0) {
            FAIL() << where(n, documentSeed, c) << "the document records differ";
        }

        for (const std::string& call : engine.calls) {
            seen[call.substr(0, call.find('('))] += 1;
        }
        for (std::size_t i = 0; i < c.lines.size(); ++i) {
            if (testing::labelOf(engineDocument.records[i]) != testing::labelOf(c.lines[i])) {
                seen["moved line"] += 1;
                break;
            }
        }
    }
    // The documents must have exercised every part of the scheme.
    for (const char* part : {"lineRecalculation", "textComparison", "symbolParser", "boundedCopy", "moved line"}) {
        EXPECT_GT(seen[part], documentCount / 10) << part << " in too few documents";
    }
}

// Arrays the model cannot take: the last line need not be empty, quantities
// reach the ends of the 32-bit range. Each line carries a serial number in
// its host bytes.
GeneratedCase generateUnsound(std::uint64_t documentSeed) {
    Random random{documentSeed};
    GeneratedCase c{};
    static constexpr std::array<std::int32_t, 8> quantities = {
        1, 2, 7, 2147483000, 2147483647, -2147483000, -2147483647 - 1, 1000};
    const int lineCount = std::uniform_int_distribution<int>(1, 8)(random);
    for (int i = 0; i < lineCount; ++i) {
        ItemRecord line = chance(random, 15) ? randomEmptyLine(random) : randomLine(random);
        if (!isEmptyLine(line)) {
            line.quantity = pick(random, quantities);
        }
        line.hostData0[0] = static_cast<std::uint8_t>(i + 1);
        c.lines.push_back(line);
    }
    c.count = lineCount;
    c.options.comparedAttributes = static_cast<std::uint16_t>(random());
    c.kind = 812;
    return c;
}

TEST_F(MergeAgainstModel, EngineKeepsEveryQuantityOnceWhereTheModelWouldNot) {
    int withoutEmptyEnd = 0;
    for (int n = 0; n < 2000; ++n) {
        const std::uint64_t documentSeed = documentSeedOf(documentCount + n);
        const GeneratedCase c = generateUnsound(documentSeed);
        TestDocument document(c.lines);

        run(mergeLines, c, document);

        std::int64_t before = 0;
        std::int64_t after = 0;
        std::map<int, int> copies;
        for (std::size_t i = 0; i < c.lines.size(); ++i) {
            before += c.lines[i].quantity;
            after += document.records[i].quantity;
            if (!isEmptyLine(document.records[i])) {
                copies[document.records[i].hostData0[0]] += 1;
            }
        }
        ASSERT_EQ(after, before) << where(n, documentSeed, c) << "result " << testing::layout(document);
        for (const auto& [serial, count] : copies) {
            ASSERT_EQ(count, 1) << where(n, documentSeed, c) << "line " << serial << " appears " << count << " times";
        }
        if (!isEmptyLine(c.lines.back()) && c.lines.size() > 1) {
            ++withoutEmptyEnd;
        }
    }
    EXPECT_GT(withoutEmptyEnd, 100) << "arrays without an empty last line were generated";
}

}  // namespace
}  // namespace scalarka
