#include "options/options_form.h"

#include <array>

#include "host/host_services.h"
#include "host/mazovia.h"

namespace scalarka {
namespace {

// A function key as the form carries it: its BIOS code (scan code in the high
// byte) as hot key and id, and its name at the head of the item's label.
struct FunctionKey {
    std::uint16_t code;
    const char* name;
};
constexpr FunctionKey F3{0x3D00, "F3"};
constexpr FunctionKey F4{0x3E00, "F4"};
constexpr FunctionKey F5{0x3F00, "F5"};
constexpr FunctionKey F6{0x4000, "F6"};
constexpr FunctionKey F7{0x4100, "F7"};
constexpr FunctionKey F8{0x4200, "F8"};
constexpr FunctionKey F9{0x4300, "F9"};
constexpr FunctionKey F10{0x4400, "F10"};
constexpr FunctionKey F11{0x8500, "F11"};
constexpr FunctionKey F12{0x8600, "F12"};
constexpr FunctionKey noFunctionKey{0, nullptr};

constexpr std::uint16_t none = 0xFFFF;
constexpr std::uint16_t dialogOk = 0x5001;
constexpr std::uint16_t dialogCancel = 0x5002;

// The host frames a function key's name in a label with these two bytes.
constexpr char keyNameStart = 0x05;
constexpr char keyNameEnd = 0x01;

template <Utf8Literal Text>
constexpr const char* label = mazovia<Text>.data();

// One record as written down below; an item with a function key gets the key
// as hot key, as id and as the head of its label.
struct FormRecordSpec {
    FormItemType type;
    std::uint16_t id;
    std::uint16_t flags;
    FunctionKey key;
    std::uint16_t letterHotKey;  // a letter marked with tildes in the label
    std::uint16_t x, y, w, h;
    std::uint16_t extra;
    const char* text;  // Mazovia, NUL-terminated

    constexpr std::uint16_t hotKey() const { return key.name != nullptr ? key.code : letterHotKey; }
    // A button's id is the code it closes the dialog with; any other item
    // with a function key carries the key's code as its id.
    constexpr std::uint16_t recordId() const { return key.name != nullptr && type != FormButton ? key.code : id; }
};

// Flag values as the host's form format uses them here.
constexpr std::uint16_t editable = 0x0400;
constexpr std::uint16_t editableFixed = 0x0402;  // forced on by the plug-in before every showing
constexpr std::uint16_t weighedBox = 0x0100;
constexpr std::uint16_t separator = 0x0800;
constexpr std::uint16_t defaultButton = 0x8004;

constexpr FormRecordSpec optionsWindow = {
    FormWindow, optionsDialogId, 0, noFunctionKey, 0, 0, 0, 67, 24, 0, label<u8"Łączenie pozycji">};

// clang-format off
constexpr FormRecordSpec optionsItems[optionsFormItemCount] = {
    // type           id      flags          key            letter  x   y   w   h  extra  label
    {FormText,        none,   0,             noFunctionKey, 0,      3,  2,  64, 1, 0, label<u8"Na jakich dokumentach ma działać łączenie takich samych towarów:">},
    {FormCheckBox,    none,   editable,      F3,            0,      3,  3,  60, 1, 0, label<u8" Faktury sprzedaży (VAT)">},
    {FormCheckBox,    none,   editable,      F4,            0,      3,  4,  60, 1, 0, label<u8" Dokumenty dla osób fizycznych">},
    {FormCheckBox,    none,   editable,      F5,            0,      3,  5,  60, 1, 0, label<u8" Faktury eksportowe">},
    {FormCheckBox,    none,   editable,      F6,            0,      3,  6,  60, 1, 0, label<u8" Wydania oczekujące">},
    {FormCheckBox,    none,   editable,      F7,            0,      3,  7,  60, 1, 0, label<u8" Rezerwacje od odbiorców">},
    {FormText,        none,   0,             noFunctionKey, 0,      3,  9,  57, 1, 0, label<u8"Jakie elementy muszą być takie same dla pozycji łączonych">},
    {FormCheckBox,    none,   editable,      noFunctionKey, 'N',    3,  10, 32, 1, 1, label<u8"~N~azwa towaru">},
    {FormCheckBox,    none,   editable,      noFunctionKey, 'S',    3,  11, 32, 1, 2, label<u8"~S~ymbol towaru">},
    {FormCheckBox,    none,   editable,      noFunctionKey, 'I',    3,  12, 32, 1, 3, label<u8"~I~ndeks towaru">},
    {FormCheckBox,    none,   editableFixed, noFunctionKey, 0,      35, 10, 28, 1, 0, label<u8"Cena towaru">},
    {FormCheckBox,    none,   editableFixed, noFunctionKey, 0,      35, 11, 28, 1, 0, label<u8"Upust towaru">},
    {FormCheckBox,    none,   editableFixed, noFunctionKey, 0,      35, 12, 28, 1, 0, label<u8"Stawka VAT towaru">},
    {FormText,        none,   0,             noFunctionKey, 0,      3,  14, 40, 1, 0, label<u8"Wywołanie łączenia takich samych towarów">},
    {FormRadioButton, none,   editable,      F8,            0,      3,  15, 60, 1, 0, label<u8" Zawsze po wybraniu klawisza 'P'">},
    {FormRadioButton, none,   editable,      F9,            0,      3,  16, 60, 1, 0, label<u8" Przed zatwierdzeniem w magazynie (F7)">},
    {FormRadioButton, none,   editable,      F10,           0,      3,  17, 60, 1, 0, label<u8" Przed wydrukiem (F3)">},
    {FormText,        none,   separator,     noFunctionKey, 0,      1,  1,  1,  1, 0, label<u8"">},
    {FormCheckBox,    none,   weighedBox,    F11,           0,      3,  19, 60, 1, 4, label<u8" Łącz towary ważone">},
    {FormButton,      dialogOk, defaultButton, F12,         0,      23, 21, 8,  1, 0, label<u8" OK">},
    {FormButton,      dialogCancel, 0,       noFunctionKey, 0,      35, 21, 8,  1, 0, label<u8"Anuluj">},
};
// clang-format on

consteval std::size_t textLength(const char* text) {
    std::size_t length = 0;
    while (text[length] != '\0') {
        ++length;
    }
    return length;
}

consteval std::size_t labelLength(const FormRecordSpec& record) {
    const std::size_t keyPart = record.key.name != nullptr ? 2 + textLength(record.key.name) : 0;
    return keyPart + textLength(record.text);
}

consteval std::size_t recordSize(const FormRecordSpec& record) { return sizeof(FormItem) + labelLength(record) + 1; }

consteval std::array<std::size_t, 1 + optionsFormItemCount + 1> recordOffsets() {
    std::array<std::size_t, 1 + optionsFormItemCount + 1> offsets{};
    std::size_t at = 8;
    offsets[0] = at;
    at += recordSize(optionsWindow);
    for (std::size_t i = 0; i < optionsFormItemCount; ++i) {
        offsets[i + 1] = at;
        at += recordSize(optionsItems[i]);
    }
    offsets[optionsFormItemCount + 1] = at;
    return offsets;
}

consteval bool offsetsAsLaidDown() {
    const auto offsets = recordOffsets();
    for (std::size_t i = 0; i < 1 + optionsFormItemCount; ++i) {
        if (offsets[i] != optionsFormRecordOffsets[i]) {
            return false;
        }
    }
    return true;
}

consteval bool headingsAsWideAsTheirTexts() {
    for (const FormRecordSpec& item : optionsItems) {
        const std::size_t length = textLength(item.text);
        if (item.type == FormText && length > 0 && item.w != length) {
            return false;
        }
    }
    return true;
}

static_assert(recordOffsets()[0] == 8 && recordOffsets()[1] == 45 && recordOffsets()[2] == 130);
static_assert(recordOffsets()[21] == 982, "the last item, Anuluj");
static_assert(recordOffsets()[22] == optionsFormSize, "the block ends after the last item's NUL");
static_assert(offsetsAsLaidDown(), "every record where the host expects it");
static_assert(headingsAsWideAsTheirTexts());

consteval void put16(OptionsForm& form, std::size_t& at, std::uint16_t value) {
    form.bytes[at++] = static_cast<std::uint8_t>(value & 0xFF);
    form.bytes[at++] = static_cast<std::uint8_t>(value >> 8);
}

consteval void put32(OptionsForm& form, std::size_t& at, std::uint32_t value) {
    put16(form, at, static_cast<std::uint16_t>(value & 0xFFFF));
    put16(form, at, static_cast<std::uint16_t>(value >> 16));
}

consteval void putText(OptionsForm& form, std::size_t& at, const char* text) {
    for (std::size_t i = 0; text[i] != '\0'; ++i) {
        form.bytes[at++] = static_cast<std::uint8_t>(text[i]);
    }
}

consteval void putRecord(OptionsForm& form, std::size_t& at, const FormRecordSpec& record) {
    put16(form, at, record.type);
    put16(form, at, record.recordId());
    put16(form, at, record.flags);
    put16(form, at, record.hotKey());
    put16(form, at, record.x);
    put16(form, at, record.y);
    put16(form, at, record.w);
    put16(form, at, record.h);
    put16(form, at, 0);
    put16(form, at, record.extra);
    if (record.key.name != nullptr) {
        form.bytes[at++] = static_cast<std::uint8_t>(keyNameStart);
        putText(form, at, record.key.name);
        form.bytes[at++] = static_cast<std::uint8_t>(keyNameEnd);
    }
    putText(form, at, record.text);
    form.bytes[at++] = 0;
}

consteval OptionsForm buildOptionsForm() {
    OptionsForm form{};
    std::size_t at = 0;
    put32(form, at, optionsFormSize - 4);
    put16(form, at, optionsFormSize - 8);
    put16(form, at, optionsFormItemCount);
    putRecord(form, at, optionsWindow);
    for (const FormRecordSpec& item : optionsItems) {
        putRecord(form, at, item);
    }
    if (at != optionsFormSize) {
        throw "the records do not fill the block exactly";
    }
    return form;
}

}  // namespace
}  // namespace scalarka

// Writable, as the host may expect of a form it is handed; built entirely at
// compile time, so it is complete before any code of the library runs.
constinit scalarka::FormWithHandlerSlot scalarkaOptionsForm = {resolveFormHandler, scalarka::buildOptionsForm()};

scalarka::CodeAddress formHandlerLookup() { return scalarka::hostHandlerLookup(); }
