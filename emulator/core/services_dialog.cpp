#include "emulator/core/host.h"

namespace korpus {

void registerDialogServices(ServiceMap& /*services*/) {}

}  // namespace korpus
