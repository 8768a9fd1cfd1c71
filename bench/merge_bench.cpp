// The merge on large documents: the literal scheme (the reference model of
// the tests), the engine, and the floor every merge pays anyway, copying each
// line once. The host is a stub whose services cost next to nothing, so that
// the figures are the plug-in's own.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "host/host_table.h"
#include "host/table_descriptor.h"
#include "merge/merge_engine.h"
#include "merge/records.h"
#include "options/merge_options.h"
#include "tests/plugin/merge_model.h"

namespace scalarka {
namespace {

TableDescriptor documentDescriptor{};

TableDescriptor* tableDescriptor(std::int32_t table) { return table == documentTable ? &documentDescriptor : nullptr; }
std::int32_t messageBox(const char*, const char*, std::int32_t) { return 0; }
void* approvalWithdrawal(std::int32_t, std::intptr_t, ItemRecord**, std::int32_t*, std::int32_t, std::int32_t,
                         std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t) {
    return &documentDescriptor;
}
std::int32_t release(void*) { return 0; }
std::int32_t textComparison(const char* left, const char* right) { return std::strcmp(left, right); }
std::int32_t lineRecalculation(std::int32_t, ItemRecord*, DocumentRecord*, std::int32_t) { return 0; }
std::int32_t lineArrayRecalculation(ItemRecord**, std::int32_t, DocumentRecord*, std::int32_t, std::int32_t) {
    return 0;
}
std::int32_t documentRecalculation(DocumentRecord*, DocumentRecord*, ItemRecord**, std::int32_t) { return 0; }
std::int32_t screenRefresh() { return 0; }
// "#text/weight" is a weighed-goods code; its output is not.
std::int32_t symbolParser(const char* symbol, char* buffer, std::int32_t size, std::int32_t* weight, std::int32_t*,
                          std::int32_t, std::int32_t, std::int32_t) {
    if (symbol[0] != '#') {
        return 0;
    }
    const char* slash = std::strchr(symbol, '/');
    if (slash == nullptr) {
        return 0;
    }
    const auto length =
        std::min<std::size_t>(static_cast<std::size_t>(slash - symbol - 1), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, symbol + 1, length);
    buffer[length] = '\0';
    *weight = std::atoi(slash + 1);
    return 1;
}
char* boundedCopy(char* destination, const char* source, std::int32_t limit) {
    const std::size_t length = std::min(std::strlen(source), static_cast<std::size_t>(limit));
    std::memcpy(destination, source, length);
    destination[length] = '\0';
    return destination;
}

template <typename Fn>
CodeAddress code(Fn* function) {
    return reinterpret_cast<CodeAddress>(function);
}

void installStubHost() {
    const auto set = [](HostIndex index, CodeAddress target) { hostFunctionTable[index].target = target; };
    set(hostTableDescriptorIndex, code(tableDescriptor));
    set(hostMessageBoxIndex, code(messageBox));
    set(hostApprovalWithdrawalIndex, code(approvalWithdrawal));
    set(hostReleaseIndex, code(release));
    set(hostTextComparisonIndex, code(textComparison));
    set(hostLineRecalculationIndex, code(lineRecalculation));
    set(hostLineArrayRecalculationIndex, code(lineArrayRecalculation));
    set(hostDocumentRecalculationIndex, code(documentRecalculation));
    set(hostScreenRefreshIndex, code(screenRefresh));
    set(hostSymbolParserIndex, code(symbolParser));
    set(hostBoundedCopyIndex, code(boundedCopy));
}

// A document of `count` lines: half of the non-empty lines are copies in
// groups of two to four, the other half goods of their own, all shuffled;
// one line in fifty, at least one, forms the empty tail. Every fourth goods
// is weighed (its symbol a code of the stub parser).
std::vector<ItemRecord> makeDocument(int count) {
    std::mt19937 random(12345);
    const int tail = std::max(1, count / 50);
    const int body = count - tail;
    std::vector<ItemRecord> lines;
    int goodsNumber = 0;
    const auto makeGoods = [&](int number) {
        ItemRecord line{};
        std::snprintf(line.name, sizeof line.name, "Towar %d", number);
        if (number % 4 == 0) {
            std::snprintf(line.symbol, sizeof line.symbol, "#T%d/%d", number, 250 + number % 500);
        } else {
            std::snprintf(line.symbol, sizeof line.symbol, "T%d", number);
        }
        std::snprintf(line.index, sizeof line.index, "59%08d", number);
        line.key511 = 0x0511;
        line.key509 = 0x0509;
        line.key166 = static_cast<std::uint16_t>(number % 7);
        line.key184 = static_cast<std::uint32_t>(number);
        line.price = 1.0 + number % 100;
        line.quantity = 1000 + number % 900;
        return line;
    };
    while (static_cast<int>(lines.size()) < body / 2) {
        const ItemRecord line = makeGoods(goodsNumber++);
        const int copies = std::uniform_int_distribution<int>(2, 4)(random);
        for (int c = 0; c < copies && static_cast<int>(lines.size()) < body / 2; ++c) {
            lines.push_back(line);
        }
    }
    while (static_cast<int>(lines.size()) < body) {
        lines.push_back(makeGoods(goodsNumber++));
    }
    std::shuffle(lines.begin(), lines.end(), random);
    for (int i = 0; i < tail; ++i) {
        ItemRecord empty{};
        lines.push_back(empty);
    }
    return lines;
}

using Merge = std::int32_t (*)(std::int32_t, ItemRecord**, std::int32_t, DocumentRecord*, std::intptr_t);

struct Workbench {
    std::vector<ItemRecord> pristine;
    std::vector<ItemRecord> records;
    std::vector<ItemRecord*> lines;
    DocumentRecord document{};

    Workbench(int count, bool weighed) : pristine(makeDocument(count)), records(pristine) {
        for (ItemRecord& record : records) {
            lines.push_back(&record);
        }
        installStubHost();
        documentDescriptor.currentRecord = &document;
        mergeOptions = {};
        mergeOptions.comparedAttributes = alwaysComparedAttributes | CompareName | CompareSymbol | CompareIndex;
        mergeOptions.weighedGoods = weighed ? mergeWeighedGoods : 0;
    }
    void reset() { std::memcpy(records.data(), pristine.data(), pristine.size() * sizeof(ItemRecord)); }
};

// Timed by hand around the merge alone: every run starts from a fresh copy of
// the document, which must not count.
void runMerge(benchmark::State& state, Merge merge) {
    Workbench bench(static_cast<int>(state.range(0)), state.range(1) != 0);
    for (auto _ : state) {
        bench.reset();
        const auto start = std::chrono::steady_clock::now();
        const std::int32_t result =
            merge(812, bench.lines.data(), static_cast<std::int32_t>(bench.lines.size()), &bench.document, 0);
        const auto stop = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(result);
        benchmark::ClobberMemory();
        state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
    }
    state.counters["lines"] = static_cast<double>(bench.lines.size());
}

void reference(benchmark::State& state) { runMerge(state, testing::model::mergeLines); }
void engine(benchmark::State& state) { runMerge(state, mergeLines); }

// What any merge costs at least: every line copied once.
void floorCopy(benchmark::State& state) {
    Workbench bench(static_cast<int>(state.range(0)), false);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (std::size_t i = 0; i < bench.lines.size(); ++i) {
            moveLine(*bench.lines[i], bench.pristine[i]);
        }
        const auto stop = std::chrono::steady_clock::now();
        benchmark::ClobberMemory();
        state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
    }
}

void documentSizes(benchmark::internal::Benchmark* b) {
    b->ArgNames({"lines", "weighed"});
    for (const int count : {100, 1000, 10000}) {
        for (const int weighed : {0, 1}) {
            b->Args({count, weighed});
        }
    }
    b->UseManualTime()->Unit(benchmark::kMicrosecond);
}

BENCHMARK(reference)->Apply(documentSizes);
BENCHMARK(engine)->Apply(documentSizes);
BENCHMARK(floorCopy)->ArgNames({"lines"})->Arg(100)->Arg(1000)->Arg(10000)->UseManualTime()->Unit(
    benchmark::kMicrosecond);

}  // namespace
}  // namespace scalarka

BENCHMARK_MAIN();
