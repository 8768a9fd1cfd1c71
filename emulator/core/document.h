// The sales document the host is editing: its header record, its lines and
// the empty lines that end the host's line array; what the host derives from
// them (line values, the document total); and the document file the host
// loads and saves (UTF-8 JSON, described in docs/document-format.md).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "merge/records.h"

namespace korpus {

// Units of the host's figures. A quantity counts thousandths of the goods'
// unit (1000 is one piece, or one kilogram of weighed goods, so that a weight
// in grams is a quantity as it stands). A price is in grosze per whole unit.
// A line's value is quantity x price / 1000, rounded to the nearest grosz
// (halves away from zero); discount and VAT rate do not enter it.
//
// The host keeps what it derives in bytes of the records that the plug-in does
// not interpret, so that a line's value travels with the line when the
// plug-in moves it: the value as a double at offset 346 of the line (the start
// of hostData346), the document's total, the sum of its lines' values, as a
// double at offset 405 of the header (right after documentFlags).
inline constexpr std::size_t lineValueOffset = 346;
inline constexpr std::size_t documentTotalOffset = 405;
static_assert(lineValueOffset == offsetof(scalarka::ItemRecord, hostData346));
static_assert(documentTotalOffset == offsetof(scalarka::DocumentRecord, hostData405));

double computeLineValue(std::int32_t quantity, double price);
double lineValue(const scalarka::ItemRecord& line);
void setLineValue(scalarka::ItemRecord& line, double value);
double documentTotal(const scalarka::DocumentRecord& header);
void setDocumentTotal(scalarka::DocumentRecord& header, double total);

// The four key fields of a line are the host's: the plug-in only compares
// them. What they hold for the host, and their names in the document file:
//   key166 "vatRate"   VAT rate in percent (23, 8, 5, 0)
//   key184 "discount"  discount in hundredths of a percent (500 is 5 %)
//   key509 "warehouse" number of the warehouse the goods leave from
//   key511 "lineKind"  1 goods, 2 service, 3 packaging; 0 only on the empty
//                      lines that end the array (with quantity 0)

// One approval withdrawal (52004) the host made for the plug-in. Its address
// is the value the host hands out for the release (52470).
struct Withdrawal {
    std::int32_t documentKind = 0;
    std::int32_t eventArgument = 0;
    std::int32_t lineCountSeen = -1;  // what the count's address held; -1 for null
    bool documentFlagSet = false;     // bit 0x400 of documentFlags, at the call
    bool released = false;
};

struct Document {
    std::int32_t kind = 812;  // VAT invoice
    // Approved in the warehouse; the approval withdrawal clears it.
    bool approved = false;
    scalarka::DocumentRecord header{};
    // The line records, the empty tail included, and the array of pointers to
    // them that the host hands to the line table's handler.
    std::vector<scalarka::ItemRecord> lines;
    std::vector<scalarka::ItemRecord*> pointers;
    std::int32_t lineCount = 0;

    Document() = default;
    // A copy points at its own lines, in the order the original's pointers had.
    Document(const Document& other);
    Document(Document&& other) noexcept;
    Document& operator=(const Document& other);
    Document& operator=(Document&& other) noexcept;
    ~Document() = default;

    // Replaces the lines and adds `emptyTail` empty lines after them.
    void setLines(const std::vector<scalarka::ItemRecord>& items, std::size_t emptyTail = 1);
    // Brings every line's value and the document's total up to date, as the
    // host does when it opens a document.
    void recalculate();
    // The position of a line record of this document, or -1.
    std::ptrdiff_t positionOf(const scalarka::ItemRecord* line) const;

   private:
    void relinkFrom(const Document& original);
};

// A document file that cannot be read: what is wrong, and where.
class DocumentFormatError : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
};

// Document files. Reading fills the lines (setLines) and recalculates them;
// it throws DocumentFormatError for anything it cannot take exactly, never
// keeping half a document. Writing gives every field the file carries, and the
// derived line values and total for the reader (reading ignores those).
Document readDocument(std::string_view json);
std::string writeDocument(const Document& document);
Document loadDocument(const std::filesystem::path& file);
void saveDocument(const Document& document, const std::filesystem::path& file);

}  // namespace korpus
