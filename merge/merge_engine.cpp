#include "merge/merge_engine.h"

#include "host/host_services.h"
#include "host/table_descriptor.h"
#include "merge/messages.h"
#include "merge/weighed_goods.h"
#include "options/merge_options.h"

namespace scalarka {
namespace {

// Two prices are the same price when they differ by strictly less than this.
constexpr double priceTolerance = 0.00001;

bool pricesAgree(double left, double right) {
    // A NaN difference fails both comparisons.
    const double difference = left - right;
    return difference > -priceTolerance && difference < priceTolerance;
}

// A text the options do not compare always agrees. A compared text costs a
// call into the host, so it is asked only after every fixed field agreed.
bool textsAgree(std::uint16_t attribute, const char* left, const char* right) {
    if ((mergeOptions.comparedAttributes & attribute) == 0) {
        return true;
    }
    return hostTextComparison(left, right) == 0;
}

bool linesMatch(const ItemRecord& earlier, const ItemRecord& later) {
    return earlier.key511 == later.key511 && earlier.key509 == later.key509 && earlier.key166 == later.key166 &&
           pricesAgree(earlier.price, later.price) && earlier.key184 == later.key184 &&
           textsAgree(CompareName, earlier.name, later.name) &&
           textsAgree(CompareSymbol, earlier.symbol, later.symbol) &&
           textsAgree(CompareIndex, earlier.index, later.index);
}

// Once per merge, when the line is first looked at: a host parser that
// recognises its own output would otherwise scale the quantity again on
// every pass.
void normaliseIfWeighed(ItemRecord* line, DocumentRecord* document) {
    if ((mergeOptions.weighedGoods & mergeWeighedGoods) != 0) {
        normaliseWeighedLine(line, document);
    }
}

// Adds the later line's quantity to the earlier one. A sum that would not fit
// is refused, leaving both lines as they are.
bool fold(ItemRecord* earlier, const ItemRecord& later, DocumentRecord* document) {
    std::int32_t sum = 0;
    if (__builtin_add_overflow(earlier->quantity, later.quantity, &sum)) {
        return false;
    }
    earlier->quantity = sum;
    hostLineRecalculation(earlier, document);
    return true;
}

// Moving the lines up leaves the last position as it was, so the last line
// ends up in two places: harmless only when it is an empty line.
bool lastLineIsEmpty(ItemRecord* const* lines, std::int32_t lineCount) { return isEmptyLine(*lines[lineCount - 1]); }

// Removes the line at `position` by moving every later line up one place,
// whole, with all the bytes the host keeps in it.
void removeLine(ItemRecord* const* lines, std::int32_t lineCount, std::int32_t position) {
    for (std::int32_t k = position; k + 1 < lineCount; ++k) {
        moveLine(*lines[k], *lines[k + 1]);
    }
}

// Where the lines removed from the array leave room, the array holds copies
// of its last line, as if every later line had moved up one place for each
// removal: the host sees the same array whichever way it was built.
void fillTail(ItemRecord* const* lines, std::int32_t lineCount, std::int32_t from) {
    for (std::int32_t k = from; k + 1 < lineCount; ++k) {
        moveLine(*lines[k], *lines[lineCount - 1]);
    }
}

// The first outer line against every later line, with the survivors written
// forward once instead of every removal moving the rest of the array: each
// candidate is first moved to the place where it would stand by then, so the
// host sees it (normalisation, recalculation) at the same position. This pass
// looks at every line of the array, so it is the one that normalises them.
// Returns the number of positions that still hold lines of the document;
// those behind it hold copies of the last line.
std::int32_t firstPass(ItemRecord* const* lines, std::int32_t lineCount, std::int32_t first, DocumentRecord* document) {
    ItemRecord* const earlier = lines[first];
    normaliseIfWeighed(earlier, document);
    std::int32_t write = first + 1;
    for (std::int32_t read = first + 1; read < lineCount; ++read) {
        if (read != write) {
            moveLine(*lines[write], *lines[read]);
        }
        ItemRecord* const later = lines[write];
        if (isEmptyLine(*later)) {
            ++write;
            continue;
        }
        normaliseIfWeighed(later, document);
        // A removed line leaves its place to the next one.
        if (!linesMatch(*earlier, *later) || !lastLineIsEmpty(lines, lineCount) || !fold(earlier, *later, document)) {
            ++write;
        }
    }
    fillTail(lines, lineCount, write);
    return write;
}

// Later outer lines, the scheme as written: for documents beyond the scratch
// arrays, or whose last line is not empty (nothing is removed there).
void laterPassesInPlace(ItemRecord* const* lines, std::int32_t lineCount, std::int32_t from, DocumentRecord* document) {
    for (std::int32_t i = from; i < lineCount; ++i) {
        ItemRecord* const earlier = lines[i];
        if (isEmptyLine(*earlier)) {
            continue;
        }
        std::int32_t j = i + 1;
        while (j < lineCount) {
            ItemRecord* const later = lines[j];
            if (isEmptyLine(*later) || !linesMatch(*earlier, *later) || !lastLineIsEmpty(lines, lineCount) ||
                !fold(earlier, *later, document)) {
                ++j;
                continue;
            }
            // The line that moves into position j is examined next, against
            // the same earlier line.
            removeLine(lines, lineCount, j);
        }
    }
}

// Process-wide scratch for the later passes: lines with the same four keys
// chained by position, so that an outer line meets only the candidates that
// can pass the fixed comparisons, in the order the scan would meet them.
constexpr std::int32_t scratchLines = 16384;
constexpr std::int32_t scratchBuckets = 2 * scratchLines;
std::int32_t bucketHead[scratchBuckets];
std::int32_t nextWithSameBucket[scratchLines];
bool removedAt[scratchLines];

std::uint32_t keysBucket(const ItemRecord& line, std::uint32_t mask) {
    std::uint64_t h = (std::uint64_t{line.key511} << 48) ^ (std::uint64_t{line.key509} << 32) ^
                      (std::uint64_t{line.key166} << 16) ^ std::uint64_t{line.key184} ^
                      (std::uint64_t{line.key184} << 29);
    h *= 0x9E3779B97F4A7C15ULL;
    return static_cast<std::uint32_t>(h >> 32) & mask;
}

// The first position after `after` in a bucket's chain, or -1.
std::int32_t firstInBucketAfter(std::uint32_t bucket, std::int32_t after) {
    std::int32_t position = bucketHead[bucket];
    while (position >= 0 && position <= after) {
        position = nextWithSameBucket[position];
    }
    return position;
}

// Later outer lines once the first pass has normalised every line: lines are
// marked removed and written forward once, each outer line to its place just
// before the host is asked to recalculate it. `documentLines` positions hold
// lines of the document, the rest copies of the (empty) last line.
void laterPassesIndexed(ItemRecord* const* lines, std::int32_t lineCount, std::int32_t from, std::int32_t documentLines,
                        DocumentRecord* document) {
    std::uint32_t buckets = 16;
    while (buckets < 2u * static_cast<std::uint32_t>(documentLines)) {
        buckets *= 2;
    }
    const std::uint32_t mask = buckets - 1;
    for (std::uint32_t b = 0; b < buckets; ++b) {
        bucketHead[b] = -1;
    }
    // Chains in increasing position order; an empty line is never a
    // candidate, and a candidate does not change until it is an outer line.
    for (std::int32_t p = documentLines - 1; p >= from; --p) {
        removedAt[p] = false;
        if (!isEmptyLine(*lines[p])) {
            const std::uint32_t bucket = keysBucket(*lines[p], mask);
            nextWithSameBucket[p] = bucketHead[bucket];
            bucketHead[bucket] = p;
        }
    }
    std::int32_t write = from;
    for (std::int32_t p = from; p < documentLines; ++p) {
        if (removedAt[p]) {
            continue;
        }
        if (p != write) {
            moveLine(*lines[write], *lines[p]);
        }
        ItemRecord* const earlier = lines[write];
        ++write;
        if (isEmptyLine(*earlier)) {
            continue;
        }
        std::uint32_t bucket = keysBucket(*earlier, mask);
        std::int32_t q = nextWithSameBucket[p];
        while (q >= 0) {
            if (!removedAt[q] && linesMatch(*earlier, *lines[q]) && fold(earlier, *lines[q], document)) {
                removedAt[q] = true;
                // The host's recalculation may have changed the keys the
                // next candidates are compared with.
                const std::uint32_t now = keysBucket(*earlier, mask);
                if (now != bucket) {
                    bucket = now;
                    q = firstInBucketAfter(bucket, q);
                    continue;
                }
            }
            q = nextWithSameBucket[q];
        }
    }
    fillTail(lines, lineCount, write);
}

// Every candidate is compared with the outer line as it stands at that moment
// (its quantity grows with each fold), in the order of the array.
void mergeMatchingLines(ItemRecord* const* lines, std::int32_t lineCount, DocumentRecord* document) {
    std::int32_t first = 0;
    while (first < lineCount && isEmptyLine(*lines[first])) {
        ++first;
    }
    if (first >= lineCount) {
        return;
    }
    const std::int32_t documentLines = firstPass(lines, lineCount, first, document);
    if (lineCount <= scratchLines && lastLineIsEmpty(lines, lineCount)) {
        laterPassesIndexed(lines, lineCount, first + 1, documentLines, document);
    } else {
        laterPassesInPlace(lines, lineCount, first + 1, document);
    }
}

}  // namespace

std::int32_t withdrawApproval(std::int32_t documentKind, ItemRecord** lines, std::int32_t lineCount,
                              std::intptr_t eventArgument) {
    const TableDescriptor* const documents = hostTableDescriptor(documentTable);
    // A descriptor without a current record has no document to withdraw.
    auto* const document = documents != nullptr ? static_cast<DocumentRecord*>(documents->currentRecord) : nullptr;
    if (document == nullptr) {
        hostMessageBox(errorTitle.data(), approvalNotWithdrawn.data(), messageStyle);
        return 1;
    }
    // The bit stands only for the length of the host's withdrawal; the other
    // fifteen are the host's and keep their values.
    document->documentFlags = static_cast<std::uint16_t>(document->documentFlags | approvalWithdrawalFlag);
    // The host may write into the count it is given; ours stays as received.
    std::int32_t countForHost = lineCount;
    hostRelease(hostApprovalWithdrawal(documentKind, eventArgument, lines, &countForHost));
    document->documentFlags = static_cast<std::uint16_t>(document->documentFlags & ~approvalWithdrawalFlag);
    return 0;
}

std::int32_t mergeLines(std::int32_t documentKind, ItemRecord** lines, std::int32_t lineCount, DocumentRecord* document,
                        std::intptr_t eventArgument) {
    if (withdrawApproval(documentKind, lines, lineCount, eventArgument) != 0) {
        return 1;
    }
    hostMessageBox(warningTitle.data(), mergingNotice.data(), progressStyle);
    mergeMatchingLines(lines, lineCount, document);
    // The host gets back the count it gave, whatever the merge removed: the
    // removed lines became empty lines at the end of the array.
    hostLineArrayRecalculation(lines, lineCount, document);
    hostDocumentRecalculation(document, lines, lineCount);
    hostScreenRefresh();
    return 0;
}

}  // namespace scalarka
