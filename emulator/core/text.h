// Host texts are Mazovia bytes; people read UTF-8. Conversions both ways.
#pragma once

#include <string>
#include <string_view>

namespace korpus {

// Mazovia bytes to UTF-8. Bytes outside the Polish letters and ASCII are shown
// as \xNN, and so are control bytes, so that the host's display marks stay
// visible in traces ("\x01c", tab stops). Line feeds and tabs become \n, \t.
std::string traceText(std::string_view mazovia);

// Mazovia bytes to UTF-8, keeping control bytes as they are (for screens).
std::string toUtf8(std::string_view mazovia);

// UTF-8 to Mazovia bytes; a character the code page lacks becomes '?'.
std::string toMazovia(std::string_view utf8);

}  // namespace korpus
