#include "frame/startup_report.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <functional>

#include "frame/lifecycle.h"
#include "host/host_services.h"
#include "host/host_table.h"
#include "host/mazovia.h"
#include "host/table_descriptor.h"

namespace scalarka {

RecordSizeCheck* sizeMismatchList = nullptr;
char reportBuffer[reportBufferSize] = {};
char numberList[numberListSize] = {};

// The host finds this word by the section it alone occupies and writes it
// before asking for the report; see the platform notes in the README.
#if defined(_WIN32)
__attribute__((section(".hostreq")))
#endif
volatile std::uint32_t unsupportedFeatures = 0xFFFFFFFFu;

namespace {

constexpr char documentTableName[] = "Tspr";
constexpr char lineTableName[] = "Tspr_dok";

constexpr const auto& reportTitle = mazovia<u8"STOP!!!">;
constexpr std::int32_t requiredInterfaceVersion = 112;

constexpr const auto& unsupportedFeaturesMessage =
    mazovia<u8"Program nie obsługuje cech 0x%08X,\nktóre są niezbędne dla modułu '%s'.">;

constexpr const auto& oneMissingFunction = mazovia<u8"funkcję o numerze %hu">;
constexpr const auto& manyMissingFunctions = mazovia<u8"funkcje o numerach">;
constexpr const auto& missingFunctionsMessage = mazovia<
    u8"Wtyczka \"%s\" potrzebuje zaimportować\n%s z modułu głównego,\njednak moduł główny %s nie posiada. Aby "
    u8"naprawić tę sytuację\nzainstaluj aktualizację programu oraz wtyczki.\n\nWTYCZKA NIE ZOSTANIE ZAŁADOWANA!!!\n">;

// The host's message box lays the table out by the tab stops of the marks
// framed by 0x01 and highlights the part between 0x02 and 0x01.
constexpr const auto& recordSizesHeader = mazovia<
    u8"Rozmiary rekordów niektórych tabel nie zgadzają się\nmiędzy programem a wtyczką '%s' (moduł '%s'):\n\n"
    u8"\x01tl18l33\x01TABELA\tWE WTYCZCE\tW PROGRAMIE\n">;
constexpr const auto& recordSizesRow = mazovia<u8"\x01tp25p40\x01%s\t%d\t%s\n">;
constexpr const auto& recordSizesTrailer = mazovia<u8"\nModuł \x02%s\x01\nNIE zostanie załadowany!">;
constexpr char noSuchTable[] = "brak";

constexpr const auto& differentVersionsMessage = mazovia<
    u8"Moduł \"%s\" i program występują w różnych wersjach!\n\nZostał zakualizowany tylko program albo tylko "
    u8"moduł,\na nie oba jednocześnie! Aby naprawić tę sytuację\nzainstaluj aktualizację programu wraz z modułem "
    u8"\"%s\".\n\nMODUŁ NIE ZOSTANIE ZAŁADOWANY!!!\n">;
constexpr const auto& notInitialisedMessage =
    mazovia<u8"Moduł \"%s\" nie został poprawnie zainicjowany,\nwięc NIE BĘDZIE AKTYWNY!">;

// A text written piece by piece into a fixed buffer: each piece gets the room
// that is left, and the text stays NUL-terminated however long it grows.
struct BoundedText {
    char* text;
    std::size_t size;
    std::size_t length;
};

void append(BoundedText& out, const char* format, ...) {
    if (out.length + 1 >= out.size) {
        return;
    }
    va_list values;
    va_start(values, format);
    const int written = std::vsnprintf(out.text + out.length, out.size - out.length, format, values);
    va_end(values);
    if (written > 0) {
        out.length = std::min(out.length + static_cast<std::size_t>(written), out.size - 1);
    }
}

// The library's file name as the messages name it; empty before the attach
// routine has run.
const char* moduleName() { return ownBaseName != nullptr ? ownBaseName : ""; }

// The buffer's text goes to the host as a value, never as a format, so that
// nothing in it is taken for a placeholder.
void showReportBuffer() { hostFormattedMessageBox(reportTitle.data(), "%s", reportBuffer); }

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

void noteLineTableMismatch(std::int32_t hostSize) {
    recordCheck(lineHookCheck, lineRecordSize, hostSize, lineTableName);
}

std::int32_t recheckHost() {
    if (hostHandshake(ownModule, nullptr, 0) != 0) {
        return -1;
    }
    if (hostInterfaceVersion() != requiredInterfaceVersion) {
        return -1;
    }
    if (checkRecordSizes() != 0) {
        return -1;
    }
    return 0;
}

std::uint32_t describeMissingOrdinals(char* buffer) {
    buffer[0] = '\0';
    const std::uint32_t missCount = missingOrdinals.missCount;
    if (missCount == 0) {
        return 0;
    }
    if (missCount == 1) {
        std::snprintf(numberList, numberListSize, oneMissingFunction.data(), missingOrdinals.missing[0]);
    } else {
        constexpr std::uint32_t kept = sizeof missingOrdinals.missing / sizeof missingOrdinals.missing[0];
        const std::uint32_t listed = std::min(missCount, kept);
        std::uint16_t* const first = missingOrdinals.missing;
        std::sort(first, first + listed, std::greater<std::uint16_t>());
        BoundedText list{numberList, numberListSize, 0};
        numberList[0] = '\0';
        append(list, "%s", manyMissingFunctions.data());
        // Walked from the last of the descending entries: ascending numbers.
        for (std::uint32_t i = listed; i-- > 0;) {
            append(list, " %hu,", first[i]);
        }
        if (list.length > 0 && numberList[list.length - 1] == ',') {
            numberList[--list.length] = '\0';
        }
    }
    std::snprintf(buffer, reportBufferSize, missingFunctionsMessage.data(), pluginTitle.data(), numberList,
                  missCount == 1 ? "jej" : "ich");
    return missCount;
}

std::int32_t describeRecordSizes(char* buffer) {
    buffer[0] = '\0';
    if (sizeMismatchList == nullptr) {
        return 0;
    }
    BoundedText text{buffer, reportBufferSize, 0};
    append(text, recordSizesHeader.data(), pluginTitle.data(), moduleName());
    for (const RecordSizeCheck* node = sizeMismatchList; node != nullptr; node = node->next) {
        char hostColumn[16];
        if (node->hostSize == 0) {
            std::snprintf(hostColumn, sizeof hostColumn, "%s", noSuchTable);
        } else {
            std::snprintf(hostColumn, sizeof hostColumn, "%d", static_cast<int>(node->hostSize));
        }
        append(text, recordSizesRow.data(), node->tableName, static_cast<int>(node->expectedSize), hostColumn);
    }
    append(text, recordSizesTrailer.data(), moduleName());
    return -1;
}

void startupReport() {
    // Without a host module and before any pluginInit there is no callback to
    // tell; the report goes on without it.
    if (hostCallback != nullptr) {
        hostCallback(1, -1);
    }
    reportBuffer[0] = '\0';
    const std::uint32_t lacking = unsupportedFeatures;
    if (lacking != 0) {
        std::snprintf(reportBuffer, reportBufferSize, unsupportedFeaturesMessage.data(), static_cast<unsigned>(lacking),
                      pluginTitle.data());
        showReportBuffer();
        return;
    }
    if (describeMissingOrdinals(reportBuffer) != 0) {
        showReportBuffer();
        return;
    }
    if (describeRecordSizes(reportBuffer) != 0) {
        showReportBuffer();
        return;
    }
    if (hostHandshake(ownModule, reportBuffer, reportBufferSize) != 0) {
        // The host's explanation may fill the whole buffer; what is shown ends
        // inside it all the same.
        reportBuffer[reportBufferSize - 1] = '\0';
        showReportBuffer();
        return;
    }
    if (recheckHost() != 0) {
        hostFormattedMessageBox(reportTitle.data(), differentVersionsMessage.data(), moduleName(), moduleName());
        return;
    }
    hostFormattedMessageBox(reportTitle.data(), notInitialisedMessage.data(), moduleName());
}

}  // namespace scalarka
