#include "merge/weighed_goods.h"

#include "host/host_services.h"

namespace scalarka {
namespace {

constexpr std::int32_t parserBufferSize = 256;
// The symbol field holds 16 characters and a NUL.
constexpr std::int32_t symbolLimit = 16;
// The parser gives the weight in thousandths of the line's unit.
constexpr double weightScale = 0.001;
constexpr std::int32_t priceScale = 10;
// A second price this close to zero counts as not set.
constexpr double zeroTolerance = 0.00001;

// Truncation toward zero keeps a product inside the 32-bit range exactly when
// it lies strictly between these two (both exact doubles).
constexpr double belowInt32 = -2147483649.0;
constexpr double aboveInt32 = 2147483648.0;

}  // namespace

std::int32_t normaliseWeighedLine(ItemRecord* line, DocumentRecord* document) {
    char parsed[parserBufferSize] = {};
    std::int32_t parsedWeight = 0;
    std::int32_t parsedPrice = 0;
    // Only the low half of the parser's answer carries meaning.
    if (static_cast<std::uint16_t>(
            hostSymbolParser(line->symbol, parsed, parserBufferSize, &parsedWeight, &parsedPrice)) == 0) {
        return 0;
    }

    // Both figures are worked out before anything is written: a line whose
    // scaled quantity or price does not fit its 32-bit field is left exactly
    // as it was rather than stored wrapped, and so is not merged as weighed.
    std::int32_t quantity = line->quantity;
    if (parsedWeight != 0) {
        // The scale first, then the weight, each an IEEE double product; the
        // result is truncated (290 x 100 gives 28, as the double product is
        // 28.999999999999996).
        const double scaled = static_cast<double>(line->quantity) * weightScale;
        const double weighed = scaled * static_cast<double>(parsedWeight);
        if (!(weighed > belowInt32 && weighed < aboveInt32)) {
            return 0;
        }
        quantity = static_cast<std::int32_t>(weighed);
    }
    std::int32_t price = 0;
    if (parsedPrice != 0 && __builtin_mul_overflow(parsedPrice, priceScale, &price)) {
        return 0;
    }

    hostBoundedCopy(line->symbol, parsed, symbolLimit);
    line->quantity = quantity;
    if (parsedPrice != 0) {
        const double value = static_cast<double>(price);
        line->price = value;
        // A NaN second price fails both comparisons and stays as it is.
        if (line->secondPrice > -zeroTolerance && line->secondPrice < zeroTolerance) {
            line->secondPrice = value;
        }
    }
    hostLineRecalculation(line, document);
    return 1;
}

}  // namespace scalarka
