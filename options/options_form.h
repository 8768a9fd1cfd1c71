// The options dialog as the host draws it: one block in the host's form
// format, and the code pointer the host may find right in front of it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/code_address.h"

namespace scalarka {

// Item types of the host's form format.
enum FormItemType : std::uint16_t {
    FormButton = 0,
    FormRadioButton = 1,
    FormCheckBox = 2,
    FormText = 3,
    FormWindow = 0xFFFF,
};

// The fixed part of every record of a form (the window and each item); the
// NUL-terminated label follows it at once, and the next record begins at the
// byte after that NUL.
#pragma pack(push, 1)
struct FormItem {
    std::uint16_t type;
    std::uint16_t id;  // 0xFFFF none; a button's close code; the window's dialog id
    std::uint16_t flags;
    std::uint16_t hotKey;  // function key: scan code << 8; letter: its upper-case code
    std::uint16_t x;
    std::uint16_t y;
    std::uint16_t w;
    std::uint16_t h;
    std::uint16_t unnamed;  // 0 throughout our form
    std::uint16_t extra;
};
#pragma pack(pop)
static_assert(sizeof(FormItem) == 20);

inline constexpr std::size_t optionsFormSize = 1009;
inline constexpr std::uint16_t optionsFormItemCount = 21;
inline constexpr std::uint16_t optionsDialogId = 20110;

// The options dialog's definition: header, window record and 21 items, byte
// for byte as the host reads them.
struct OptionsForm {
    std::uint8_t bytes[optionsFormSize];
};
static_assert(sizeof(OptionsForm) == optionsFormSize);

// The host may read the code pointer that lies immediately before the form,
// so the two are laid out together in writable memory: the slot (as wide as a
// code pointer) and then, with nothing between, the form.
struct FormWithHandlerSlot {
    CodeAddress formHandlerSlot;
    OptionsForm optionsForm;
};
static_assert(offsetof(FormWithHandlerSlot, optionsForm) == sizeof(CodeAddress),
              "the slot must end exactly where the form begins");

}  // namespace scalarka

extern "C" {
// The slot and the form. The slot starts at resolveFormHandler and holds the
// host's handler after the first call through it.
extern scalarka::FormWithHandlerSlot scalarkaOptionsForm;

// Entered only through the slot: asks the host's handler lookup for the
// handler, stores it in the slot and continues the caller's call there. When
// the host has no handler it returns 0 to the caller (see the assembly).
void resolveFormHandler();

// The handler lookup as the assembly stub calls it.
scalarka::CodeAddress formHandlerLookup();
}

namespace scalarka {

inline constexpr CodeAddress& formHandlerSlot = scalarkaOptionsForm.formHandlerSlot;
inline constexpr OptionsForm& optionsForm = scalarkaOptionsForm.optionsForm;

// Where each record of the form starts (the window first) and where the form
// ends, as laid down for the host.
inline constexpr std::size_t optionsFormRecordOffsets[1 + optionsFormItemCount] = {
    8, 45, 130, 179, 234, 278, 322, 371, 449, 484, 520, 556, 588, 621, 659, 720, 777, 840, 887, 908, 953, 982};

}  // namespace scalarka
