// The host services that talk with the user and keep the plug-ins' settings:
// the dialog drawn from a form (52026), the form handler lookup (40101), the
// plug-in INI file (41399), the notice box (52023) and the formatted message
// box (35802).
#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <fstream>

#include "emulator/core/form.h"
#include "emulator/core/host.h"
#include "emulator/core/text.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <ini.h>
#endif

namespace korpus {
namespace {

Host& host() { return *Host::current(); }

std::string formatted(const char* format, va_list values) {
    if (format == nullptr) {
        return {};
    }
    va_list measuring;
    va_copy(measuring, values);
    const int length = std::vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    if (length < 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, values);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

// ---- 52026 dialog service ----

// Shows the form, plays the user's keys from the configuration against it
// and answers how the dialog was closed. A form the host cannot draw, or
// whose input items do not fit the record it knows for the dialog, is not
// shown; the answer is then 0, which no button gives.
std::int32_t dialogService(const void* form, std::int32_t dialogId, void* record, std::int32_t reserved) {
    Host& h = host();
    ShownDialog shown;
    shown.dialogId = dialogId;
    shown.form = form;
    std::string formName = "form";
    bool drawn = false;
    try {
        Form parsed = parseForm(form);
        shown.title = shownLabel(parsed.window.label);
        formName = "form \"" + shown.title + "\"";
        if (parsed.window.id != static_cast<std::uint16_t>(dialogId)) {
            throw FormError("the window's id is " + std::to_string(parsed.window.id) + ", the dialog's " +
                            std::to_string(dialogId));
        }
        const std::optional<std::vector<RecordField>> layout = dialogRecordLayout(dialogId);
        if (!layout) {
            throw FormError("the host knows no record of dialog " + std::to_string(dialogId));
        }
        if (record == nullptr) {
            throw FormError("no record to edit");
        }
        FormDialog dialog(std::move(parsed), *layout, static_cast<std::uint8_t*>(record));
        shown.openingScreen = dialog.screen();
        std::optional<std::uint16_t> closed;
        std::vector<std::string>& keys = h.config().dialogKeys;
        while (!closed) {
            std::string key = "Esc";  // the user who has nothing more to do
            if (!keys.empty()) {
                key = keys.front();
                keys.erase(keys.begin());
            } else if (h.config().dialogKeyReader) {
                key = h.config().dialogKeyReader(dialog.screen());
            }
            shown.keys.push_back(key);
            const std::optional<std::uint16_t> code = keyCode(key);
            if (!code) {
                h.trace().note("dialog " + std::to_string(dialogId) + ": the keyboard has no key " + key);
                continue;
            }
            closed = dialog.press(*code);
        }
        shown.closingScreen = dialog.screen();
        shown.result = *closed;
        drawn = true;
    } catch (const FormError& error) {
        h.trace().note("dialog " + std::to_string(dialogId) + " not shown: " + error.what());
        shown.result = 0;
    }
    std::string keysPressed;
    for (const std::string& key : shown.keys) {
        keysPressed += (keysPressed.empty() ? "" : " ") + key;
    }
    h.trace().call(
        52026, "dialogService",
        {{formName}, traceNumber(dialogId), tracePointer(record, "record"), traceNumber(reserved)},
        traceHex(static_cast<std::uint32_t>(shown.result)).shown + (drawn ? " (keys: " + keysPressed + ")" : ""));
    const std::int32_t result = shown.result;
    if (drawn) {
        h.dialogs().push_back(std::move(shown));
    }
    return result;
}

// ---- 40101 handler lookup ----

// The handler the lookup hands out: takes what its caller passes (the first
// four pointer-wide arguments are kept) and answers as configured.
std::int32_t formHandler(std::intptr_t first, std::intptr_t second, std::intptr_t third, std::intptr_t fourth) {
    Host* h = Host::current();
    if (h == nullptr) {
        return 0;
    }
    h->formHandlerCalls().push_back({{first, second, third, fourth}});
    const std::int32_t result = h->config().formHandlerResult;
    h->trace().note("form handler(" + std::to_string(first) + ", " + std::to_string(second) + ", " +
                    std::to_string(third) + ", " + std::to_string(fourth) + ") -> " + std::to_string(result));
    return result;
}

CodeAddress handlerLookup() {
    host().trace().call(40101, "handlerLookup", {}, "formHandler");
    return serviceAddress(&formHandler);
}

// ---- 41399 INI service ----

constexpr std::int32_t iniRead = 8;
constexpr std::int32_t iniWrite = 9;

std::filesystem::path iniPath(const char* file) {
    const std::filesystem::path name(file);
    return name.is_absolute() ? name : host().directory() / name;
}

#if defined(_WIN32)

// The system's own INI functions, with the full path so that they do not look
// in the Windows directory.
std::optional<std::string> readIniValue(const std::filesystem::path& path, const char* section, const char* key) {
    static const char missing[] = "\x01\x02(missing)";
    std::string buffer(4096, '\0');
    const DWORD length = GetPrivateProfileStringA(section, key, missing, buffer.data(),
                                                  static_cast<DWORD>(buffer.size()), path.string().c_str());
    buffer.resize(length);
    if (buffer == missing) {
        return std::nullopt;
    }
    return buffer;
}

bool writeIniValue(const std::filesystem::path& path, const char* section, const char* key, const std::string& value) {
    return WritePrivateProfileStringA(section, key, value.c_str(), path.string().c_str()) != 0;
}

#else

bool sameName(std::string_view left, std::string_view right) {
    return left.size() == right.size() &&
           std::equal(left.begin(), left.end(), right.begin(),
                      [](unsigned char a, unsigned char b) { return std::tolower(a) == std::tolower(b); });
}

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Names compare without regard to case, as the host's own INI functions do;
// the first matching key counts.
struct IniLookup {
    std::string_view section;
    std::string_view key;
    std::optional<std::string> value;
};

int onIniEntry(void* user, const char* section, const char* name, const char* value) {
    auto* lookup = static_cast<IniLookup*>(user);
    if (!lookup->value && sameName(section, lookup->section) && sameName(name, lookup->key)) {
        lookup->value = value;
    }
    return 1;
}

std::optional<std::string> readIniValue(const std::filesystem::path& path, const char* section, const char* key) {
    IniLookup lookup{section, key, std::nullopt};
    ini_parse(path.string().c_str(), onIniEntry, &lookup);
    return lookup.value;
}

// Sets one key and keeps every other line of the file as it was: the key's
// line is replaced where it stands, a new key goes after the last line of its
// section, a new section at the end.
bool writeIniValue(const std::filesystem::path& path, const char* section, const char* key, const std::string& value) {
    std::string content;
    if (std::ifstream in{path, std::ios::binary | std::ios::ate}) {
        content.resize(static_cast<std::size_t>(in.tellg()));
        in.seekg(0);
        in.read(content.data(), static_cast<std::streamsize>(content.size()));
    }
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < content.size();) {
        const std::size_t end = content.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(content.substr(start));
            break;
        }
        lines.push_back(content.substr(start, end - start));
        start = end + 1;
    }
    const bool windowsLines = std::any_of(lines.begin(), lines.end(),
                                          [](const std::string& line) { return !line.empty() && line.back() == '\r'; });
    const std::string ending = windowsLines ? "\r" : "";
    const std::string entry = std::string(key) + "=" + value + ending;

    const auto header = [](std::string_view line) -> std::optional<std::string_view> {
        line = trimmed(line);
        if (line.size() >= 2 && line.front() == '[') {
            const std::size_t close = line.find(']');
            if (close != std::string_view::npos) {
                return trimmed(line.substr(1, close - 1));
            }
        }
        return std::nullopt;
    };
    std::optional<std::size_t> sectionLine;
    for (std::size_t i = 0; i < lines.size() && !sectionLine; ++i) {
        const auto name = header(lines[i]);
        if (name && sameName(*name, section)) {
            sectionLine = i;
        }
    }
    if (!sectionLine) {
        if (!lines.empty() && !trimmed(lines.back()).empty()) {
            lines.push_back(ending);
        }
        lines.push_back("[" + std::string(section) + "]" + ending);
        lines.push_back(entry);
    } else {
        std::size_t lastInSection = *sectionLine;
        bool replaced = false;
        for (std::size_t i = *sectionLine + 1; i < lines.size() && !header(lines[i]); ++i) {
            const std::string_view line = trimmed(lines[i]);
            if (line.empty()) {
                continue;
            }
            lastInSection = i;
            if (line.front() == ';' || line.front() == '#') {
                continue;
            }
            const std::size_t equals = line.find('=');
            if (equals != std::string_view::npos && sameName(trimmed(line.substr(0, equals)), key)) {
                lines[i] = entry;
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(lastInSection + 1), entry);
        }
    }
    std::ofstream out{path, std::ios::binary | std::ios::trunc};
    for (const std::string& line : lines) {
        out << line << '\n';
    }
    return static_cast<bool>(out.flush());
}

#endif

// Read: the stored text is parsed with the format into the addresses of the
// list; 0 when something was read, 1 when the key is missing or its text does
// not fit the format. Write: the values of the list are formatted and stored;
// 0 when stored, 1 when the file could not be written.
std::int32_t iniService(const char* file, std::int32_t operation, const char* section, const char* key,
                        const char* format, va_list values) {
    Host& h = host();
    std::int32_t result = 1;
    TraceValue outcome{"nothing done"};
    if (file == nullptr || section == nullptr || key == nullptr || format == nullptr) {
        outcome = {"incomplete call"};
    } else if (operation == iniRead) {
        const std::optional<std::string> stored = readIniValue(iniPath(file), section, key);
        if (!stored) {
            outcome = {"missing"};
        } else {
            const int assigned = std::vsscanf(stored->c_str(), format, values);
            result = assigned >= 1 ? 0 : 1;
            outcome = {"read " + traceString(stored->c_str()).shown};
        }
    } else if (operation == iniWrite) {
        const std::string text = formatted(format, values);
        result = writeIniValue(iniPath(file), section, key, text) ? 0 : 1;
        outcome = {(result == 0 ? "wrote " : "could not write ") + traceString(text.c_str()).shown};
    } else {
        outcome = {"unknown operation"};
    }
    h.trace().call(41399, "iniService",
                   {traceString(file), traceNumber(operation), traceString(section), traceString(key),
                    traceString(format), outcome},
                   std::to_string(result));
    return result;
}

// ---- 52023 notice box ----

std::int32_t noticeBox(std::int32_t kind, std::int32_t* flag, std::int32_t reserved, const char* text) {
    Host& h = host();
    const std::string before = flag != nullptr ? std::to_string(*flag) : "null";
    h.messages().push_back({"noticeBox", "", text != nullptr ? toUtf8(text) : ""});
    if (flag != nullptr && h.config().noticeFlagAnswer) {
        *flag = *h.config().noticeFlagAnswer;
    }
    std::string after;
    if (flag != nullptr && std::to_string(*flag) != before) {
        after = " (flag left " + std::to_string(*flag) + ")";
    }
    h.trace().call(52023, "noticeBox",
                   {traceHex(static_cast<std::uint32_t>(kind)),
                    {flag != nullptr ? "&flag=" + before : "null"},
                    traceNumber(reserved),
                    traceString(text)},
                   "0" + after);
    return 0;
}

// ---- 35802 formatted message box ----

std::int32_t formattedMessageBox(std::int32_t kind, const char* title, const char* format, std::int32_t style,
                                 std::int32_t icon, ...) {
    Host& h = host();
    va_list values;
    va_start(values, icon);
    const std::string text = formatted(format, values);
    va_end(values);
    h.messages().push_back({"formattedMessageBox", title != nullptr ? toUtf8(title) : "", toUtf8(text)});
    h.trace().call(35802, "formattedMessageBox",
                   {traceNumber(kind),
                    traceString(title),
                    traceString(format),
                    traceHex(static_cast<std::uint32_t>(style)),
                    traceHex(static_cast<std::uint32_t>(icon)),
                    {"shown " + traceString(text.c_str()).shown}},
                   "0");
    return 0;
}

}  // namespace

void registerDialogServices(ServiceMap& services) {
    services[52026] = serviceAddress(&dialogService);
    services[40101] = serviceAddress(&handlerLookup);
    services[41399] = serviceAddress(&iniService);
    services[52023] = serviceAddress(&noticeBox);
    services[35802] = serviceAddress(&formattedMessageBox);
}

}  // namespace korpus
