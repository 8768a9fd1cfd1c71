#include "options/install_notice.h"

namespace scalarka {

// Placeholder until the notice lands.
std::int32_t showInstallNotice() { return 0; }

}  // namespace scalarka
