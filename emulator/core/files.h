// The files the host keeps open for the plug-in, and the host's file holder.
//
// The host's file open hands out a C stream; the same stream is what its file
// read, write and close take. The host remembers every stream it handed out,
// so that a stream it never opened (or already closed) is refused instead of
// being passed to the C library, and so that tests can see what is left open.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace korpus {

// The host's file-holder methods (22562, 22567, 22563) are methods of a C++
// class of the host: on i386 the holder travels in ECX and the callee pops its
// stack arguments; on x86_64 the holder is simply the first argument. GCC
// applies thiscall to plain functions as asked but warns that it is meant for
// class methods.
#if defined(__i386__)
#define KORPUS_THISCALL __attribute__((thiscall))
#else
#define KORPUS_THISCALL
#endif

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattributes"
using HolderConstructFn = void* KORPUS_THISCALL(void* holder, void* handle);
using HolderTakeStreamFn = void* KORPUS_THISCALL(void* holder);
using HolderDestroyFn = void KORPUS_THISCALL(void* holder);
#pragma GCC diagnostic pop

// The caller's storage for one holder: 24 bytes, aligned for a pointer.
inline constexpr std::size_t fileHolderSize = 24;

struct OpenFile {
    std::filesystem::path path;
    std::string mode;
    std::uint64_t serial;  // 1 for the first file this host opened, and so on
};

class FileTable {
   public:
    FileTable() = default;
    ~FileTable() { closeAll(); }
    FileTable(const FileTable&) = delete;
    FileTable& operator=(const FileTable&) = delete;

    // Takes charge of an open stream; returns its serial number.
    std::uint64_t add(std::FILE* stream, std::filesystem::path path, std::string mode);
    // The record of a stream this table holds open, or null.
    const OpenFile* find(const void* stream) const;
    // Closes a stream this table holds open; false (and nothing closed) for
    // any other value.
    bool close(const void* stream);
    void closeAll();

    std::size_t size() const { return files_.size(); }
    // File names of the streams still open, for failure messages.
    std::vector<std::string> names() const;

   private:
    std::map<const void*, OpenFile> files_;
    std::uint64_t nextSerial_ = 1;
};

}  // namespace korpus
