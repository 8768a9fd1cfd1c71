// The item list as the host shows it, as text.
#pragma once

#include <string>

#include "emulator/core/document.h"

namespace korpus {

// Name, symbol, index, quantity, price and line value of every line, the
// empty tail left out; Polish letters in UTF-8.
std::string itemTable(const Document& document);

// A message text for a terminal: the host's display marks dropped, line
// breaks kept, tabs as blanks.
std::string displayText(const std::string& utf8);

}  // namespace korpus
