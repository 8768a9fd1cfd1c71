#include "merge/line_event_hook.h"

#include "frame/lifecycle.h"

namespace scalarka {

// Placeholder until merging lands: every event goes straight to the handler
// the hook replaced.
std::int32_t lineEventHook(std::intptr_t eventCode, std::intptr_t documentKind, std::int32_t* lineCount,
                           ItemRecord** lines, std::intptr_t arg5, std::intptr_t eventArgument, std::intptr_t arg7,
                           std::intptr_t arg8, std::intptr_t arg9, std::intptr_t arg10, std::intptr_t arg11) {
    // A table without a handler of its own had nothing to hand on to.
    if (previousLineHandler == nullptr) {
        return 0;
    }
    return previousLineHandler(eventCode, documentKind, lineCount, lines, arg5, eventArgument, arg7, arg8, arg9,
                               arg10, arg11);
}

}  // namespace scalarka
