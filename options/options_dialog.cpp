#include "options/options_dialog.h"

#include "host/host_services.h"
#include "options/merge_options.h"
#include "options/options_form.h"

namespace scalarka {
namespace {

// The host's close code of the OK button; only its low 16 bits count.
constexpr std::uint16_t dialogConfirmed = 0x5001;

}  // namespace

std::int32_t runOptionsDialog(std::int32_t /*argument*/) {
    loadMergeOptions();
    // Price, discount and VAT rate are always compared; the dialog shows them
    // ticked and fixed whatever the file held.
    mergeOptions.comparedAttributes |= alwaysComparedAttributes;
    const std::int32_t closed = hostDialogService(&optionsForm, optionsDialogId, &mergeOptions, 0);
    if ((static_cast<std::uint32_t>(closed) & 0xFFFFu) == dialogConfirmed) {
        saveMergeOptions();
    }
    return 0;
}

}  // namespace scalarka
