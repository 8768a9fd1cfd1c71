// The notice that tells the user the plug-in is installed, and the plug-in's
// settings in the host's INI file.
#pragma once

#include <cstdint>

namespace scalarka {

// INI service operations as the plug-in uses them.
inline constexpr std::int32_t iniRead = 8;
inline constexpr std::int32_t iniWrite = 9;

// The host INI service with the further arguments handed on as one list:
// addresses to read into (iniRead) or values to write (iniWrite). Returns the
// service's result unchanged; for a read, low 16 bits 0 mean the value was read.
std::int32_t pluginIni(const char* file, std::int32_t operation, const char* section, const char* key,
                       const char* format, ...);

// Shows the notice unless the host's plug-in INI says not to. Returns 0.
std::int32_t showInstallNotice();

}  // namespace scalarka
