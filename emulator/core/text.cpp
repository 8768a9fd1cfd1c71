#include "emulator/core/text.h"

#include <array>
#include <cstdio>

namespace korpus {
namespace {

struct Letter {
    unsigned char mazovia;
    const char* utf8;
};

constexpr std::array<Letter, 18> letters = {{
    {0x86, "ą"},
    {0x8D, "ć"},
    {0x91, "ę"},
    {0x92, "ł"},
    {0xA4, "ń"},
    {0xA2, "ó"},
    {0x9E, "ś"},
    {0xA6, "ź"},
    {0xA7, "ż"},
    {0x8F, "Ą"},
    {0x95, "Ć"},
    {0x90, "Ę"},
    {0x9C, "Ł"},
    {0xA5, "Ń"},
    {0xA3, "Ó"},
    {0x98, "Ś"},
    {0xA0, "Ź"},
    {0xA1, "Ż"},
}};

const char* letterOf(unsigned char byte) {
    for (const Letter& letter : letters) {
        if (letter.mazovia == byte) {
            return letter.utf8;
        }
    }
    return nullptr;
}

std::string hexByte(unsigned char byte) {
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02X", byte);
    return text;
}

}  // namespace

std::string traceText(std::string_view mazovia) {
    std::string out;
    for (const char c : mazovia) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\n') {
            out += "\\n";
        } else if (byte == '\t') {
            out += "\\t";
        } else if (byte == '\\' || byte == '"') {
            out += '\\';
            out += c;
        } else if (byte >= 0x20 && byte < 0x7F) {
            out += c;
        } else if (const char* letter = letterOf(byte)) {
            out += letter;
        } else {
            out += hexByte(byte);
        }
    }
    return out;
}

std::string toUtf8(std::string_view mazovia) {
    std::string out;
    for (const char c : mazovia) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else if (const char* letter = letterOf(byte)) {
            out += letter;
        } else {
            out += '?';
        }
    }
    return out;
}

std::string toMazovia(std::string_view utf8) {
    std::string out;
    for (std::size_t at = 0; at < utf8.size();) {
        const auto byte = static_cast<unsigned char>(utf8[at]);
        if (byte < 0x80) {
            out += utf8[at++];
            continue;
        }
        std::size_t length = (byte & 0xE0) == 0xC0 ? 2 : (byte & 0xF0) == 0xE0 ? 3 : (byte & 0xF8) == 0xF0 ? 4 : 1;
        const std::string_view sequence = utf8.substr(at, length);
        char found = '?';
        for (const Letter& letter : letters) {
            if (sequence == letter.utf8) {
                found = static_cast<char>(letter.mazovia);
            }
        }
        out += found;
        at += length;
    }
    return out;
}

}  // namespace korpus
