// Texts for the host, in its code page (Mazovia).
//
// The host is a text-mode program that shows every byte through the Mazovia
// code page, so each text we hand it must be encoded that way. Sources keep
// the texts readable in UTF-8; `mazovia<u8"...">` turns them into Mazovia bytes
// at compile time and refuses (does not compile) any character the code page
// cannot show.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace scalarka {

template <std::size_t N>
struct Utf8Literal {
    char8_t chars[N]{};
    // NOLINTNEXTLINE(google-explicit-constructor, hicpp-explicit-conversions): a literal is the point
    consteval Utf8Literal(const char8_t (&text)[N]) {
        for (std::size_t i = 0; i < N; ++i) {
            chars[i] = text[i];
        }
    }
};

namespace mazovia_detail {

struct Letter {
    char32_t unicode;
    unsigned char mazovia;
};

// The Polish letters; every other character the plug-in uses is ASCII.
inline constexpr Letter letters[] = {
    {U'ą', 0x86}, {U'ć', 0x8D}, {U'ę', 0x91}, {U'ł', 0x92}, {U'ń', 0xA4}, {U'ó', 0xA2},
    {U'ś', 0x9E}, {U'ź', 0xA6}, {U'ż', 0xA7}, {U'Ą', 0x8F}, {U'Ć', 0x95}, {U'Ę', 0x90},
    {U'Ł', 0x9C}, {U'Ń', 0xA5}, {U'Ó', 0xA3}, {U'Ś', 0x98}, {U'Ź', 0xA0}, {U'Ż', 0xA1},
};

// Decodes one UTF-8 sequence starting at `at`; advances `at`.
template <std::size_t N>
consteval char32_t decode(const Utf8Literal<N>& text, std::size_t& at) {
    auto byte = [&](std::size_t i) { return static_cast<char32_t>(static_cast<unsigned char>(text.chars[i])); };
    const char32_t first = byte(at);
    if (first < 0x80) {
        at += 1;
        return first;
    }
    if ((first & 0xE0) == 0xC0) {
        const char32_t c = ((first & 0x1F) << 6) | (byte(at + 1) & 0x3F);
        at += 2;
        return c;
    }
    throw "only ASCII and two-byte Polish letters are expected in host texts";
}

template <std::size_t N>
consteval std::size_t encodedLength(const Utf8Literal<N>& text) {
    std::size_t length = 0;
    for (std::size_t at = 0; at + 1 < N;) {
        decode(text, at);
        ++length;
    }
    return length;
}

consteval char encodeOne(char32_t c) {
    if (c < 0x80) {
        return static_cast<char>(c);
    }
    for (const Letter& letter : letters) {
        if (letter.unicode == c) {
            return static_cast<char>(letter.mazovia);
        }
    }
    throw "character has no Mazovia code";
}

template <Utf8Literal Text>
consteval auto encode() {
    std::array<char, encodedLength(Text) + 1> out{};
    std::size_t length = 0;
    for (std::size_t at = 0; at + 1 < sizeof(Text.chars);) {
        out[length++] = encodeOne(decode(Text, at));
    }
    out[length] = '\0';
    return out;
}

}  // namespace mazovia_detail

// NUL-terminated Mazovia bytes of a UTF-8 literal, as a constant array.
template <Utf8Literal Text>
inline constexpr auto mazovia = mazovia_detail::encode<Text>();

}  // namespace scalarka
