// The merge engine on fuzzed documents against the literal scheme (the
// reference model of the plug-in tests): the same result, every line and the
// document record byte for byte alike, the same host calls with the same
// argument contents in the same order. Documents are built from a few bytes
// per line over small sets of values, so that lines match often.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "merge/merge_engine.h"
#include "options/merge_options.h"
#include "tests/plugin/fake_host.h"
#include "tests/plugin/merge_model.h"
#include "tests/plugin/test_document.h"

namespace {

using scalarka::ItemRecord;
using scalarka::testing::fakeHost;
using scalarka::testing::TestDocument;

using Input = scalarka::fuzzing::FuzzInput;

// Weighed codes "#text/weight/price" with numbers small enough that the
// model's unchecked arithmetic stays inside 32 bits; its own output is not a
// code.
std::int32_t boundedParser(const char* symbol, char* buffer, std::int32_t size, std::int32_t* weight,
                           std::int32_t* price) {
    const std::int32_t accepted = scalarka::testing::parseWeighedCode(symbol, buffer, size, weight, price);
    if (*weight > 5000 || *weight < -5000 || *price > 100000 || *price < -100000) {
        *weight = 0;
        *price = 0;
    }
    return accepted;
}

ItemRecord lineFrom(Input& in, int serial) {
    static constexpr const char* names[] = {"Chleb", "CHLEB", "Mleko", ""};
    static constexpr const char* symbols[] = {"CH-1",      "ML-2",        "#CH-1/500/0", "#CH-1/250/25",
                                              "#ML-2/0/3", "#CH-1/999/0", "#CH-1/0/0",   "#X/4000/1"};
    static constexpr double prices[] = {1.0,      1.000009, 1.00001, 0.999991,
                                        1.000018, 250.0,    -0.0,    std::numeric_limits<double>::quiet_NaN()};
    static constexpr double secondPrices[] = {0.0,      0.000005, 0.00001,
                                              -0.00001, 3.5,      std::numeric_limits<double>::infinity()};
    const std::uint8_t a = in.next();
    const std::uint8_t b = in.next();
    const std::uint8_t c = in.next();
    const std::uint8_t d = in.next();
    ItemRecord line;
    auto* bytes = reinterpret_cast<unsigned char*>(&line);
    for (std::size_t i = 0; i < sizeof line; ++i) {
        bytes[i] = static_cast<unsigned char>(i * 7 + static_cast<unsigned>(serial) * 31);
    }
    std::strcpy(line.name, names[a & 3]);
    std::strcpy(line.symbol, symbols[(a >> 2) & 7]);
    std::strcpy(line.index, (a & 0x20) != 0 ? "5901234" : "5907777");
    line.key511 = (b & 3) == 3 ? 0 : static_cast<std::uint16_t>(0x0511 + (b & 1));
    line.key509 = static_cast<std::uint16_t>(0x0509 + ((b >> 2) & 1));
    line.key166 = static_cast<std::uint16_t>(0x0166 + ((b >> 3) & 1) * 0x8000);
    line.key184 = 0x01840184u + ((b >> 4) & 1);
    line.quantity = static_cast<std::int8_t>(c) * ((b & 0x20) != 0 ? 100 : 1);
    line.price = prices[d & 7];
    line.secondPrice = secondPrices[(d >> 3) % 6];
    return line;
}

struct Outcome {
    std::int32_t result;
    std::vector<std::string> calls;
};

using Merge = std::int32_t (*)(std::int32_t, ItemRecord**, std::int32_t, scalarka::DocumentRecord*, std::intptr_t);

Outcome run(Merge merge, const scalarka::MergeOptions& options, std::int32_t count, TestDocument& document) {
    scalarka::testing::installFakeHost();
    fakeHost().parseSymbol = boundedParser;
    scalarka::mergeOptions = options;
    document.name();
    fakeHost().documentDescriptor.currentRecord = &document.document;
    const std::int32_t result = merge(812, document.array(), count, &document.document, 7);
    return {result, std::move(fakeHost().calls)};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in{data, size};
    scalarka::MergeOptions options{};
    options.comparedAttributes = static_cast<std::uint16_t>(in.next() | (in.next() << 8));
    options.weighedGoods = in.next();
    const int lineCount = 1 + in.next() % 64;
    std::vector<ItemRecord> lines;
    for (int i = 0; i + 1 < lineCount; ++i) {
        lines.push_back(lineFrom(in, i));
    }
    // The host's array ends with an empty line: the scheme's precondition.
    ItemRecord last = lineFrom(in, lineCount);
    last.key511 = 0;
    last.quantity = 0;
    lines.push_back(last);

    TestDocument engineDocument(lines);
    TestDocument modelDocument(lines);
    const Outcome engine = run(scalarka::mergeLines, options, lineCount, engineDocument);
    const Outcome model = run(scalarka::testing::model::mergeLines, options, lineCount, modelDocument);
    scalarka::mergeOptions = {};

    if (engine.result != model.result) {
        std::fprintf(stderr, "results differ: engine %d, model %d\n", engine.result, model.result);
        __builtin_trap();
    }
    if (engine.calls != model.calls) {
        std::size_t at = 0;
        while (at < engine.calls.size() && at < model.calls.size() && engine.calls[at] == model.calls[at]) {
            ++at;
        }
        std::fprintf(stderr, "host calls differ at %zu:\n  engine: %s\n  model:  %s\n", at,
                     at < engine.calls.size() ? engine.calls[at].c_str() : "-",
                     at < model.calls.size() ? model.calls[at].c_str() : "-");
        __builtin_trap();
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (std::memcmp(&engineDocument.records[i], &modelDocument.records[i], sizeof(ItemRecord)) != 0) {
            std::fprintf(stderr, "line %zu differs\n", i);
            __builtin_trap();
        }
    }
    if (std::memcmp(&engineDocument.document, &modelDocument.document, sizeof engineDocument.document) != 0) {
        __builtin_trap();
    }
    return 0;
}
