// Every host service the plug-in calls, one typed function each.
//
// A call site reads like a function call; behind it the call goes through the
// service's entry in the host function table. When the host lacks the service
// the entry is empty, and the call is answered by the service's refusal instead
// of jumping to nowhere. Each refusal is chosen so that the caller takes the
// safe way: a handshake refuses, a lookup finds nothing, a dialog is cancelled,
// a comparison says "different", a parser says "not a weighed-goods code".
#pragma once

#include <cstdarg>
#include <cstdint>

#include "host/code_address.h"

namespace scalarka {

struct TableDescriptor;
struct ItemRecord;
struct DocumentRecord;

// 30018. 0 means the host agrees to run this module. Refusal: -1.
std::int32_t hostHandshake(void* module, char* buffer, std::int32_t bufferSize);
// 51594. The plug-in is built for 112. Refusal: 0.
std::int32_t hostInterfaceVersion();
// 52256. Refusal: null.
TableDescriptor* hostTableDescriptor(std::int32_t table);
// 52465. Makes the table's current record valid. Refusal: nothing happens.
void hostTableRecordAccess(TableDescriptor* table, std::int32_t mode);
// 52030. Refusal: nothing shown.
void hostTextMessage(const char* text);
// 52028. Refusal: nothing shown.
void hostMessageBox(const char* title, const char* text, std::int32_t style);
// 52023. The box may change the flag. Refusal: nothing shown, flag kept.
void hostNoticeBox(std::int32_t kind, std::int32_t* flag, std::int32_t reserved, const char* text);
// 52026. Low 16 bits 0x5001 mean OK. Refusal: 0, a cancelled dialog.
std::int32_t hostDialogService(const void* form, std::int32_t dialogId, void* record, std::int32_t reserved);
// 40101. Refusal: null.
CodeAddress hostHandlerLookup();
// 41399. Read: low 16 bits 0 mean read. Refusal: 1, nothing read or written.
std::int32_t hostIniService(const char* file, std::int32_t operation, const char* section, const char* key,
                            const char* format, va_list values);
// 52534. Refusal: null, the file does not open.
void* hostFileOpen(const char* name, const char* mode);
// 22562, 22567, 22563: the host's file holder, built in 24 bytes of ours.
// Refusals: construct leaves the holder holding nothing, take yields null,
// destroy does nothing.
void* hostHolderConstruct(void* holder, void* handle);
void* hostHolderTakeStream(void* holder);
void hostHolderDestroy(void* holder);
// 52307, 52308. Elements transferred. Refusal: 0.
std::int32_t hostFileRead(void* buffer, std::int32_t elementSize, std::int32_t count, void* stream);
std::int32_t hostFileWrite(const void* buffer, std::int32_t elementSize, std::int32_t count, void* stream);
// 52305. Refusal: nothing.
void hostFileClose(void* stream);
// 52004. Its result is for 52470 only. Refusal: null, nothing withdrawn.
void* hostApprovalWithdrawal(std::int32_t documentKind, std::intptr_t eventArgument, ItemRecord** lines,
                             std::int32_t* lineCount);
// 52470. Refusal: nothing.
void hostRelease(void* value);
// 52154. 0 means equal. Refusal: 1, the texts count as different.
std::int32_t hostTextComparison(const char* left, const char* right);
// 52332, 52330, 52331. Refusal: nothing recalculated.
void hostLineRecalculation(ItemRecord* line, DocumentRecord* document);
void hostLineArrayRecalculation(ItemRecord** lines, std::int32_t lineCount, DocumentRecord* document);
void hostDocumentRecalculation(DocumentRecord* document, ItemRecord** lines, std::int32_t lineCount);
// 52064. Refusal: nothing.
void hostScreenRefresh();
// 33197. Refusal: nothing.
void hostKeyCodeCall(std::int32_t keyCode);
// 52126. Low 16 bits 0: not a weighed-goods code. Refusal: 0.
std::int32_t hostSymbolParser(const char* symbol, char* buffer, std::int32_t bufferSize, std::int32_t* weight,
                              std::int32_t* price);
// 52161. Copies at most `limit` characters and a NUL. Refusal: nothing copied.
void hostBoundedCopy(char* destination, const char* source, std::int32_t limit);

// 35802, always with the report's fixed arguments: 15000, the title, the
// format, 0xF001, 0x6E2E, then the values. The host formats like printf.
// Refusal: nothing shown.
using FormattedMessageBoxFn = std::int32_t(std::int32_t, const char*, const char*, std::int32_t, std::int32_t, ...);
FormattedMessageBoxFn* hostFormattedMessageBoxTarget();
template <typename... Values>
void hostFormattedMessageBox(const char* title, const char* format, Values... values) {
    hostFormattedMessageBoxTarget()(15000, title, format, 0xF001, 0x6E2E, values...);
}

}  // namespace scalarka
