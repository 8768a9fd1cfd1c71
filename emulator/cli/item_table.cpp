#include "emulator/cli/item_table.h"

#include <cstdio>
#include <string_view>
#include <vector>

#include "emulator/core/text.h"

namespace korpus {
namespace {

// Terminal columns a UTF-8 text takes: one per character.
std::size_t width(std::string_view utf8) {
    std::size_t columns = 0;
    for (const char c : utf8) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++columns;
        }
    }
    return columns;
}

std::string padded(const std::string& text, std::size_t columns, bool right) {
    const std::size_t used = width(text);
    const std::string fill(used < columns ? columns - used : 0, ' ');
    return right ? fill + text : text + fill;
}

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// A NUL-terminated text field of a record, in UTF-8.
template <std::size_t N>
std::string field(const char (&bytes)[N]) {
    std::size_t length = 0;
    while (length < N && bytes[length] != '\0') {
        ++length;
    }
    return toUtf8(std::string_view(bytes, length));
}

}  // namespace

std::string itemTable(const Document& document) {
    const std::vector<std::string> headings = {"#", "Nazwa", "Symbol", "Indeks", "Ilość", "Cena", "Wartość"};
    std::vector<std::vector<std::string>> rows;
    for (std::size_t i = 0; i < document.pointers.size(); ++i) {
        const scalarka::ItemRecord& line = *document.pointers[i];
        if (scalarka::isEmptyLine(line)) {
            continue;
        }
        rows.push_back({std::to_string(i + 1), field(line.name), field(line.symbol), field(line.index),
                        fixed(line.quantity / 1000.0, 3), fixed(line.price / 100.0, 2),
                        fixed(lineValue(line) / 100.0, 2)});
    }
    std::vector<std::size_t> columns(headings.size());
    for (std::size_t c = 0; c < headings.size(); ++c) {
        columns[c] = width(headings[c]);
        for (const auto& row : rows) {
            columns[c] = std::max(columns[c], width(row[c]));
        }
    }
    auto line = [&](const std::vector<std::string>& cells) {
        std::string text = " ";
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const bool number = c == 0 || c >= 4;
            text += " " + padded(cells[c], columns[c], number);
        }
        return text + "\n";
    };
    std::string table = line(headings);
    for (const auto& row : rows) {
        table += line(row);
    }
    if (rows.empty()) {
        table += "  (no lines)\n";
    }
    table += "  Razem: " + fixed(documentTotal(document.header) / 100.0, 2) + "\n";
    return table;
}

std::string displayText(const std::string& utf8) {
    // The host's marks: 0x02 starts a highlight that 0x01 ends; "\x01c"
    // centres the text up to the next 0x01; any other 0x01 starts a command
    // (tab stops) that runs to the next 0x01.
    std::string shown;
    bool highlight = false;
    bool centred = false;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        if (c == '\x02') {
            highlight = true;
        } else if (c == '\x01' && highlight) {
            highlight = false;
        } else if (c == '\x01' && centred) {
            centred = false;
        } else if (c == '\x01' && i + 1 < utf8.size() && utf8[i + 1] == 'c') {
            centred = true;
            ++i;
        } else if (c == '\x01') {
            const std::size_t end = utf8.find('\x01', i + 1);
            i = end == std::string::npos ? utf8.size() : end;
        } else {
            shown += c == '\t' ? ' ' : c;
        }
    }
    return shown;
}

}  // namespace korpus
