// The host's form format and the dialogs drawn from it.
//
// A form is one block: a header (32-bit size of what follows it, 16-bit size
// of what follows the header, 16-bit item count), then the window record and
// the items, each a fixed part of 20 bytes followed by a NUL-terminated label;
// the next record begins right after that NUL. The host draws the window as a
// text screen and lets the user edit a record of the caller's through the
// input items (check boxes and radio buttons).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace korpus {

enum class FormItemType : std::uint16_t {
    button = 0,
    radioButton = 1,
    checkBox = 2,
    text = 3,
    window = 0xFFFF,
};

// Flag bit of an item that the user cannot change; it is drawn as fixed.
inline constexpr std::uint16_t formItemFixed = 0x0002;

// Close codes: the OK button's, and what Esc gives.
inline constexpr std::uint16_t dialogOk = 0x5001;
inline constexpr std::uint16_t dialogCancel = 0x5002;

// A form that contradicts itself: sizes that disagree, a label without its
// NUL inside the block, records that do not fill it.
class FormError : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
};

struct FormRecord {
    std::size_t offset = 0;  // where the record starts within the block
    std::uint16_t type = 0;
    std::uint16_t id = 0;
    std::uint16_t flags = 0;
    std::uint16_t hotKey = 0;
    std::uint16_t x = 0;
    std::uint16_t y = 0;
    std::uint16_t w = 0;
    std::uint16_t h = 0;
    std::uint16_t unnamed = 0;
    std::uint16_t extra = 0;
    std::string label;  // Mazovia bytes, display marks as they are

    FormItemType kind() const { return static_cast<FormItemType>(type); }
    bool isInput() const { return kind() == FormItemType::checkBox || kind() == FormItemType::radioButton; }
    bool isFixed() const { return (flags & formItemFixed) != 0; }
};

struct Form {
    std::uint32_t sizeAfterSizeField = 0;  // header field at 0: block size minus 4
    std::uint16_t sizeAfterHeader = 0;     // header field at 4: block size minus 8
    std::uint16_t itemCount = 0;
    FormRecord window;
    std::vector<FormRecord> items;

    std::size_t size() const { return std::size_t{sizeAfterSizeField} + 4; }
};

// Reads a form from exactly the bytes given; throws FormError.
Form parseForm(std::string_view bytes);
// Reads a form from the address a caller handed over, trusting its first
// field for the size of the block; throws FormError.
Form parseForm(const void* block);

// A label as the screen shows it: the function-key name framed by 0x05 and
// 0x01 and the rest of the text, tildes around a hot letter removed, in UTF-8.
std::string shownLabel(const std::string& mazoviaLabel);

// The PC key code of a key named as a person would ("F3", "F12", "Esc", "N");
// nullopt for a name the host's keyboard does not have.
std::optional<std::uint16_t> keyCode(std::string_view name);

// A field of the record a dialog edits, as the host knows the record of each
// dialog: little-endian, 1 or 2 bytes wide.
struct RecordField {
    std::size_t offset;
    std::size_t width;
};

// The host's record layouts by dialog id (the options record of 20110);
// nullopt for a dialog it does not know.
std::optional<std::vector<RecordField>> dialogRecordLayout(std::int32_t dialogId);

// One shown dialog: its form, the record it edits in place, and the keys the
// user presses. The input items stand for the record's fields in order: each
// run of consecutive check boxes or of consecutive radio buttons is one
// group, the k-th group stands for the k-th field; in a check-box group the
// i-th box is bit i of its field, in a radio group the i-th button is value i.
//
// The screen is the window's cells inside a frame that carries the title;
// check boxes are "[x]"/"[ ]", fixed ones "{x}"/"{ }", radio buttons "(*)"/
// "( )", buttons their label in brackets.
class FormDialog {
   public:
    // Throws FormError when the groups do not match the fields. With no
    // fields and no record, every input item is shown off and edits nothing.
    FormDialog(Form form, std::vector<RecordField> fields, std::uint8_t* record);

    std::string screen() const;

    // The close code when the key closes the dialog: a button's id for its
    // hot key, dialogCancel for Esc. A function key or letter that is an
    // item's hot key toggles its check box (unless fixed) or selects its
    // radio button, writing the record at once.
    std::optional<std::uint16_t> press(std::uint16_t key);

    const Form& form() const { return form_; }
    // Whether an input item is on, by its position among the items.
    bool isOn(std::size_t item) const;

   private:
    struct Binding {
        bool bound = false;
        std::size_t field = 0;
        unsigned place = 0;  // bit of a check box, value of a radio button
    };

    std::uint32_t fieldValue(std::size_t field) const;
    void setFieldValue(std::size_t field, std::uint32_t value);

    Form form_;
    std::vector<RecordField> fields_;
    std::uint8_t* record_;
    std::vector<Binding> bindings_;  // one per item
};

}  // namespace korpus
