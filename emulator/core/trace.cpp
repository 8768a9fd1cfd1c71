#include "emulator/core/trace.h"

#include <cstdio>

#include "emulator/core/text.h"

namespace korpus {

TraceValue traceNumber(std::int64_t value) { return {std::to_string(value)}; }

TraceValue traceHex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return {text};
}

TraceValue traceString(const char* mazovia) {
    if (mazovia == nullptr) {
        return {"null"};
    }
    return {"\"" + traceText(mazovia) + "\""};
}

TraceValue tracePointer(const void* address, std::string_view name) {
    if (address == nullptr) {
        return {"null"};
    }
    if (!name.empty()) {
        return {std::string(name)};
    }
    return {"&"};
}

void Trace::call(std::uint16_t ordinal, std::string_view service, const std::vector<TraceValue>& arguments,
                 std::string_view result) {
    std::string line = std::to_string(ordinal) + " " + std::string(service) + "(";
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (i > 0) {
            line += ", ";
        }
        line += arguments[i].shown;
    }
    line += ")";
    if (!result.empty()) {
        line += " -> ";
        line += result;
    }
    lines_.push_back(std::move(line));
}

void Trace::note(const std::string& line) {
    std::string marked = "-- ";
    marked += line;
    lines_.push_back(std::move(marked));
}

std::vector<std::string> Trace::callsOf(std::string_view service) const {
    std::vector<std::string> found;
    for (const std::string& line : lines_) {
        const std::size_t space = line.find(' ');
        if (space != std::string::npos && line.compare(space + 1, service.size(), service) == 0 &&
            line.size() > space + 1 + service.size() && line[space + 1 + service.size()] == '(') {
            found.push_back(line);
        }
    }
    return found;
}

std::string Trace::text() const {
    std::string all;
    for (const std::string& line : lines_) {
        all += line;
        all += '\n';
    }
    return all;
}

}  // namespace korpus
