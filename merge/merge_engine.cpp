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

// Every time a line is looked at, not once per merge: the host's parser no
// longer recognises a symbol once it has been rewritten.
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
bool lastLineIsEmpty(ItemRecord* const* lines, std::int32_t lineCount) {
    return isEmptyLine(*lines[lineCount - 1]);
}

// Removes the line at `position` by moving every later line up one place,
// whole, with all the bytes the host keeps in it.
void removeLine(ItemRecord* const* lines, std::int32_t lineCount, std::int32_t position) {
    for (std::int32_t k = position; k + 1 < lineCount; ++k) {
        moveLine(*lines[k], *lines[k + 1]);
    }
}

void mergeMatchingLines(ItemRecord* const* lines, std::int32_t lineCount, DocumentRecord* document) {
    for (std::int32_t i = 0; i < lineCount; ++i) {
        ItemRecord* const earlier = lines[i];
        if (isEmptyLine(*earlier)) {
            continue;
        }
        normaliseIfWeighed(earlier, document);
        std::int32_t j = i + 1;
        while (j < lineCount) {
            ItemRecord* const later = lines[j];
            if (isEmptyLine(*later)) {
                ++j;
                continue;
            }
            normaliseIfWeighed(later, document);
            if (!linesMatch(*earlier, *later) || !lastLineIsEmpty(lines, lineCount) ||
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

std::int32_t mergeLines(std::int32_t documentKind, ItemRecord** lines, std::int32_t lineCount,
                        DocumentRecord* document, std::intptr_t eventArgument) {
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
