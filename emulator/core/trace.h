// The readable record of every call the plug-in made into the host.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korpus {

// One argument as the trace shows it.
struct TraceValue {
    std::string shown;
};
TraceValue traceNumber(std::int64_t value);
TraceValue traceHex(std::uint64_t value);
TraceValue traceString(const char* mazovia);  // "UTF-8 text", or null
TraceValue tracePointer(const void* address, std::string_view name = {});

class Trace {
   public:
    // "52028 messageBox("Uwaga", "Łączenie takich samych pozycji...", 512) -> 0"
    void call(std::uint16_t ordinal, std::string_view service, const std::vector<TraceValue>& arguments,
              std::string_view result = {});
    void note(const std::string& line);  // host-side events: the plug-in loaded, a key pressed
    const std::vector<std::string>& lines() const { return lines_; }
    // Lines of one service only, by its name.
    std::vector<std::string> callsOf(std::string_view service) const;
    std::string text() const;  // every line, each ending in \n
    void clear() { lines_.clear(); }

   private:
    std::vector<std::string> lines_;
};

}  // namespace korpus
