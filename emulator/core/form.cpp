#include "emulator/core/form.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "emulator/core/text.h"

namespace korpus {
namespace {

constexpr std::size_t headerSize = 8;
constexpr std::size_t recordFixedSize = 20;
// No form of the host comes anywhere near this; a larger size field means the
// address does not hold a form.
constexpr std::uint32_t largestForm = 1u << 20;

constexpr char keyNameStart = 0x05;
constexpr char keyNameEnd = 0x01;
constexpr std::uint16_t escapeKey = 0x011B;

std::uint16_t read16(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

std::uint32_t read32(std::string_view bytes, std::size_t at) {
    return std::uint32_t{read16(bytes, at)} | (std::uint32_t{read16(bytes, at + 2)} << 16);
}

FormRecord readRecord(std::string_view bytes, std::size_t& at, const char* what) {
    if (bytes.size() - at < recordFixedSize) {
        throw FormError(std::string(what) + " at offset " + std::to_string(at) + " runs past the end of the form");
    }
    FormRecord record;
    record.offset = at;
    std::uint16_t* const fields[] = {&record.type, &record.id, &record.flags, &record.hotKey,  &record.x,
                                     &record.y,    &record.w,  &record.h,     &record.unnamed, &record.extra};
    for (std::size_t i = 0; i < std::size(fields); ++i) {
        *fields[i] = read16(bytes, at + 2 * i);
    }
    const std::size_t labelStart = at + recordFixedSize;
    const std::size_t nul = bytes.find('\0', labelStart);
    if (nul == std::string_view::npos) {
        throw FormError(std::string("the label of ") + what + " at offset " + std::to_string(at) +
                        " has no NUL inside the form");
    }
    record.label = std::string(bytes.substr(labelStart, nul - labelStart));
    at = nul + 1;
    return record;
}

// A label as screen cells, one UTF-8 character each.
std::vector<std::string> labelCells(const std::string& mazoviaLabel) {
    std::vector<std::string> cells;
    bool inKeyName = false;
    for (const char c : mazoviaLabel) {
        if (c == keyNameStart) {
            inKeyName = true;
            continue;
        }
        if (inKeyName && c == keyNameEnd) {
            inKeyName = false;
            continue;
        }
        if (c == '~') {
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        cells.push_back(byte < 0x20 ? std::string("?") : toUtf8(std::string_view(&c, 1)));
    }
    return cells;
}

std::vector<std::string> cellsOf(std::string_view ascii) {
    std::vector<std::string> cells;
    for (const char c : ascii) {
        cells.emplace_back(1, c);
    }
    return cells;
}

}  // namespace

Form parseForm(std::string_view bytes) {
    if (bytes.size() < headerSize) {
        throw FormError("a form of " + std::to_string(bytes.size()) + " bytes has no room for its header");
    }
    Form form;
    form.sizeAfterSizeField = read32(bytes, 0);
    form.sizeAfterHeader = read16(bytes, 4);
    form.itemCount = read16(bytes, 6);
    if (form.size() != bytes.size()) {
        throw FormError("the header gives " + std::to_string(form.sizeAfterSizeField) +
                        " bytes after its first field, " + "the form has " + std::to_string(bytes.size()) + " in all");
    }
    if (std::size_t{form.sizeAfterHeader} + headerSize != bytes.size()) {
        throw FormError("the header gives " + std::to_string(form.sizeAfterHeader) +
                        " bytes after itself, the form has " + std::to_string(bytes.size()) + " in all");
    }
    std::size_t at = headerSize;
    form.window = readRecord(bytes, at, "the window record");
    if (form.window.kind() != FormItemType::window) {
        throw FormError("the first record is of type " + std::to_string(form.window.type) + ", not a window");
    }
    for (std::uint16_t i = 0; i < form.itemCount; ++i) {
        const std::string what = "item " + std::to_string(i + 1);
        form.items.push_back(readRecord(bytes, at, what.c_str()));
    }
    if (at != bytes.size()) {
        throw FormError("the records end at offset " + std::to_string(at) + ", the form at " +
                        std::to_string(bytes.size()));
    }
    return form;
}

Form parseForm(const void* block) {
    if (block == nullptr) {
        throw FormError("no form");
    }
    const auto* bytes = static_cast<const char*>(block);
    const std::uint32_t sizeAfterSizeField = read32(std::string_view(bytes, 4), 0);
    if (sizeAfterSizeField < headerSize - 4 || sizeAfterSizeField > largestForm) {
        throw FormError("the form's size field holds " + std::to_string(sizeAfterSizeField));
    }
    return parseForm(std::string_view(bytes, std::size_t{sizeAfterSizeField} + 4));
}

std::string shownLabel(const std::string& mazoviaLabel) {
    std::string shown;
    for (const std::string& cell : labelCells(mazoviaLabel)) {
        shown += cell;
    }
    return shown;
}

std::optional<std::uint16_t> keyCode(std::string_view name) {
    std::string upper(name);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (upper == "ESC") {
        return escapeKey;
    }
    if (upper.size() == 1 && upper[0] >= 'A' && upper[0] <= 'Z') {
        return static_cast<std::uint16_t>(upper[0]);
    }
    if (upper.size() >= 2 && upper[0] == 'F' &&
        std::all_of(upper.begin() + 1, upper.end(), [](unsigned char c) { return std::isdigit(c) != 0; })) {
        const int number = std::stoi(upper.substr(1));
        // BIOS scan codes: F1 to F10 are 0x3B to 0x44, F11 and F12 0x85, 0x86.
        if (number >= 1 && number <= 10) {
            return static_cast<std::uint16_t>((0x3A + number) << 8);
        }
        if (number == 11 || number == 12) {
            return static_cast<std::uint16_t>((0x85 + number - 11) << 8);
        }
    }
    return std::nullopt;
}

std::optional<std::vector<RecordField>> dialogRecordLayout(std::int32_t dialogId) {
    if (dialogId == 20110) {
        // The merge options: kinds of documents (a byte, a reserved byte after
        // it), the compared attributes and the trigger (16 bits each), weighed
        // goods (a byte, a reserved byte after it).
        return std::vector<RecordField>{{0, 1}, {2, 2}, {4, 2}, {6, 1}};
    }
    return std::nullopt;
}

FormDialog::FormDialog(Form form, std::vector<RecordField> fields, std::uint8_t* record)
    : form_(std::move(form)), fields_(std::move(fields)), record_(record), bindings_(form_.items.size()) {
    std::size_t groups = 0;
    // The type of the run of input items being walked; a window's type
    // while there is none, since no item has it.
    FormItemType runType = FormItemType::window;
    unsigned place = 0;
    std::vector<Binding> found(form_.items.size());
    for (std::size_t i = 0; i < form_.items.size(); ++i) {
        const FormRecord& item = form_.items[i];
        if (!item.isInput()) {
            runType = FormItemType::window;
            continue;
        }
        if (runType != item.kind()) {
            runType = item.kind();
            ++groups;
            place = 0;
        }
        found[i] = {true, groups - 1, place++};
    }
    if (fields_.empty() && record_ == nullptr) {
        return;  // shown only
    }
    if (record_ == nullptr) {
        throw FormError("the dialog has no record to edit");
    }
    if (groups != fields_.size()) {
        throw FormError("the form has " + std::to_string(groups) + " groups of input items, the record " +
                        std::to_string(fields_.size()) + " fields");
    }
    for (std::size_t i = 0; i < found.size(); ++i) {
        const Binding& binding = found[i];
        if (binding.bound && form_.items[i].kind() == FormItemType::checkBox &&
            binding.place >= fields_[binding.field].width * 8) {
            throw FormError("item " + std::to_string(i + 1) + " would be bit " + std::to_string(binding.place) +
                            " of a field of " + std::to_string(fields_[binding.field].width) + " bytes");
        }
    }
    bindings_ = std::move(found);
}

std::uint32_t FormDialog::fieldValue(std::size_t field) const {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < fields_[field].width; ++i) {
        value |= std::uint32_t{record_[fields_[field].offset + i]} << (8 * i);
    }
    return value;
}

void FormDialog::setFieldValue(std::size_t field, std::uint32_t value) {
    for (std::size_t i = 0; i < fields_[field].width; ++i) {
        record_[fields_[field].offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

bool FormDialog::isOn(std::size_t item) const {
    const Binding& binding = bindings_.at(item);
    if (!binding.bound) {
        return false;
    }
    const std::uint32_t value = fieldValue(binding.field);
    if (form_.items[item].kind() == FormItemType::radioButton) {
        return value == binding.place;
    }
    return ((value >> binding.place) & 1u) != 0;
}

std::optional<std::uint16_t> FormDialog::press(std::uint16_t key) {
    if (key == escapeKey) {
        return dialogCancel;
    }
    for (std::size_t i = 0; i < form_.items.size(); ++i) {
        const FormRecord& item = form_.items[i];
        if (item.hotKey != key || key == 0) {
            continue;
        }
        if (item.kind() == FormItemType::button) {
            return item.id;
        }
        const Binding& binding = bindings_[i];
        if (!binding.bound || item.isFixed()) {
            continue;
        }
        if (item.kind() == FormItemType::checkBox) {
            setFieldValue(binding.field, fieldValue(binding.field) ^ (1u << binding.place));
        } else if (item.kind() == FormItemType::radioButton) {
            setFieldValue(binding.field, binding.place);
        }
    }
    return std::nullopt;
}

std::string FormDialog::screen() const {
    const std::size_t width = form_.window.w;
    const std::size_t height = form_.window.h;
    std::vector<std::vector<std::string>> cells(height + 2, std::vector<std::string>(width + 2, " "));
    for (std::size_t column = 1; column <= width; ++column) {
        cells[0][column] = "─";
        cells[height + 1][column] = "─";
    }
    for (std::size_t row = 1; row <= height; ++row) {
        cells[row][0] = "│";
        cells[row][width + 1] = "│";
    }
    cells[0][0] = "┌";
    cells[0][width + 1] = "┐";
    cells[height + 1][0] = "└";
    cells[height + 1][width + 1] = "┘";

    std::vector<std::string> title = labelCells(" " + form_.window.label + " ");
    if (title.size() > width) {
        title.resize(width);
    }
    const std::size_t titleStart = 1 + (width - title.size()) / 2;
    std::copy(title.begin(), title.end(), cells[0].begin() + static_cast<std::ptrdiff_t>(titleStart));

    for (std::size_t i = 0; i < form_.items.size(); ++i) {
        const FormRecord& item = form_.items[i];
        if (item.y >= height || item.x >= width) {
            continue;
        }
        std::vector<std::string> shown;
        const std::vector<std::string> label = labelCells(item.label);
        switch (item.kind()) {
            case FormItemType::checkBox: {
                const char* mark = item.isFixed() ? (isOn(i) ? "{x} " : "{ } ") : (isOn(i) ? "[x] " : "[ ] ");
                shown = cellsOf(mark);
                break;
            }
            case FormItemType::radioButton: shown = cellsOf(isOn(i) ? "(*) " : "( ) "); break;
            case FormItemType::button: shown = cellsOf("["); break;
            default: break;
        }
        shown.insert(shown.end(), label.begin(), label.end());
        if (item.kind() == FormItemType::button) {
            shown.emplace_back("]");
        }
        const std::size_t room = std::min<std::size_t>(item.w, width - item.x);
        if (shown.size() > room) {
            shown.resize(room);
        }
        std::copy(shown.begin(), shown.end(), cells[item.y + 1].begin() + static_cast<std::ptrdiff_t>(item.x + 1));
    }

    std::string out;
    for (const auto& row : cells) {
        for (const std::string& cell : row) {
            out += cell;
        }
        out += '\n';
    }
    return out;
}

}  // namespace korpus
