// The host functions the plug-in uses, bound by ordinal when the library loads.
//
// The host exports its services by ordinal only. Each one the plug-in needs has
// one `HostEntry` here, in a fixed order: the binding pass walks the entries in
// this order, so it is also the order in which missing ordinals are recorded and
// later reported to the user.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/code_address.h"
#include "platform/platform.h"

namespace scalarka {

struct HostEntry {
    std::uint16_t ordinal;
    // Before binding: the entry's own lazy resolver. After binding: the host
    // function, or null when the host does not export the ordinal.
    CodeAddress target;
};

// Positions in the table; the comment names the host operation.
enum HostIndex : std::size_t {
    hostHandshakeIndex,               // 30018 module handshake
    hostFormattedMessageBoxIndex,     // 35802 formatted message box
    hostUnused40008Index,             // 40008 bound only
    hostUnused41611Index,             // 41611 bound only
    hostUnused41613Index,             // 41613 bound only
    hostUnused30005Index,             // 30005 bound only
    hostUnused38417Index,             // 38417 bound only
    hostHandlerLookupIndex,           // 40101 handler lookup
    hostFileWriteIndex,               // 52308 file write
    hostFileCloseIndex,               // 52305 file close
    hostTextMessageIndex,             // 52030 text message
    hostReleaseIndex,                 // 52470 release
    hostKeyCodeCallIndex,             // 33197 key code call
    hostHolderDestroyIndex,           // 22563 file holder destroy
    hostHolderTakeStreamIndex,        // 22567 file holder take stream
    hostHolderConstructIndex,         // 22562 file holder construct
    hostFileReadIndex,                // 52307 file read
    hostDialogServiceIndex,           // 52026 dialog service
    hostTextComparisonIndex,          // 52154 text comparison
    hostNoticeBoxIndex,               // 52023 notice box
    hostTableRecordAccessIndex,       // 52465 table record access
    hostSymbolParserIndex,            // 52126 symbol parser
    hostDocumentRecalculationIndex,   // 52331 document recalculation
    hostIniServiceIndex,              // 41399 INI service
    hostInterfaceVersionIndex,        // 51594 interface version
    hostScreenRefreshIndex,           // 52064 screen refresh
    hostMessageBoxIndex,              // 52028 message box
    hostTableDescriptorIndex,         // 52256 table descriptor lookup
    hostFileOpenIndex,                // 52534 file open
    hostBoundedCopyIndex,             // 52161 bounded text copy
    hostApprovalWithdrawalIndex,      // 52004 approval withdrawal
    hostLineArrayRecalculationIndex,  // 52330 recalculation of the line array
    hostLineRecalculationIndex,       // 52332 line recalculation
    hostEntryCount
};

// The host's main module, where every host function is looked up. Recorded by
// the attach routine; null when the process has no module "KORPUS".
extern ModuleHandle hostModule;

// HostFunctionTable: the entries in binding order.
extern HostEntry hostFunctionTable[hostEntryCount];

// The ordinals the host turned out not to export. Never reset while loaded.
struct MissingOrdinalList {
    std::uint32_t missCount;   // every failed lookup by ordinal, not capped
    std::uint16_t missing[8];  // the first eight, in the order they failed
};
extern MissingOrdinalList missingOrdinals;

// Looks `identifier` up in the host module and stores the result in the entry,
// found or not. Like the platform's own lookup, an identifier whose value fits
// in 16 bits is an ordinal, anything else the address of a function name.
CodeAddress resolveHostEntry(const char* identifier, HostEntry* entry);

// The same for an ordinal, spelt as one.
CodeAddress resolveHostEntry(std::uint16_t ordinal, HostEntry* entry);

// The binding pass: one step per entry, in table order. Runs once, right after
// the attach routine and before the host can call any entry point.
void bindHostFunctions();

}  // namespace scalarka

// Entered from an entry's lazy resolver (assembly) with the entry's position:
// binds that entry and answers where the interrupted call is to continue, which
// is the host function, or the operation's refusal when the host lacks it.
extern "C" scalarka::CodeAddress hostLazyResolve(std::size_t index);

// Where a call through an entry goes when the host lacks the function: each
// operation's own refusal (see host_services.cpp), never an empty address.
scalarka::CodeAddress hostRefusal(std::size_t index);
