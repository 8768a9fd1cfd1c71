// The options record and its data file "Scalarka.dat": what a load makes of
// each kind of file, what a save writes, and that the host's file holder is
// destroyed on every way out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/host_services.h"
#include "host/host_table.h"
#include "options/merge_options.h"
#include "tests/plugin/fake_host.h"
#include "tests/plugin/host_table_state.h"
#include "tests/plugin/test_document.h"

namespace scalarka {
namespace {

using testing::callList;
using testing::fakeHost;
using testing::PrintTo;

const std::string fileName = "Scalarka.dat";
const std::string readError =
    R"(messageBox("Uwaga", "Błąd podczas czytania opcji raportu!\n Niektóre opcje zostaną zresetowane!", 1))";
const std::string writeError =
    R"(messageBox("Uwaga", "Nie można otworzyc pliku z opcjami raportu!\n Niektóre opcje nie zostaną zapisane!", 1))";

std::string hexBytes(const void* data, std::size_t size) {
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02X", static_cast<const unsigned char*>(data)[i]);
        text += (i == 0 ? "" : " ") + std::string(byte);
    }
    return text;
}
std::string recordBytes() { return hexBytes(&mergeOptions, sizeof mergeOptions); }
std::string bytes(std::initializer_list<unsigned char> values) { return std::string(values.begin(), values.end()); }

class OptionsFile : public ::testing::Test {
   protected:
    void SetUp() override {
        testing::installFakeHost();
        // Whatever was in memory before must not survive a load.
        std::memset(&mergeOptions, 0xEE, sizeof mergeOptions);
    }
    void TearDown() override {
        mergeOptions = {};
        testing::restoreUnboundHostTable();
    }

    // Every holder the host built was destroyed once, and every stream the
    // plug-in opened is closed again.
    static void expectFileServicesTidy() {
        EXPECT_EQ(fakeHost().holdersDestroyed, fakeHost().holdersBuilt) << callList(fakeHost().calls);
        EXPECT_EQ(fakeHost().openStreams(), 0) << callList(fakeHost().calls);
        EXPECT_FALSE(fakeHost().holderMisaligned) << "the holder's storage must be aligned for a pointer";
    }
};

struct LoadCase {
    const char* name;
    std::optional<std::string> file;  // none: no file at all
    std::string expectedRecord;
    bool expectedMessage;
};

class LoadingOptions : public OptionsFile, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadingOptions, GivesTheRecordAndAtMostOneMessage) {
    const LoadCase& c = GetParam();
    if (c.file) {
        fakeHost().files[fileName] = *c.file;
    }

    loadMergeOptions();

    EXPECT_EQ(recordBytes(), c.expectedRecord);
    const auto messages = std::count_if(fakeHost().calls.begin(), fakeHost().calls.end(),
                                        [](const std::string& call) { return call.rfind("messageBox(", 0) == 0; });
    EXPECT_EQ(messages, c.expectedMessage ? 1 : 0) << callList(fakeHost().calls);
    if (c.expectedMessage) {
        EXPECT_NE(std::find(fakeHost().calls.begin(), fakeHost().calls.end(), readError), fakeHost().calls.end())
            << callList(fakeHost().calls);
    }
    if (c.file) {
        EXPECT_EQ(fakeHost().files[fileName], *c.file) << "a load never changes the file";
    }
    expectFileServicesTidy();
}

INSTANTIATE_TEST_SUITE_P(
    Files, LoadingOptions,
    ::testing::Values(
        LoadCase{"NoFile", std::nullopt, "00 00 00 00 00 00 00 00", false},
        LoadCase{"Empty", "", "00 00 38 00 00 00 00 00", true},
        LoadCase{"SevenBytes", bytes({5, 1, 0x39, 0, 2, 0, 1}), "00 00 38 00 00 00 00 00", true},
        LoadCase{"EightBytes", bytes({5, 0, 0x39, 0, 0, 0, 1, 0}), "05 00 39 00 00 00 01 00", false},
        LoadCase{"NineBytesFirstEightCount", bytes({0x1F, 0, 0x3F, 0, 1, 0, 1, 0, 0x99}), "1F 00 3F 00 01 00 01 00",
                 false},
        LoadCase{"ReservedBytesKept", bytes({1, 0xAB, 0x38, 0, 2, 0, 0, 0xCD}), "01 AB 38 00 02 00 00 CD", false},
        LoadCase{"TriggerModeThree", bytes({0x1F, 0, 0x38, 0, 3, 0, 0, 0}), "1F 00 38 00 03 00 00 00", false},
        LoadCase{"AlwaysComparedBitsClear", bytes({1, 0, 0x01, 0, 0, 0, 0, 0}), "01 00 01 00 00 00 00 00", false}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(OptionsFile, LoadOpensSharedTakesTheStreamDestroysTheHolderThenReads) {
    fakeHost().files[fileName] = bytes({5, 0, 0x39, 0, 0, 0, 1, 0});

    loadMergeOptions();

    const std::vector<std::string> expected = {
        R"(fileOpen("Scalarka.dat", "rb", 64, 0, -1, 0, 0, 0, 0))",
        "holderConstruct(holder1, stream1)",
        "holderTakeStream(holder1)",
        "holderDestroy(holder1)",
        "fileRead(options, 1, 8, stream1)",
        "fileClose(stream1)",
    };
    EXPECT_EQ(fakeHost().calls, expected) << callList(fakeHost().calls);
}

TEST_F(OptionsFile, ShortReadIsReportedBeforeTheStreamIsClosed) {
    fakeHost().files[fileName] = bytes({5, 0, 0x39});

    loadMergeOptions();

    const std::vector<std::string> expected = {
        R"(fileOpen("Scalarka.dat", "rb", 64, 0, -1, 0, 0, 0, 0))",
        "holderConstruct(holder1, stream1)",
        "holderTakeStream(holder1)",
        "holderDestroy(holder1)",
        "fileRead(options, 1, 8, stream1)",
        readError,
        "fileClose(stream1)",
    };
    EXPECT_EQ(fakeHost().calls, expected) << callList(fakeHost().calls);
}

TEST_F(OptionsFile, ReadThatStopsShortOfALongFileIsAReadError) {
    fakeHost().files[fileName] = bytes({5, 0, 0x39, 0, 0, 0, 1, 0});
    fakeHost().readLimit = 4;

    loadMergeOptions();

    EXPECT_EQ(recordBytes(), "00 00 38 00 00 00 00 00");
    expectFileServicesTidy();
}

TEST_F(OptionsFile, SaveWritesTheRecordInOneElementOfEight) {
    fakeHost().files[fileName] = bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    mergeOptions = {0x05, 0xA7, 0x0039, 2, 0x01, 0x7F};

    saveMergeOptions();

    const std::vector<std::string> expected = {
        R"(fileOpen("Scalarka.dat", "wb", 64, 0, -1, 0, 0, 0, 0))",
        "holderConstruct(holder1, stream1)",
        "holderTakeStream(holder1)",
        "holderDestroy(holder1)",
        "fileWrite(options, 8, 1, stream1)",
        "fileClose(stream1)",
    };
    EXPECT_EQ(fakeHost().calls, expected) << callList(fakeHost().calls);
    EXPECT_EQ(hexBytes(fakeHost().files[fileName].data(), fakeHost().files[fileName].size()),
              "05 A7 39 00 02 00 01 7F");
    expectFileServicesTidy();
}

TEST_F(OptionsFile, SavedRecordLoadsBackByteForByteReservedBytesIncluded) {
    const MergeOptions saved = {0x1B, 0xC3, 0x003D, 1, 0x81, 0x5A};
    mergeOptions = saved;
    saveMergeOptions();
    std::memset(&mergeOptions, 0, sizeof mergeOptions);

    loadMergeOptions();

    EXPECT_EQ(recordBytes(), hexBytes(&saved, sizeof saved));
    EXPECT_EQ(recordBytes(), "1B C3 3D 00 01 00 81 5A");
    expectFileServicesTidy();
}

TEST_F(OptionsFile, FileThatCannotBeOpenedForWritingIsReportedAndKept) {
    fakeHost().files[fileName] = bytes({1, 0, 0x38, 0, 0, 0, 0, 0});
    fakeHost().failingModes = {"wb"};
    mergeOptions = {0x1F, 0, 0x3F, 2, 1, 0};

    saveMergeOptions();

    const std::vector<std::string> expected = {
        R"(fileOpen("Scalarka.dat", "wb", 64, 0, -1, 0, 0, 0, 0))",
        "holderConstruct(holder1, null)",
        "holderTakeStream(holder1)",
        "holderDestroy(holder1)",
        writeError,
    };
    EXPECT_EQ(fakeHost().calls, expected) << callList(fakeHost().calls);
    EXPECT_EQ(fakeHost().files[fileName], bytes({1, 0, 0x38, 0, 0, 0, 0, 0}));
    EXPECT_EQ(recordBytes(), "1F 00 3F 00 02 00 01 00") << "the dialog's values stay until the next load";
    expectFileServicesTidy();
}

TEST_F(OptionsFile, FileThatCannotBeOpenedForReadingIsSilent) {
    fakeHost().files[fileName] = bytes({1, 0, 0x38, 0, 0, 0, 0, 0});
    fakeHost().failingModes = {"rb"};

    loadMergeOptions();

    EXPECT_EQ(recordBytes(), "00 00 00 00 00 00 00 00");
    const std::vector<std::string> expected = {
        R"(fileOpen("Scalarka.dat", "rb", 64, 0, -1, 0, 0, 0, 0))",
        "holderConstruct(holder1, null)",
        "holderTakeStream(holder1)",
        "holderDestroy(holder1)",
    };
    EXPECT_EQ(fakeHost().calls, expected) << callList(fakeHost().calls);
}

// The host may throw while it hands out the stream; the holder it built in
// our storage must still be destroyed, and the exception is the host's to
// catch.
TEST_F(OptionsFile, HolderIsDestroyedWhenTakingTheStreamThrows) {
    fakeHost().files[fileName] = bytes({5, 0, 0x39, 0, 0, 0, 1, 0});
    fakeHost().takeStreamThrows = true;

    EXPECT_THROW(loadMergeOptions(), std::runtime_error);
    EXPECT_EQ(recordBytes(), "00 00 00 00 00 00 00 00");
    EXPECT_THROW(saveMergeOptions(), std::runtime_error);

    const std::vector<std::string> expected = {
        R"(fileOpen("Scalarka.dat", "rb", 64, 0, -1, 0, 0, 0, 0))",
        "holderConstruct(holder1, stream1)",
        "holderTakeStream(holder1)",
        "holderDestroy(holder1)",
        R"(fileOpen("Scalarka.dat", "wb", 64, 0, -1, 0, 0, 0, 0))",
        "holderConstruct(holder2, stream2)",
        "holderTakeStream(holder2)",
        "holderDestroy(holder2)",
    };
    EXPECT_EQ(fakeHost().calls, expected) << callList(fakeHost().calls);
    // The holders still owned their streams, and closed them when destroyed.
    expectFileServicesTidy();
}

TEST_F(OptionsFile, OpenedFileGetsItsHolderInTheCallersStorage) {
    fakeHost().files[fileName] = "";
    FileHolderStorage storage;

    void* const holder = openOptionsFile("Scalarka.dat", "rb", storage);

    EXPECT_EQ(holder, static_cast<void*>(storage.bytes));
    ASSERT_EQ(fakeHost().holdersBuilt.size(), 1u);
    EXPECT_EQ(fakeHost().holdersBuilt[0], static_cast<void*>(storage.bytes));
    EXPECT_EQ(alignof(FileHolderStorage), alignof(void*));
    hostHolderDestroy(holder);
    expectFileServicesTidy();
}

TEST_F(OptionsFile, HostWithoutFileServicesLoadsNothingAndCannotSave) {
    for (const HostIndex index : {hostFileOpenIndex, hostHolderConstructIndex, hostHolderTakeStreamIndex,
                                  hostHolderDestroyIndex, hostFileReadIndex, hostFileWriteIndex, hostFileCloseIndex}) {
        hostFunctionTable[index].target = nullptr;
    }
    fakeHost().files[fileName] = bytes({5, 0, 0x39, 0, 0, 0, 1, 0});

    loadMergeOptions();
    EXPECT_EQ(recordBytes(), "00 00 00 00 00 00 00 00");
    saveMergeOptions();

    EXPECT_EQ(fakeHost().calls, std::vector<std::string>{writeError});
}

}  // namespace
}  // namespace scalarka
