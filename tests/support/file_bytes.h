// A whole file as bytes, for tests that look at what the host left on disk.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace korpus::testing {

// Empty when the file does not exist.
inline std::string fileBytes(const std::filesystem::path& path) {
    std::string bytes;
    if (std::ifstream in{path, std::ios::binary | std::ios::ate}) {
        bytes.resize(static_cast<std::size_t>(in.tellg()));
        in.seekg(0);
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    return bytes;
}

}  // namespace korpus::testing
