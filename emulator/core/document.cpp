#include "emulator/core/document.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>

#include "emulator/core/text.h"

namespace korpus {

double computeLineValue(std::int32_t quantity, double price) {
    return std::round(static_cast<double>(quantity) * price / 1000.0);
}

double lineValue(const scalarka::ItemRecord& line) {
    double value;
    std::memcpy(&value, reinterpret_cast<const unsigned char*>(&line) + lineValueOffset, sizeof value);
    return value;
}

void setLineValue(scalarka::ItemRecord& line, double value) {
    std::memcpy(reinterpret_cast<unsigned char*>(&line) + lineValueOffset, &value, sizeof value);
}

double documentTotal(const scalarka::DocumentRecord& header) {
    double total;
    std::memcpy(&total, reinterpret_cast<const unsigned char*>(&header) + documentTotalOffset, sizeof total);
    return total;
}

void setDocumentTotal(scalarka::DocumentRecord& header, double total) {
    std::memcpy(reinterpret_cast<unsigned char*>(&header) + documentTotalOffset, &total, sizeof total);
}

Document::Document(const Document& other)
    : kind(other.kind), approved(other.approved), header(other.header), lines(other.lines), lineCount(other.lineCount) {
    relinkFrom(other);
}

Document::Document(Document&& other) noexcept
    : kind(other.kind),
      approved(other.approved),
      header(other.header),
      lines(std::move(other.lines)),
      pointers(std::move(other.pointers)),
      lineCount(other.lineCount) {
    // The moved vector keeps its records where they were, so the pointers
    // still designate this document's lines.
    other.lines.clear();
    other.pointers.clear();
    other.lineCount = 0;
}

Document& Document::operator=(const Document& other) {
    if (this != &other) {
        kind = other.kind;
        approved = other.approved;
        header = other.header;
        lines = other.lines;
        lineCount = other.lineCount;
        relinkFrom(other);
    }
    return *this;
}

Document& Document::operator=(Document&& other) noexcept {
    if (this != &other) {
        kind = other.kind;
        approved = other.approved;
        header = other.header;
        lines = std::move(other.lines);
        pointers = std::move(other.pointers);
        lineCount = other.lineCount;
        other.lines.clear();
        other.pointers.clear();
        other.lineCount = 0;
    }
    return *this;
}

void Document::relinkFrom(const Document& original) {
    // A pointer to the original's line at position i becomes a pointer to
    // this copy's line at position i; anything else is kept as it was.
    pointers.clear();
    for (scalarka::ItemRecord* pointer : original.pointers) {
        const std::ptrdiff_t position = original.positionOf(pointer);
        pointers.push_back(position >= 0 ? &lines[static_cast<std::size_t>(position)] : pointer);
    }
}

void Document::setLines(const std::vector<scalarka::ItemRecord>& items, std::size_t emptyTail) {
    lines = items;
    lines.resize(items.size() + emptyTail, scalarka::ItemRecord{});
    pointers.clear();
    for (scalarka::ItemRecord& line : lines) {
        pointers.push_back(&line);
    }
    lineCount = static_cast<std::int32_t>(lines.size());
}

void Document::recalculate() {
    double total = 0;
    for (scalarka::ItemRecord& line : lines) {
        setLineValue(line, computeLineValue(line.quantity, line.price));
        total += lineValue(line);
    }
    setDocumentTotal(header, total);
}

std::ptrdiff_t Document::positionOf(const scalarka::ItemRecord* line) const {
    // Compared as addresses, so that any pointer may be asked about.
    const auto address = reinterpret_cast<std::uintptr_t>(line);
    const auto first = reinterpret_cast<std::uintptr_t>(lines.data());
    if (lines.empty() || address < first) {
        return -1;
    }
    const std::uintptr_t offset = address - first;
    if (offset % sizeof(scalarka::ItemRecord) != 0 || offset / sizeof(scalarka::ItemRecord) >= lines.size()) {
        return -1;
    }
    return static_cast<std::ptrdiff_t>(offset / sizeof(scalarka::ItemRecord));
}

namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

// More lines than a sales document holds are a mistake in the file, not a
// document; the limit keeps a typing slip from taking all memory.
constexpr std::int64_t maximumLines = 10000;

[[noreturn]] void fail(const std::string& where, const std::string& what) {
    throw DocumentFormatError(where.empty() ? what : where + ": " + what);
}

void checkKeys(const Json& object, const std::string& where, std::initializer_list<std::string_view> known) {
    for (const auto& [key, value] : object.items()) {
        bool found = false;
        for (const std::string_view name : known) {
            found = found || key == name;
        }
        if (!found) {
            fail(where, "unknown field \"" + key + "\"");
        }
    }
}

std::int64_t integerField(const Json& object, const char* name, std::int64_t fallback, std::int64_t lowest,
                          std::int64_t highest, const std::string& where) {
    const auto found = object.find(name);
    if (found == object.end()) {
        return fallback;
    }
    std::int64_t value = 0;
    if (found->is_number_unsigned()) {
        const auto unsignedValue = found->get<std::uint64_t>();
        if (unsignedValue > static_cast<std::uint64_t>(highest)) {
            fail(where, std::string("\"") + name + "\" must lie between " + std::to_string(lowest) + " and " +
                            std::to_string(highest));
        }
        value = static_cast<std::int64_t>(unsignedValue);
    } else if (found->is_number_integer()) {
        value = found->get<std::int64_t>();
    } else {
        fail(where, std::string("\"") + name + "\" must be a whole number");
    }
    if (value < lowest || value > highest) {
        fail(where, std::string("\"") + name + "\" must lie between " + std::to_string(lowest) + " and " +
                        std::to_string(highest));
    }
    return value;
}

double numberField(const Json& object, const char* name, const std::string& where) {
    const auto found = object.find(name);
    if (found == object.end()) {
        return 0.0;
    }
    if (!found->is_number()) {
        fail(where, std::string("\"") + name + "\" must be a number");
    }
    return found->get<double>();
}

// A text of the file into a Mazovia field of `capacity` bytes, NUL included.
template <std::size_t capacity>
void textField(const Json& object, const char* name, char (&field)[capacity], const std::string& where) {
    std::memset(field, 0, capacity);
    const auto found = object.find(name);
    if (found == object.end()) {
        return;
    }
    if (!found->is_string()) {
        fail(where, std::string("\"") + name + "\" must be a text");
    }
    const std::string& utf8 = found->get_ref<const std::string&>();
    const std::string mazovia = toMazovia(utf8);
    if (toUtf8(mazovia) != utf8 || mazovia.find('\0') != std::string::npos) {
        fail(where, std::string("\"") + name + "\" holds a character the host's code page lacks");
    }
    if (mazovia.size() > capacity - 1) {
        fail(where, std::string("\"") + name + "\" is longer than " + std::to_string(capacity - 1) + " characters");
    }
    std::memcpy(field, mazovia.data(), mazovia.size());
}

template <std::size_t capacity>
std::string textOf(const char (&field)[capacity], const std::string& where, const char* name) {
    const void* end = std::memchr(field, '\0', capacity);
    const std::size_t length =
        end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - field) : capacity;
    const std::string mazovia(field, length);
    std::string utf8 = toUtf8(mazovia);
    if (toMazovia(utf8) != mazovia) {
        fail(where, std::string("\"") + name + "\" holds a byte the document file cannot carry");
    }
    return utf8;
}

// JSON has no numbers for infinities and NaN; a document holding one cannot
// be written without losing it.
double finite(double value, const std::string& where, const char* name) {
    if (!std::isfinite(value)) {
        fail(where, std::string("\"") + name + "\" is not a finite number");
    }
    return value;
}

scalarka::ItemRecord readLine(const Json& entry, const std::string& where) {
    if (!entry.is_object()) {
        fail(where, "a line must be an object");
    }
    checkKeys(entry, where,
              {"name", "symbol", "index", "quantity", "price", "secondPrice", "vatRate", "discount", "warehouse",
               "lineKind", "value"});
    scalarka::ItemRecord line{};
    textField(entry, "name", line.name, where);
    textField(entry, "symbol", line.symbol, where);
    textField(entry, "index", line.index, where);
    line.quantity =
        static_cast<std::int32_t>(integerField(entry, "quantity", 0, std::numeric_limits<std::int32_t>::min(),
                                               std::numeric_limits<std::int32_t>::max(), where));
    line.price = numberField(entry, "price", where);
    line.secondPrice = numberField(entry, "secondPrice", where);
    line.key166 = static_cast<std::uint16_t>(integerField(entry, "vatRate", 0, 0, 0xFFFF, where));
    line.key184 = static_cast<std::uint32_t>(integerField(entry, "discount", 0, 0, 0xFFFFFFFF, where));
    line.key509 = static_cast<std::uint16_t>(integerField(entry, "warehouse", 0, 0, 0xFFFF, where));
    // A line written in the file is a line of goods unless it says otherwise,
    // so that leaving the field out never makes it an empty line.
    line.key511 = static_cast<std::uint16_t>(integerField(entry, "lineKind", 1, 0, 0xFFFF, where));
    return line;
}

// Whether a line carries nothing the file would show: such lines at the end
// of the array are the empty tail, counted rather than listed.
bool isBlankLine(const scalarka::ItemRecord& line) {
    return line.name[0] == '\0' && line.symbol[0] == '\0' && line.index[0] == '\0' && line.quantity == 0 &&
           line.price == 0.0 && line.secondPrice == 0.0 && line.key166 == 0 && line.key184 == 0 && line.key509 == 0 &&
           line.key511 == 0;
}

}  // namespace

Document readDocument(std::string_view json) {
    Json root;
    try {
        root = Json::parse(json.begin(), json.end());
    } catch (const Json::parse_error& error) {
        fail("", std::string("not a JSON text: ") + error.what());
    }
    if (!root.is_object()) {
        fail("", "a document must be an object");
    }
    checkKeys(root, "", {"kind", "approved", "documentFlags", "lines", "emptyLines", "total"});
    if (!root.contains("kind")) {
        fail("", "\"kind\" is missing");
    }
    if (!root.contains("lines") || !root["lines"].is_array()) {
        fail("", "\"lines\" must be an array");
    }
    Document document;
    document.kind = static_cast<std::int32_t>(integerField(root, "kind", 0, std::numeric_limits<std::int32_t>::min(),
                                                           std::numeric_limits<std::int32_t>::max(), ""));
    if (const auto approved = root.find("approved"); approved != root.end()) {
        if (!approved->is_boolean()) {
            fail("", "\"approved\" must be true or false");
        }
        document.approved = approved->get<bool>();
    }
    document.header.documentFlags = static_cast<std::uint16_t>(integerField(root, "documentFlags", 0, 0, 0xFFFF, ""));
    const Json& entries = root["lines"];
    const std::int64_t emptyLines = integerField(root, "emptyLines", 1, 0, maximumLines, "");
    if (static_cast<std::int64_t>(entries.size()) + emptyLines > maximumLines) {
        fail("", "more than " + std::to_string(maximumLines) + " lines");
    }
    std::vector<scalarka::ItemRecord> items;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        items.push_back(readLine(entries[i], "line " + std::to_string(i + 1)));
    }
    document.setLines(items, static_cast<std::size_t>(emptyLines));
    document.recalculate();
    return document;
}

std::string writeDocument(const Document& document) {
    std::size_t listed = document.lines.size();
    while (listed > 0 && isBlankLine(document.lines[listed - 1])) {
        --listed;
    }
    // Values are copied out of the packed records before they reach the
    // library, which would otherwise bind references to unaligned fields.
    OrderedJson root;
    root["kind"] = document.kind;
    root["approved"] = document.approved;
    root["documentFlags"] = std::uint32_t{document.header.documentFlags};
    root["lines"] = OrderedJson::array();
    for (std::size_t i = 0; i < listed; ++i) {
        const scalarka::ItemRecord& line = document.lines[i];
        const std::string where = "line " + std::to_string(i + 1);
        OrderedJson entry;
        entry["name"] = textOf(line.name, where, "name");
        entry["symbol"] = textOf(line.symbol, where, "symbol");
        entry["index"] = textOf(line.index, where, "index");
        entry["quantity"] = std::int64_t{line.quantity};
        entry["price"] = finite(line.price, where, "price");
        entry["secondPrice"] = finite(line.secondPrice, where, "secondPrice");
        entry["vatRate"] = std::uint32_t{line.key166};
        entry["discount"] = std::uint64_t{line.key184};
        entry["warehouse"] = std::uint32_t{line.key509};
        entry["lineKind"] = std::uint32_t{line.key511};
        entry["value"] = lineValue(line);
        root["lines"].push_back(std::move(entry));
    }
    root["emptyLines"] = document.lines.size() - listed;
    root["total"] = documentTotal(document.header);
    return root.dump(2) + "\n";
}

Document loadDocument(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw DocumentFormatError(file.string() + ": cannot be opened");
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    std::string text(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (!in) {
        throw DocumentFormatError(file.string() + ": cannot be read");
    }
    try {
        return readDocument(text);
    } catch (const DocumentFormatError& error) {
        throw DocumentFormatError(file.string() + ": " + error.what());
    }
}

void saveDocument(const Document& document, const std::filesystem::path& file) {
    const std::string text = writeDocument(document);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) {
        throw DocumentFormatError(file.string() + ": cannot be written");
    }
}

}  // namespace korpus
