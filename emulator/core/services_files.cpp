#include "emulator/core/host.h"

namespace korpus {

void registerFileServices(ServiceMap& /*services*/) {}

}  // namespace korpus
