#include "host/host_services.h"

#include "host/host_table.h"

namespace scalarka {
namespace {

// GCC applies thiscall to free functions and function types as asked, but
// warns that it is meant for class methods. The host's holder methods are
// exactly that, reached through plain function pointers.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattributes"

// The host functions' own signatures, exactly as the host exports them. On
// i386 all are cdecl but the file-holder methods.
using HandshakeFn = std::int32_t(void*, char*, std::int32_t);
using IntFn = std::int32_t();
using TableDescriptorFn = TableDescriptor*(std::int32_t);
using TableRecordAccessFn = std::int32_t(TableDescriptor*, std::int32_t);
using TextMessageFn = std::int32_t(const char*);
using MessageBoxFn = std::int32_t(const char*, const char*, std::int32_t);
using NoticeBoxFn = std::int32_t(std::int32_t, std::int32_t*, std::int32_t, const char*);
using DialogServiceFn = std::int32_t(const void*, std::int32_t, void*, std::int32_t);
using HandlerLookupFn = CodeAddress();
using IniServiceFn = std::int32_t(const char*, std::int32_t, const char*, const char*, const char*, va_list);
using FileOpenFn = void*(const char*, const char*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                         std::int32_t, std::int32_t);
using HolderConstructFn = void* SCALARKA_THISCALL(void*, void*);
using HolderTakeStreamFn = void* SCALARKA_THISCALL(void*);
using HolderDestroyFn = void SCALARKA_THISCALL(void*);
using FileTransferFn = std::int32_t(void*, std::int32_t, std::int32_t, void*);
using FileWriteFn = std::int32_t(const void*, std::int32_t, std::int32_t, void*);
using StreamFn = std::int32_t(void*);
using ApprovalWithdrawalFn = void*(std::int32_t, std::intptr_t, ItemRecord**, std::int32_t*, std::int32_t, std::int32_t,
                                   std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t);
using ReleaseFn = std::int32_t(void*);
using TextComparisonFn = std::int32_t(const char*, const char*);
using LineRecalculationFn = std::int32_t(std::int32_t, ItemRecord*, DocumentRecord*, std::int32_t);
using LineArrayRecalculationFn = std::int32_t(ItemRecord**, std::int32_t, DocumentRecord*, std::int32_t, std::int32_t);
using DocumentRecalculationFn = std::int32_t(DocumentRecord*, DocumentRecord*, ItemRecord**, std::int32_t);
using KeyCodeCallFn = std::int32_t(std::int32_t);
using SymbolParserFn = std::int32_t(const char*, char*, std::int32_t, std::int32_t*, std::int32_t*, std::int32_t,
                                    std::int32_t, std::int32_t);
using BoundedCopyFn = char*(char*, const char*, std::int32_t);

// The refusals. Each answers a call the host cannot take, with the host
// function's own signature, so that it can also stand in for the host when a
// lazy resolver finds the function missing in the middle of a call.
std::int32_t refuseHandshake(void*, char*, std::int32_t) { return -1; }
std::int32_t refuseWithZero() { return 0; }
TableDescriptor* refuseTableDescriptor(std::int32_t) { return nullptr; }
std::int32_t refuseTableRecordAccess(TableDescriptor*, std::int32_t) { return 0; }
std::int32_t refuseFormattedMessageBox(std::int32_t, const char*, const char*, std::int32_t, std::int32_t, ...) {
    return 0;
}
std::int32_t refuseTextMessage(const char*) { return 0; }
std::int32_t refuseMessageBox(const char*, const char*, std::int32_t) { return 0; }
std::int32_t refuseNoticeBox(std::int32_t, std::int32_t*, std::int32_t, const char*) { return 0; }
std::int32_t refuseDialogService(const void*, std::int32_t, void*, std::int32_t) { return 0; }
CodeAddress refuseHandlerLookup() { return nullptr; }
std::int32_t refuseIniService(const char*, std::int32_t, const char*, const char*, const char*, va_list) { return 1; }
void* refuseFileOpen(const char*, const char*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                     std::int32_t, std::int32_t) {
    return nullptr;
}
// Without the host's constructor the holder is ours to fill: it holds nothing,
// which the take-stream refusal then reports as no stream.
void* SCALARKA_THISCALL refuseHolderConstruct(void* holder, void*) { return holder; }
void* SCALARKA_THISCALL refuseHolderTakeStream(void*) { return nullptr; }
void SCALARKA_THISCALL refuseHolderDestroy(void*) {}
std::int32_t refuseFileRead(void*, std::int32_t, std::int32_t, void*) { return 0; }
std::int32_t refuseFileWrite(const void*, std::int32_t, std::int32_t, void*) { return 0; }
std::int32_t refuseStream(void*) { return 0; }
void* refuseApprovalWithdrawal(std::int32_t, std::intptr_t, ItemRecord**, std::int32_t*, std::int32_t, std::int32_t,
                               std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t) {
    return nullptr;
}
std::int32_t refuseTextComparison(const char*, const char*) { return 1; }
std::int32_t refuseLineRecalculation(std::int32_t, ItemRecord*, DocumentRecord*, std::int32_t) { return 0; }
std::int32_t refuseLineArrayRecalculation(ItemRecord**, std::int32_t, DocumentRecord*, std::int32_t, std::int32_t) {
    return 0;
}
std::int32_t refuseDocumentRecalculation(DocumentRecord*, DocumentRecord*, ItemRecord**, std::int32_t) { return 0; }
std::int32_t refuseKeyCodeCall(std::int32_t) { return 0; }
std::int32_t refuseSymbolParser(const char*, char*, std::int32_t, std::int32_t*, std::int32_t*, std::int32_t,
                                std::int32_t, std::int32_t) {
    return 0;
}
char* refuseBoundedCopy(char* destination, const char*, std::int32_t) { return destination; }

#pragma GCC diagnostic pop

template <typename Fn>
CodeAddress code(Fn* function) {
    return reinterpret_cast<CodeAddress>(function);
}

// The function a call through an entry reaches: the host's, or the refusal.
template <typename Fn>
Fn* callee(HostIndex index) {
    const CodeAddress target = hostFunctionTable[index].target;
    return reinterpret_cast<Fn*>(target != nullptr ? target : hostRefusal(index));
}

}  // namespace

std::int32_t hostHandshake(void* module, char* buffer, std::int32_t bufferSize) {
    return callee<HandshakeFn>(hostHandshakeIndex)(module, buffer, bufferSize);
}
std::int32_t hostInterfaceVersion() { return callee<IntFn>(hostInterfaceVersionIndex)(); }
TableDescriptor* hostTableDescriptor(std::int32_t table) {
    return callee<TableDescriptorFn>(hostTableDescriptorIndex)(table);
}
void hostTableRecordAccess(TableDescriptor* table, std::int32_t mode) {
    callee<TableRecordAccessFn>(hostTableRecordAccessIndex)(table, mode);
}
void hostTextMessage(const char* text) { callee<TextMessageFn>(hostTextMessageIndex)(text); }
void hostMessageBox(const char* title, const char* text, std::int32_t style) {
    callee<MessageBoxFn>(hostMessageBoxIndex)(title, text, style);
}
void hostNoticeBox(std::int32_t kind, std::int32_t* flag, std::int32_t reserved, const char* text) {
    callee<NoticeBoxFn>(hostNoticeBoxIndex)(kind, flag, reserved, text);
}
std::int32_t hostDialogService(const void* form, std::int32_t dialogId, void* record, std::int32_t reserved) {
    return callee<DialogServiceFn>(hostDialogServiceIndex)(form, dialogId, record, reserved);
}
CodeAddress hostHandlerLookup() { return callee<HandlerLookupFn>(hostHandlerLookupIndex)(); }
std::int32_t hostIniService(const char* file, std::int32_t operation, const char* section, const char* key,
                            const char* format, va_list values) {
    return callee<IniServiceFn>(hostIniServiceIndex)(file, operation, section, key, format, values);
}
void* hostFileOpen(const char* name, const char* mode) {
    // 64 is the sharing mode "deny none": others may read and write the file
    // while we have it open. The remaining values are the host's defaults.
    return callee<FileOpenFn>(hostFileOpenIndex)(name, mode, 64, 0, -1, 0, 0, 0, 0);
}
void* hostHolderConstruct(void* holder, void* handle) {
    return callee<HolderConstructFn>(hostHolderConstructIndex)(holder, handle);
}
void* hostHolderTakeStream(void* holder) { return callee<HolderTakeStreamFn>(hostHolderTakeStreamIndex)(holder); }
void hostHolderDestroy(void* holder) { callee<HolderDestroyFn>(hostHolderDestroyIndex)(holder); }
std::int32_t hostFileRead(void* buffer, std::int32_t elementSize, std::int32_t count, void* stream) {
    return callee<FileTransferFn>(hostFileReadIndex)(buffer, elementSize, count, stream);
}
std::int32_t hostFileWrite(const void* buffer, std::int32_t elementSize, std::int32_t count, void* stream) {
    return callee<FileWriteFn>(hostFileWriteIndex)(buffer, elementSize, count, stream);
}
void hostFileClose(void* stream) { callee<StreamFn>(hostFileCloseIndex)(stream); }
void* hostApprovalWithdrawal(std::int32_t documentKind, std::intptr_t eventArgument, ItemRecord** lines,
                             std::int32_t* lineCount) {
    return callee<ApprovalWithdrawalFn>(hostApprovalWithdrawalIndex)(documentKind, eventArgument, lines, lineCount, 0,
                                                                     0, 0, 1, 0, 0, 0, 0);
}
void hostRelease(void* value) { callee<ReleaseFn>(hostReleaseIndex)(value); }
std::int32_t hostTextComparison(const char* left, const char* right) {
    return callee<TextComparisonFn>(hostTextComparisonIndex)(left, right);
}
void hostLineRecalculation(ItemRecord* line, DocumentRecord* document) {
    callee<LineRecalculationFn>(hostLineRecalculationIndex)(0, line, document, 1);
}
void hostLineArrayRecalculation(ItemRecord** lines, std::int32_t lineCount, DocumentRecord* document) {
    callee<LineArrayRecalculationFn>(hostLineArrayRecalculationIndex)(lines, lineCount, document, 0, 0);
}
void hostDocumentRecalculation(DocumentRecord* document, ItemRecord** lines, std::int32_t lineCount) {
    callee<DocumentRecalculationFn>(hostDocumentRecalculationIndex)(document, document, lines, lineCount);
}
void hostScreenRefresh() { callee<IntFn>(hostScreenRefreshIndex)(); }
void hostKeyCodeCall(std::int32_t keyCode) { callee<KeyCodeCallFn>(hostKeyCodeCallIndex)(keyCode); }
std::int32_t hostSymbolParser(const char* symbol, char* buffer, std::int32_t bufferSize, std::int32_t* weight,
                              std::int32_t* price) {
    return callee<SymbolParserFn>(hostSymbolParserIndex)(symbol, buffer, bufferSize, weight, price, 0, 0, 0);
}
void hostBoundedCopy(char* destination, const char* source, std::int32_t limit) {
    callee<BoundedCopyFn>(hostBoundedCopyIndex)(destination, source, limit);
}
FormattedMessageBoxFn* hostFormattedMessageBoxTarget() {
    return callee<FormattedMessageBoxFn>(hostFormattedMessageBoxIndex);
}

}  // namespace scalarka

// The refusal for each position of the table. The five entries that no
// operation calls get one that does nothing and answers 0.
scalarka::CodeAddress hostRefusal(std::size_t index) {
    using namespace scalarka;
    switch (index) {
        case hostHandshakeIndex: return code(refuseHandshake);
        case hostFormattedMessageBoxIndex: return code(refuseFormattedMessageBox);
        case hostHandlerLookupIndex: return code(refuseHandlerLookup);
        case hostFileWriteIndex: return code(refuseFileWrite);
        case hostFileCloseIndex: return code(refuseStream);
        case hostTextMessageIndex: return code(refuseTextMessage);
        case hostReleaseIndex: return code(refuseStream);
        case hostKeyCodeCallIndex: return code(refuseKeyCodeCall);
        case hostHolderDestroyIndex: return code(refuseHolderDestroy);
        case hostHolderTakeStreamIndex: return code(refuseHolderTakeStream);
        case hostHolderConstructIndex: return code(refuseHolderConstruct);
        case hostFileReadIndex: return code(refuseFileRead);
        case hostDialogServiceIndex: return code(refuseDialogService);
        case hostTextComparisonIndex: return code(refuseTextComparison);
        case hostNoticeBoxIndex: return code(refuseNoticeBox);
        case hostTableRecordAccessIndex: return code(refuseTableRecordAccess);
        case hostSymbolParserIndex: return code(refuseSymbolParser);
        case hostDocumentRecalculationIndex: return code(refuseDocumentRecalculation);
        case hostIniServiceIndex: return code(refuseIniService);
        case hostInterfaceVersionIndex:
        case hostScreenRefreshIndex: return code(refuseWithZero);
        case hostMessageBoxIndex: return code(refuseMessageBox);
        case hostTableDescriptorIndex: return code(refuseTableDescriptor);
        case hostFileOpenIndex: return code(refuseFileOpen);
        case hostBoundedCopyIndex: return code(refuseBoundedCopy);
        case hostApprovalWithdrawalIndex: return code(refuseApprovalWithdrawal);
        case hostLineArrayRecalculationIndex: return code(refuseLineArrayRecalculation);
        case hostLineRecalculationIndex: return code(refuseLineRecalculation);
        default: return code(refuseWithZero);
    }
}
