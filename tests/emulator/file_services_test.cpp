// The host's file services: open in the host's directory, the file holder
// and its hand-over of the stream, read, write and close, and that nothing
// stays open behind the caller's back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>

#include "tests/emulator/service_call.h"

namespace korpus {
namespace {

using testing::serviceOf;

using FileOpenFn = void*(const char*, const char*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                         std::int32_t, std::int32_t);
using FileTransferFn = std::int32_t(void*, std::int32_t, std::int32_t, void*);
using FileWriteFn = std::int32_t(const void*, std::int32_t, std::int32_t, void*);
using FileCloseFn = std::int32_t(void*);

constexpr std::int32_t denyNone = 64;

class FileServices : public ::testing::Test {
   protected:
    explicit FileServices(HostConfig config = {}) : host(std::move(config)) {}

    void* open(const char* name, const char* mode, std::int32_t sharing = denyNone) {
        return serviceOf<FileOpenFn>(host, 52534)(name, mode, sharing, 0, -1, 0, 0, 0, 0);
    }
    void* construct(void* holder, void* handle) { return serviceOf<HolderConstructFn>(host, 22562)(holder, handle); }
    void* take(void* holder) { return serviceOf<HolderTakeStreamFn>(host, 22567)(holder); }
    void destroy(void* holder) { serviceOf<HolderDestroyFn>(host, 22563)(holder); }
    std::int32_t read(void* buffer, std::int32_t size, std::int32_t count, void* stream) {
        return serviceOf<FileTransferFn>(host, 52307)(buffer, size, count, stream);
    }
    std::int32_t write(const void* buffer, std::int32_t size, std::int32_t count, void* stream) {
        return serviceOf<FileWriteFn>(host, 52308)(buffer, size, count, stream);
    }
    std::int32_t close(void* stream) { return serviceOf<FileCloseFn>(host, 52305)(stream); }

    // What the plug-in does: open, build the holder, take the stream out and
    // destroy the holder.
    void* openStream(const char* name, const char* mode) {
        alignas(void*) unsigned char holder[fileHolderSize];
        construct(holder, open(name, mode));
        void* stream = take(holder);
        destroy(holder);
        return stream;
    }

    void putFile(const char* name, const std::string& bytes) {
        std::ofstream(host.directory() / name, std::ios::binary) << bytes;
    }
    std::string fileBytes(const char* name) {
        std::ifstream in(host.directory() / name, std::ios::binary | std::ios::ate);
        std::string bytes(static_cast<std::size_t>(std::max<std::streamoff>(in.tellg(), 0)), '\0');
        in.seekg(0).read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return bytes;
    }

    void expectNothingOpen() {
        EXPECT_EQ(host.openStreams(), 0u) << "still open: " << ::testing::PrintToString(host.files().names());
    }

    Host host;
};

TEST_F(FileServices, WritesAndReadsAFileInTheHostsDirectory) {
    void* out = openStream("Scalarka.dat", "wb");
    ASSERT_NE(out, nullptr);
    const unsigned char record[8] = {0x05, 0x00, 0x39, 0x00, 0x00, 0x00, 0x01, 0x00};
    EXPECT_EQ(write(record, 8, 1, out), 1);
    EXPECT_EQ(close(out), 0);
    EXPECT_EQ(fileBytes("Scalarka.dat"), std::string(reinterpret_cast<const char*>(record), 8));

    void* in = openStream("Scalarka.dat", "rb");
    ASSERT_NE(in, nullptr);
    unsigned char back[10] = {};
    EXPECT_EQ(read(back, 1, 10, in), 8) << "a short file reads short";
    EXPECT_EQ(std::memcmp(back, record, 8), 0);
    EXPECT_EQ(read(back, 1, 8, in), 0) << "read past the end";
    EXPECT_EQ(close(in), 0);
    expectNothingOpen();
}

TEST_F(FileServices, MissingFileDoesNotOpen) {
    EXPECT_EQ(open("Scalarka.dat", "rb"), nullptr);
    EXPECT_EQ(host.trace().callsOf("fileOpen"),
              std::vector<std::string>{
                  "52534 fileOpen(\"Scalarka.dat\", \"rb\", 64, 0, -1, 0, 0, 0, 0) -> null (cannot open)"});
    expectNothingOpen();
}

TEST_F(FileServices, TwoOpensOfTheSameFileShareIt) {
    putFile("Scalarka.dat", "abcdefgh");
    void* writer = open("Scalarka.dat", "r+b");
    void* reader = open("Scalarka.dat", "rb");
    ASSERT_NE(writer, nullptr);
    ASSERT_NE(reader, nullptr) << "a second open of a file opened 'deny none' was refused";
    EXPECT_NE(writer, reader);
    EXPECT_EQ(host.openStreams(), 2u);
    EXPECT_EQ(write("WXYZ", 1, 4, writer), 4);
    char seen[9] = {};
    EXPECT_EQ(read(seen, 1, 8, reader), 8);
    EXPECT_STREQ(seen, "WXYZefgh") << "what one opener wrote is not there for the other";
    EXPECT_EQ(close(writer), 0);
    EXPECT_EQ(close(reader), 0);
    expectNothingOpen();
}

struct RefusedOpen {
    const char* name;
    const char* file;
    const char* mode;
    std::int32_t sharing;
};

class FileOpenRefuses : public FileServices, public ::testing::WithParamInterface<RefusedOpen> {};

TEST_P(FileOpenRefuses, AndCreatesNothing) {
    const RefusedOpen& c = GetParam();
    EXPECT_EQ(open(c.file, c.mode, c.sharing), nullptr);
    expectNothingOpen();
    EXPECT_TRUE(std::filesystem::is_empty(host.directory())) << "a file was created";
}

INSTANTIATE_TEST_SUITE_P(Opens, FileOpenRefuses,
                         ::testing::Values(RefusedOpen{"NullName", nullptr, "wb", denyNone},
                                           RefusedOpen{"EmptyName", "", "wb", denyNone},
                                           RefusedOpen{"ParentDirectory", "../Scalarka.dat", "wb", denyNone},
                                           RefusedOpen{"SubDirectory", "sub/Scalarka.dat", "wb", denyNone},
                                           RefusedOpen{"BackslashPath", "sub\\Scalarka.dat", "wb", denyNone},
                                           RefusedOpen{"DrivePath", "C:Scalarka.dat", "wb", denyNone},
                                           RefusedOpen{"NullMode", "Scalarka.dat", nullptr, denyNone},
                                           RefusedOpen{"UnknownMode", "Scalarka.dat", "x", denyNone},
                                           RefusedOpen{"ModeTwice", "Scalarka.dat", "wbb", denyNone},
                                           RefusedOpen{"ModeWithLetters", "Scalarka.dat", "wbx", denyNone},
                                           RefusedOpen{"SharingZero", "Scalarka.dat", "wb", 0},
                                           RefusedOpen{"SharingUnknown", "Scalarka.dat", "wb", 0x41}),
                         testing::CaseName());

// The holder in the caller's 24 bytes, with guard bytes around them.
struct GuardedHolder {
    alignas(void*) unsigned char before[16];
    unsigned char holder[fileHolderSize];
    unsigned char after[16];
};

class FileHolder : public FileServices {
   protected:
    FileHolder() {
        putFile("Scalarka.dat", "12345678");
        std::memset(&storage, 0xC3, sizeof storage);
    }
    void expectGuardsKept() {
        for (const unsigned char byte : storage.before) {
            EXPECT_EQ(byte, 0xC3) << "the holder wrote before its 24 bytes";
        }
        for (const unsigned char byte : storage.after) {
            EXPECT_EQ(byte, 0xC3) << "the holder wrote beyond its 24 bytes";
        }
    }
    GuardedHolder storage;
    void* holder = storage.holder;
};

TEST_F(FileHolder, HandsTheStreamOverAndThenClosesNothing) {
    void* handle = open("Scalarka.dat", "rb");
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(construct(holder, handle), holder);
    void* stream = take(holder);
    EXPECT_EQ(stream, handle);
    destroy(holder);
    ASSERT_EQ(host.openStreams(), 1u) << "destroying the holder closed a stream it had handed over";
    char bytes[8];
    EXPECT_EQ(read(bytes, 1, 8, stream), 8);
    EXPECT_EQ(close(stream), 0);
    expectNothingOpen();
    expectGuardsKept();
}

TEST_F(FileHolder, ClosesTheStreamItStillOwns) {
    construct(holder, open("Scalarka.dat", "rb"));
    destroy(holder);
    expectNothingOpen();
    EXPECT_EQ(host.trace().callsOf("holderDestroy"),
              std::vector<std::string>{"22563 holderDestroy(holder) -> closes stream 1"});
    expectGuardsKept();
}

TEST_F(FileHolder, GivesTheStreamOutOnce) {
    construct(holder, open("Scalarka.dat", "rb"));
    void* stream = take(holder);
    EXPECT_NE(stream, nullptr);
    EXPECT_EQ(take(holder), nullptr);
    destroy(holder);
    EXPECT_EQ(close(stream), 0);
    expectNothingOpen();
}

TEST_F(FileHolder, FromAFailedOpenHoldsNothing) {
    EXPECT_EQ(construct(holder, open("Missing.dat", "rb")), holder);
    EXPECT_EQ(take(holder), nullptr);
    destroy(holder);
    expectNothingOpen();
    expectGuardsKept();
}

TEST_F(FileHolder, DestroyedTwiceClosesOnce) {
    construct(holder, open("Scalarka.dat", "rb"));
    destroy(holder);
    void* other = open("Scalarka.dat", "rb");
    ASSERT_NE(other, nullptr);
    destroy(holder);
    EXPECT_EQ(host.openStreams(), 1u) << "the second destruction closed a stream that is not the holder's";
    EXPECT_EQ(take(holder), nullptr) << "a destroyed holder gave out a stream";
    EXPECT_EQ(close(other), 0);
}

TEST_F(FileHolder, DoesNotCloseAStreamClosedBehindItsBack) {
    void* handle = open("Scalarka.dat", "rb");
    construct(holder, handle);
    EXPECT_EQ(close(handle), 0);
    void* next = open("Scalarka.dat", "rb");  // may well reuse the address
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(take(holder), nullptr);
    destroy(holder);
    EXPECT_EQ(host.openStreams(), 1u) << "the holder closed a later stream";
    EXPECT_EQ(close(next), 0);
}

class ThrowingFileHolder : public FileServices {
   protected:
    static HostConfig throwing() {
        HostConfig config;
        config.holderTakeStreamThrows = true;
        return config;
    }
    ThrowingFileHolder() : FileServices(throwing()) { putFile("Scalarka.dat", "12345678"); }
};

TEST_F(ThrowingFileHolder, TakeStreamThrowsAndTheHolderKeepsTheStreamForItsDestruction) {
    alignas(void*) unsigned char holder[fileHolderSize];
    construct(holder, open("Scalarka.dat", "rb"));
    EXPECT_THROW(take(holder), std::runtime_error);
    EXPECT_EQ(host.openStreams(), 1u);
    destroy(holder);
    expectNothingOpen();
}

TEST_F(FileServices, ReadsWritesAndClosesOnlyItsOwnOpenStreams) {
    putFile("Scalarka.dat", "12345678");
    void* stream = openStream("Scalarka.dat", "r+b");
    ASSERT_NE(stream, nullptr);
    char buffer[8];
    int stranger = 0;
    EXPECT_EQ(read(buffer, 1, 8, &stranger), 0);
    EXPECT_EQ(write(buffer, 1, 8, &stranger), 0);
    EXPECT_EQ(read(buffer, 1, 8, nullptr), 0);
    EXPECT_EQ(read(nullptr, 1, 8, stream), 0);
    EXPECT_EQ(read(buffer, 0, 8, stream), 0);
    EXPECT_EQ(read(buffer, 1, -8, stream), 0);
    EXPECT_EQ(write(buffer, -1, 8, stream), 0);
    EXPECT_EQ(close(&stranger), -1);
    EXPECT_EQ(close(stream), 0);
    EXPECT_EQ(close(stream), -1) << "a stream was closed twice";
    EXPECT_EQ(read(buffer, 1, 8, stream), 0) << "a closed stream was read";
    EXPECT_EQ(fileBytes("Scalarka.dat"), "12345678");
    expectNothingOpen();
}

TEST_F(FileServices, TraceFollowsTheStreamByNumber) {
    putFile("Scalarka.dat", "12345678");
    alignas(void*) unsigned char holder[fileHolderSize];
    construct(holder, open("Scalarka.dat", "rb"));
    void* stream = take(holder);
    destroy(holder);
    char buffer[8];
    read(buffer, 1, 8, stream);
    close(stream);
    EXPECT_EQ(
        host.trace().lines(),
        (std::vector<std::string>{"52534 fileOpen(\"Scalarka.dat\", \"rb\", 64, 0, -1, 0, 0, 0, 0) -> stream 1",
                                  "22562 holderConstruct(holder, stream 1) -> holder",
                                  "22567 holderTakeStream(holder) -> stream 1", "22563 holderDestroy(holder)",
                                  "52307 fileRead(buffer, 1, 8, stream 1) -> 8", "52305 fileClose(stream 1) -> 0"}));
}

TEST(FileServicesHostEnd, ClosesWhatThePlugInLeftOpen) {
    std::filesystem::path directory;
    {
        Host host;
        directory = host.directory();
        void* stream = serviceOf<FileOpenFn>(host, 52534)("Left.dat", "wb", denyNone, 0, -1, 0, 0, 0, 0);
        ASSERT_NE(stream, nullptr);
        EXPECT_EQ(host.openStreams(), 1u);
    }
    // The host's own temporary directory goes with it, which on Windows it
    // cannot while a file in it is open.
    EXPECT_FALSE(std::filesystem::exists(directory));
}

}  // namespace
}  // namespace korpus
