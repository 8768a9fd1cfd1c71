#include "emulator/core/document.h"

namespace korpus {

void Document::setLines(const std::vector<scalarka::ItemRecord>& items, std::size_t emptyTail) {
    lines = items;
    lines.resize(items.size() + emptyTail, scalarka::ItemRecord{});
    pointers.clear();
    for (scalarka::ItemRecord& line : lines) {
        pointers.push_back(&line);
    }
    lineCount = static_cast<std::int32_t>(lines.size());
}

}  // namespace korpus
