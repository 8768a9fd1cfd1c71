// The host's services around the document being edited: messages, approval
// withdrawal and release, text comparison, the recalculations, record access,
// key codes, the symbol parser for weighed goods and the bounded copy.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "emulator/core/host.h"
#include "emulator/core/text.h"

namespace korpus {
namespace {

Host& host() { return *Host::current(); }

constexpr std::uint16_t approvalPending = 0x400;

// Amounts are whole grosze.
std::string amount(double grosze) {
    char text[64];
    std::snprintf(text, sizeof text, "%.0f", grosze);
    return text;
}

// How the trace names the host's own records; anything else is "&".
TraceValue lineName(const scalarka::ItemRecord* line) {
    if (line == nullptr) {
        return {"null"};
    }
    const std::ptrdiff_t position = host().document().positionOf(line);
    return {position >= 0 ? "line[" + std::to_string(position) + "]" : "&line"};
}

TraceValue linesName(scalarka::ItemRecord* const* lines) {
    if (lines == nullptr) {
        return {"null"};
    }
    return {lines == host().document().pointers.data() ? "lines" : "&lines"};
}

TraceValue documentName(const scalarka::DocumentRecord* document) {
    if (document == nullptr) {
        return {"null"};
    }
    return {document == &host().document().header ? "document" : "&document"};
}

TraceValue countName(const std::int32_t* count) { return {count != nullptr ? "&" + std::to_string(*count) : "null"}; }

// A text field of one of the document's lines, by its place in the record.
TraceValue fieldName(const char* text) {
    if (text == nullptr) {
        return {"null"};
    }
    const Document& document = host().document();
    for (std::size_t i = 0; i < document.lines.size(); ++i) {
        const scalarka::ItemRecord& line = document.lines[i];
        const std::string at = "line[" + std::to_string(i) + "].";
        if (text == line.name) {
            return {at + "name"};
        }
        if (text == line.symbol) {
            return {at + "symbol"};
        }
        if (text == line.index) {
            return {at + "index"};
        }
    }
    return {"&text"};
}

// 52028: shows the text; the style (1 an error, 512 a progress notice) is the
// box's look, which the trace keeps.
std::int32_t messageBox(const char* title, const char* text, std::int32_t style) {
    host().messages().push_back(
        {"messageBox", title != nullptr ? toUtf8(title) : "", text != nullptr ? toUtf8(text) : ""});
    host().trace().call(52028, "messageBox", {traceString(title), traceString(text), traceNumber(style)}, "0");
    return 0;
}

// 52004: withdraws the approval of the document being edited. The value it
// returns is the address of the host's record of the withdrawal, which the
// release takes back.
void* approvalWithdrawal(std::int32_t documentKind, std::int32_t eventArgument, scalarka::ItemRecord** lines,
                         std::int32_t* lineCount, std::int32_t arg5, std::int32_t arg6, std::int32_t arg7,
                         std::int32_t arg8, std::int32_t arg9, std::int32_t arg10, std::int32_t arg11,
                         std::int32_t arg12) {
    // The host checks that the caller marked the current document as being
    // withdrawn: the record table 44 designates at this moment.
    const scalarka::TableDescriptor* table = host().table(scalarka::documentTable);
    const auto* current =
        table != nullptr ? static_cast<const scalarka::DocumentRecord*>(table->currentRecord) : nullptr;
    Withdrawal withdrawal;
    withdrawal.documentKind = documentKind;
    withdrawal.eventArgument = eventArgument;
    withdrawal.lineCountSeen = lineCount != nullptr ? *lineCount : -1;
    withdrawal.documentFlagSet = current != nullptr && (current->documentFlags & approvalPending) != 0;
    host().withdrawals().push_back(withdrawal);
    host().document().approved = false;
    const std::size_t number = host().withdrawals().size();
    const std::string flag = current == nullptr           ? "no current document"
                             : withdrawal.documentFlagSet ? "documentFlags 0x400 set"
                                                          : "documentFlags 0x400 clear";
    host().trace().call(52004, "approvalWithdrawal",
                        {traceNumber(documentKind), traceNumber(eventArgument), linesName(lines), countName(lineCount),
                         traceNumber(arg5), traceNumber(arg6), traceNumber(arg7), traceNumber(arg8), traceNumber(arg9),
                         traceNumber(arg10), traceNumber(arg11), traceNumber(arg12)},
                        "withdrawal " + std::to_string(number) + " (" + flag + ")");
    return &host().withdrawals().back();
}

// 52470: takes back what the approval withdrawal handed out. Any other value,
// or one already released, is ignored.
std::int32_t release(void* value) {
    std::deque<Withdrawal>& withdrawals = host().withdrawals();
    for (std::size_t i = 0; i < withdrawals.size(); ++i) {
        if (&withdrawals[i] == value) {
            const std::string name = "withdrawal " + std::to_string(i + 1);
            if (withdrawals[i].released) {
                host().trace().call(52470, "release", {{name}}, "already released");
                return -1;
            }
            withdrawals[i].released = true;
            host().trace().call(52470, "release", {{name}}, "0");
            return 0;
        }
    }
    host().trace().call(52470, "release", {tracePointer(value, "unknown value")}, "ignored");
    return -1;
}

// 52154: the host's rule for "the same text": byte for byte equal once the
// blanks (spaces) that end either text are left out, so that a field padded
// with spaces equals the same text unpadded. Letters keep their case. A null
// text equals nothing. Otherwise -1 or 1, as the first differing byte
// (unsigned) orders the texts.
std::int32_t compareTexts(const char* left, const char* right) {
    if (left == nullptr || right == nullptr) {
        return 1;
    }
    std::string_view a(left);
    std::string_view b(right);
    while (!a.empty() && a.back() == ' ') {
        a.remove_suffix(1);
    }
    while (!b.empty() && b.back() == ' ') {
        b.remove_suffix(1);
    }
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

std::int32_t textComparison(const char* left, const char* right) {
    const std::int32_t result = compareTexts(left, right);
    host().trace().call(52154, "textComparison", {traceString(left), traceString(right)}, std::to_string(result));
    return result;
}

void recalculateLine(scalarka::ItemRecord& line) { setLineValue(line, computeLineValue(line.quantity, line.price)); }

// 52332: the line's value from its quantity and price.
std::int32_t lineRecalculation(std::int32_t first, scalarka::ItemRecord* line, scalarka::DocumentRecord* document,
                               std::int32_t last) {
    std::string result = "-1";
    if (line != nullptr) {
        recalculateLine(*line);
        result = "0 (value " + amount(lineValue(*line)) + ")";
    }
    host().trace().call(52332, "lineRecalculation",
                        {traceNumber(first), lineName(line), documentName(document), traceNumber(last)}, result);
    return line != nullptr ? 0 : -1;
}

// 52330: every line's value. Null entries are passed over.
std::int32_t lineArrayRecalculation(scalarka::ItemRecord** lines, std::int32_t count,
                                    scalarka::DocumentRecord* document, std::int32_t arg4, std::int32_t arg5) {
    if (lines != nullptr) {
        for (std::int32_t i = 0; i < count; ++i) {
            if (lines[i] != nullptr) {
                recalculateLine(*lines[i]);
            }
        }
    }
    host().trace().call(
        52330, "lineArrayRecalculation",
        {linesName(lines), traceNumber(count), documentName(document), traceNumber(arg4), traceNumber(arg5)},
        lines != nullptr ? "0" : "-1");
    return lines != nullptr ? 0 : -1;
}

// 52331: the document's total, the sum of the values the lines hold (as the
// line recalculations left them).
std::int32_t documentRecalculation(scalarka::DocumentRecord* document, scalarka::DocumentRecord* same,
                                   scalarka::ItemRecord** lines, std::int32_t count) {
    const bool done = document != nullptr && lines != nullptr;
    std::string result = "-1";
    if (done) {
        double total = 0;
        for (std::int32_t i = 0; i < count; ++i) {
            if (lines[i] != nullptr) {
                total += lineValue(*lines[i]);
            }
        }
        setDocumentTotal(*document, total);
        result = "0 (total " + amount(total) + ")";
    }
    host().trace().call(52331, "documentRecalculation",
                        {documentName(document), documentName(same), linesName(lines), traceNumber(count)}, result);
    return done ? 0 : -1;
}

// 52465: with 255, makes the current record of the document table the
// document being edited. The line table has no current record of its own
// here; any other descriptor is not the host's.
std::int32_t tableRecordAccess(scalarka::TableDescriptor* descriptor, std::int32_t mode) {
    std::string name = "&table";
    std::int32_t result = -1;
    if (descriptor != nullptr && descriptor == host().table(scalarka::documentTable)) {
        name = "&Tspr";
        if (mode == 255) {
            descriptor->currentRecord = &host().document().header;
            result = 0;
        }
    } else if (descriptor != nullptr && descriptor == host().table(scalarka::lineTable)) {
        name = "&Tspr_dok";
        result = 0;
    } else if (descriptor == nullptr) {
        name = "null";
    }
    host().trace().call(52465, "tableRecordAccess", {{name}, traceNumber(mode)}, std::to_string(result));
    return result;
}

// 33197: the host acts as if the key had been pressed; here it keeps the code.
std::int32_t keyCodeCall(std::int32_t keyCode) {
    host().keyCodes().push_back(keyCode);
    host().trace().call(33197, "keyCodeCall", {traceNumber(keyCode)}, "0");
    return 0;
}

// The host's weighed-goods codes: EAN-13 codes for use inside the shop, 13
// digits, the last the EAN check digit, in one of three forms:
//   20 GGGGG WWWWW C   goods GGGGG, weight WWWWW in grams
//   21 GGGGG PPPPP C   goods GGGGG, price PPPPP in grosze per 100 g
//   22 GGGG WWW PPP C  goods 0GGGG, weight WWW in grams, price PPP in grosze per 100 g
// The goods symbol is the five-digit goods code. A weight in grams is a
// quantity in thousandths of a kilogram, and ten times a price per 100 g is
// the price per kilogram, which is how the caller applies them. Anything
// else, the goods symbol itself included, is not a weighed-goods code.
struct WeighedCode {
    std::string goods;
    std::optional<std::int32_t> weight;
    std::optional<std::int32_t> price;
};

std::int32_t digitsAt(std::string_view code, std::size_t first, std::size_t count) {
    std::int32_t value = 0;
    for (std::size_t i = first; i < first + count; ++i) {
        value = value * 10 + (code[i] - '0');
    }
    return value;
}

std::optional<WeighedCode> parseWeighedCode(const char* symbol) {
    constexpr std::size_t length = 13;
    // Read no further than one byte past a code's length.
    std::size_t size = 0;
    while (size <= length && symbol[size] != '\0') {
        ++size;
    }
    if (size != length) {
        return std::nullopt;
    }
    const std::string_view code(symbol, length);
    int sum = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (code[i] < '0' || code[i] > '9') {
            return std::nullopt;
        }
        if (i < length - 1) {
            sum += (code[i] - '0') * (i % 2 == 0 ? 1 : 3);
        }
    }
    if ((10 - sum % 10) % 10 != code[length - 1] - '0') {
        return std::nullopt;
    }
    WeighedCode parsed;
    if (code.starts_with("20")) {
        parsed.goods = code.substr(2, 5);
        parsed.weight = digitsAt(code, 7, 5);
    } else if (code.starts_with("21")) {
        parsed.goods = code.substr(2, 5);
        parsed.price = digitsAt(code, 7, 5);
    } else if (code.starts_with("22")) {
        parsed.goods = "0" + std::string(code.substr(2, 4));
        parsed.weight = digitsAt(code, 6, 3);
        parsed.price = digitsAt(code, 9, 3);
    } else {
        return std::nullopt;
    }
    return parsed;
}

// 52126: low 16 bits 1 for a weighed-goods code, 0 otherwise. On
// acceptance the buffer receives the goods symbol and the numbers the code
// carries are written; nothing is written on rejection.
std::int32_t symbolParser(const char* symbol, char* buffer, std::int32_t bufferSize, std::int32_t* weight,
                          std::int32_t* price, std::int32_t arg6, std::int32_t arg7, std::int32_t arg8) {
    std::optional<WeighedCode> parsed;
    std::string why;
    if (symbol == nullptr || buffer == nullptr) {
        why = "no text";
    } else if (parsed = parseWeighedCode(symbol); !parsed) {
        why = "not a weighed-goods code";
    } else if (bufferSize <= 0 || parsed->goods.size() >= static_cast<std::size_t>(bufferSize)) {
        why = "buffer too small";
        parsed.reset();
    }
    const auto accepted = static_cast<std::uint32_t>(parsed ? 1 : 0);
    const auto result = static_cast<std::int32_t>(accepted | host().config().symbolParserHighBits);
    std::string shown = std::to_string(result);
    if (parsed) {
        std::memcpy(buffer, parsed->goods.c_str(), parsed->goods.size() + 1);
        shown += " (goods \"" + parsed->goods + "\"";
        if (parsed->weight && weight != nullptr) {
            *weight = *parsed->weight;
            shown += ", weight " + std::to_string(*parsed->weight);
        }
        if (parsed->price && price != nullptr) {
            *price = *parsed->price;
            shown += ", price " + std::to_string(*parsed->price);
        }
        shown += ")";
    } else {
        shown += " (" + why + ")";
    }
    host().trace().call(
        52126, "symbolParser",
        {traceString(symbol), tracePointer(buffer, "buffer"), traceNumber(bufferSize), tracePointer(weight, "&weight"),
         tracePointer(price, "&price"), traceNumber(arg6), traceNumber(arg7), traceNumber(arg8)},
        shown);
    return result;
}

// 52161: at most `limit` characters of the source and a NUL; the source may
// overlap the destination. A negative limit counts as 0; a null source leaves
// the destination as it was.
char* boundedCopy(char* destination, const char* source, std::int32_t limit) {
    if (destination != nullptr && source != nullptr) {
        std::string copied;
        for (std::int32_t i = 0; i < limit && source[i] != '\0'; ++i) {
            copied += source[i];
        }
        std::memcpy(destination, copied.c_str(), copied.size() + 1);
    }
    host().trace().call(52161, "boundedCopy", {fieldName(destination), traceString(source), traceNumber(limit)},
                        fieldName(destination).shown);
    return destination;
}

}  // namespace

void registerDocumentServices(ServiceMap& services) {
    services[52028] = serviceAddress(&messageBox);
    services[52004] = serviceAddress(&approvalWithdrawal);
    services[52470] = serviceAddress(&release);
    services[52154] = serviceAddress(&textComparison);
    services[52332] = serviceAddress(&lineRecalculation);
    services[52330] = serviceAddress(&lineArrayRecalculation);
    services[52331] = serviceAddress(&documentRecalculation);
    services[52465] = serviceAddress(&tableRecordAccess);
    services[33197] = serviceAddress(&keyCodeCall);
    services[52126] = serviceAddress(&symbolParser);
    services[52161] = serviceAddress(&boundedCopy);
}

}  // namespace korpus
