#include "merge/line_event_hook.h"

#include "frame/lifecycle.h"
#include "host/host_services.h"
#include "merge/merge_engine.h"
#include "merge/messages.h"
#include "options/merge_options.h"

namespace scalarka {
namespace {

// The host's codes of the events that can start a merge.
constexpr std::int32_t keyCapitalP = 80;
constexpr std::int32_t keySmallP = 112;
constexpr std::int32_t keyF7 = 0x4100;  // approval in the warehouse
constexpr std::int32_t printEvent = 2009;
constexpr std::int32_t printEventOther = 2010;

// The table record access mode that makes the current record valid.
constexpr std::int32_t currentRecordAccess = 255;

// The bit of documentKinds that governs a document kind; 0 for a kind the
// options do not name, which merging is not restricted on.
std::uint8_t documentKindBit(std::int32_t documentKind) {
    switch (documentKind) {
        case 812: return VatInvoice;
        case 68: return PersonDocument;
        case 808: return ExportInvoice;
        case 806: return PendingIssue;
        case 802: return CustomerReservation;
        default: return 0;
    }
}

bool isChosenTrigger(std::int32_t eventCode, std::uint16_t triggerMode) {
    switch (eventCode) {
        case keyCapitalP:
        case keySmallP: return triggerMode == TriggerOnKeyP;
        case keyF7: return triggerMode == TriggerBeforeApproval;
        case printEvent:
        case printEventOther: return triggerMode == TriggerBeforePrint;
        default: return false;
    }
}

// The host hands integers over in pointer-wide slots; only the low 32 bits
// carry the value.
std::int32_t low32(std::intptr_t value) { return static_cast<std::int32_t>(value); }

}  // namespace

std::int32_t mergeOnTrigger(std::int32_t eventCode, std::int32_t documentKind, ItemRecord** lines,
                            std::int32_t lineCount, std::intptr_t eventArgument) {
    TableDescriptor* const documents = hostTableDescriptor(documentTable);
    // Read on every trigger event, also one filtered out below: the dialog
    // may have saved new options since the last one.
    loadMergeOptions();
    const std::uint8_t kindBit = documentKindBit(documentKind);
    if (kindBit != 0 && (mergeOptions.documentKinds & kindBit) == 0) {
        return 1;
    }
    if (!isChosenTrigger(eventCode, mergeOptions.triggerMode)) {
        return 1;
    }
    if (documents == nullptr) {
        hostMessageBox(warningTitle.data(), documentTableMissing.data(), messageStyle);
        return 1;
    }
    // Only after the access does the descriptor point at the document being
    // edited.
    hostTableRecordAccess(documents, currentRecordAccess);
    auto* const document = static_cast<DocumentRecord*>(documents->currentRecord);
    mergeLines(documentKind, lines, lineCount, document, eventArgument);
    return 0;
}

std::int32_t lineEventHook(std::intptr_t eventCode, std::intptr_t documentKind, std::int32_t* lineCount,
                           ItemRecord** lines, std::intptr_t arg5, std::intptr_t eventArgument, std::intptr_t arg7,
                           std::intptr_t arg8, std::intptr_t arg9, std::intptr_t arg10, std::intptr_t arg11) {
    const std::int32_t code = low32(eventCode);
    // A trigger event without the address of its count, or with a count but
    // no lines, has nothing to merge; it goes on to the host's handler like
    // any other event.
    if (lineCount != nullptr && (lines != nullptr || *lineCount <= 0)) {
        switch (code) {
            case keyCapitalP:
            case keySmallP:
                if (mergeOnTrigger(code, low32(documentKind), lines, *lineCount, eventArgument) == 0) {
                    // The host expects the F7 key code after a merge that
                    // P started, and only then its own handling of P.
                    hostKeyCodeCall(keyF7);
                }
                break;
            case keyF7:
            case printEvent:
            case printEventOther: mergeOnTrigger(code, low32(documentKind), lines, *lineCount, eventArgument); break;
            default: break;
        }
    }
    // A table without a handler of its own had nothing to hand on to.
    if (previousLineHandler == nullptr) {
        return 0;
    }
    return previousLineHandler(eventCode, documentKind, lineCount, lines, arg5, eventArgument, arg7, arg8, arg9, arg10,
                               arg11);
}

}  // namespace scalarka
