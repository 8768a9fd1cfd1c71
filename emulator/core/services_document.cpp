#include "emulator/core/host.h"

namespace korpus {

void registerDocumentServices(ServiceMap& /*services*/) {}

}  // namespace korpus
