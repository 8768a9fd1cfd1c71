#include "tests/plugin/merge_model.h"

#include <cstring>
#include <string>
#include <vector>

#include "emulator/core/text.h"
#include "host/host_services.h"
#include "host/table_descriptor.h"
#include "options/merge_options.h"

namespace scalarka::testing::model {
namespace {

// Byte offsets in the host's line record.
constexpr std::size_t nameAt = 2;
constexpr std::size_t symbolAt = 123;
constexpr std::size_t quantityAt = 140;
constexpr std::size_t key166At = 166;
constexpr std::size_t key184At = 184;
constexpr std::size_t priceAt = 204;
constexpr std::size_t indexAt = 216;
constexpr std::size_t secondPriceAt = 338;
constexpr std::size_t key509At = 509;
constexpr std::size_t key511At = 511;
constexpr std::size_t lineSize = 515;
constexpr std::size_t documentFlagsAt = 403;

std::string mazoviaText(const char8_t* utf8) { return korpus::toMazovia(reinterpret_cast<const char*>(utf8)); }

unsigned char* bytes(void* record) { return static_cast<unsigned char*>(record); }

template <typename T>
T get(void* record, std::size_t offset) {
    T value;
    std::memcpy(&value, bytes(record) + offset, sizeof value);
    return value;
}

template <typename T>
void put(void* record, std::size_t offset, T value) {
    std::memcpy(bytes(record) + offset, &value, sizeof value);
}

char* text(void* record, std::size_t offset) { return reinterpret_cast<char*>(bytes(record) + offset); }

bool empty(ItemRecord* line) {
    return get<std::uint16_t>(line, key511At) == 0 && get<std::int32_t>(line, quantityAt) == 0;
}

std::uint16_t comparedAttributes() { return get<std::uint16_t>(&mergeOptions, 2); }
bool weighedGoodsBit() { return (get<std::uint8_t>(&mergeOptions, 6) & 1) != 0; }

// The weighed-goods normalisation, steps 1 to 7.
void normalise(ItemRecord* line, DocumentRecord* document) {
    std::int32_t parsedWeight = 0;
    std::int32_t parsedPrice = 0;
    char buffer[256];
    const std::int32_t result = hostSymbolParser(text(line, symbolAt), buffer, 256, &parsedWeight, &parsedPrice);
    if ((result & 0xFFFF) == 0) {
        return;
    }
    hostBoundedCopy(text(line, symbolAt), buffer, 16);
    if (parsedWeight != 0) {
        double product = static_cast<double>(get<std::int32_t>(line, quantityAt)) * 0.001;
        product = product * static_cast<double>(parsedWeight);
        put<std::int32_t>(line, quantityAt, static_cast<std::int32_t>(product));
    }
    if (parsedPrice != 0) {
        const std::int32_t v = parsedPrice * 10;
        put<double>(line, priceAt, static_cast<double>(v));
        const double second = get<double>(line, secondPriceAt);
        if (-0.00001 < second && second < 0.00001) {
            put<double>(line, secondPriceAt, static_cast<double>(v));
        }
    }
    hostLineRecalculation(line, document);
}

bool match(ItemRecord* a, ItemRecord* b) {
    if (get<std::uint16_t>(a, key511At) != get<std::uint16_t>(b, key511At))
        return false;
    if (get<std::uint16_t>(a, key509At) != get<std::uint16_t>(b, key509At))
        return false;
    if (get<std::uint16_t>(a, key166At) != get<std::uint16_t>(b, key166At))
        return false;
    const double d = get<double>(a, priceAt) - get<double>(b, priceAt);
    if (!(-0.00001 < d && d < 0.00001))
        return false;
    if (get<std::uint32_t>(a, key184At) != get<std::uint32_t>(b, key184At))
        return false;
    if ((comparedAttributes() & 0x01) != 0 && hostTextComparison(text(a, nameAt), text(b, nameAt)) != 0)
        return false;
    if ((comparedAttributes() & 0x02) != 0 && hostTextComparison(text(a, symbolAt), text(b, symbolAt)) != 0)
        return false;
    if ((comparedAttributes() & 0x04) != 0 && hostTextComparison(text(a, indexAt), text(b, indexAt)) != 0)
        return false;
    return true;
}

std::int32_t withdraw(std::int32_t documentKind, ItemRecord** lines, std::int32_t lineCount,
                      std::intptr_t eventArgument) {
    TableDescriptor* table = hostTableDescriptor(44);
    if (table == nullptr) {
        hostMessageBox(mazoviaText(u8"Błąd").c_str(), mazoviaText(u8"Problem z wycofaniem zatwierdzenia!").c_str(), 1);
        return 1;
    }
    void* record = table->currentRecord;
    put<std::uint16_t>(record, documentFlagsAt, get<std::uint16_t>(record, documentFlagsAt) | 0x400);
    std::int32_t copy = lineCount;
    void* value = hostApprovalWithdrawal(documentKind, eventArgument, lines, &copy);
    hostRelease(value);
    put<std::uint16_t>(record, documentFlagsAt, get<std::uint16_t>(record, documentFlagsAt) & ~0x400);
    return 0;
}

}  // namespace

std::int32_t mergeLines(std::int32_t documentKind, ItemRecord** lines, std::int32_t lineCount, DocumentRecord* document,
                        std::intptr_t eventArgument) {
    // Step 1.
    if (withdraw(documentKind, lines, lineCount, eventArgument) != 0) {
        return 1;
    }
    // Step 2.
    hostMessageBox(mazoviaText(u8"Uwaga").c_str(), mazoviaText(u8"Łączenie takich samych pozycji...").c_str(), 512);
    // Steps 3 and 4.
    if (lineCount > 0) {
        // A line is normalised once per merge, the first time it is looked
        // at; the mark travels with the line when it moves.
        std::vector<bool> normalised(static_cast<std::size_t>(lineCount), false);
        for (std::int32_t i = 0; i <= lineCount - 1; ++i) {
            ItemRecord* a = lines[i];
            if (empty(a)) {
                continue;
            }
            if (weighedGoodsBit() && !normalised[i]) {
                normalise(a, document);
                normalised[i] = true;
            }
            std::int32_t j = i + 1;
            while (j < lineCount) {
                ItemRecord* b = lines[j];
                if (empty(b)) {
                    ++j;
                    continue;
                }
                if (weighedGoodsBit() && !normalised[j]) {
                    normalise(b, document);
                    normalised[j] = true;
                }
                if (!match(a, b)) {
                    ++j;
                    continue;
                }
                put<std::int32_t>(a, quantityAt, get<std::int32_t>(a, quantityAt) + get<std::int32_t>(b, quantityAt));
                hostLineRecalculation(a, document);
                for (std::int32_t k = j; k <= lineCount - 2; ++k) {
                    std::memcpy(lines[k], lines[k + 1], lineSize);
                    normalised[k] = normalised[k + 1];
                }
            }
        }
    }
    // Step 5.
    hostLineArrayRecalculation(lines, lineCount, document);
    hostDocumentRecalculation(document, lines, lineCount);
    hostScreenRefresh();
    // Step 6.
    return 0;
}

}  // namespace scalarka::testing::model
