#include "options/options_dialog.h"

namespace scalarka {

// Placeholder until the dialog lands.
std::int32_t runOptionsDialog(std::int32_t /*argument*/) { return 0; }

}  // namespace scalarka
