// korpus's full-screen mode: the host's item list, operated as a shop
// assistant would.
#pragma once

#include "emulator/core/host.h"

namespace korpus {

// Runs until the user quits; returns the program's exit status.
int runInteractive(Host& host, const std::string& documentName);

}  // namespace korpus
