#include "frame/startup_report.h"

#include "host/host_services.h"
#include "host/table_descriptor.h"

namespace scalarka {

RecordSizeCheck* sizeMismatchList = nullptr;

// The host finds this word by the section it alone occupies and writes it
// before asking for the report; see the platform notes in the README.
#if defined(_WIN32)
__attribute__((section(".hostreq")))
#endif
volatile std::uint32_t unsupportedFeatures = 0xFFFFFFFFu;

namespace {

constexpr char documentTableName[] = "Tspr";
constexpr char lineTableName[] = "Tspr_dok";

// One node per check; a node is linked at most once and then only refreshed.
RecordSizeCheck documentTableCheck = {};
RecordSizeCheck lineTableCheck = {};
RecordSizeCheck lineHookCheck = {};

void recordCheck(RecordSizeCheck& node, std::int32_t expectedSize, std::int32_t hostSize, const char* tableName) {
    node.expectedSize = expectedSize;
    node.hostSize = hostSize;
    node.tableName = tableName;
    if (hostSize == expectedSize) {
        return;
    }
    RecordSizeCheck** link = &sizeMismatchList;
    while (*link != nullptr) {
        if (*link == &node) {
            return;
        }
        link = &(*link)->next;
    }
    node.next = nullptr;
    *link = &node;
}

std::int32_t hostRecordSize(std::int32_t table) {
    const TableDescriptor* descriptor = hostTableDescriptor(table);
    return descriptor != nullptr ? descriptor->recordSize : 0;
}

}  // namespace

std::int32_t checkRecordSizes() {
    recordCheck(documentTableCheck, documentRecordSize, hostRecordSize(documentTable), documentTableName);
    recordCheck(lineTableCheck, lineRecordSize, hostRecordSize(lineTable), lineTableName);
    std::int32_t count = 0;
    for (const RecordSizeCheck* node = sizeMismatchList; node != nullptr; node = node->next) {
        ++count;
    }
    return count;
}

void noteLineTableMismatch(std::int32_t hostSize) { recordCheck(lineHookCheck, lineRecordSize, hostSize, lineTableName); }

// Placeholder until the start-up report lands: shows nothing yet.
void startupReport() {}

}  // namespace scalarka
