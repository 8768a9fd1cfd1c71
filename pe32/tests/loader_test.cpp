// The loader against small libraries built for i386 Windows: what the
// libraries see from the inside (notifications, thread environment, imports,
// memory protections) and how loading fails when it must.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "pe32/module.h"
#include "pe32/process.h"
#include "pe32/thread_environment.h"

namespace pe32 {
namespace {

const std::filesystem::path fixtureDir = PE32_FIXTURE_DIR;

struct Environment {
    std::uint32_t tebAtAttach;
    std::uint32_t tebNow;
    std::uint32_t stackBase;
    std::uint32_t controlWord;
    const char* threadData;
    const char* ownPath;
    void* staticAddress;
};

// What the library's observer heard at its detach.
std::vector<std::string> heard;

void hear(const char* text) { heard.emplace_back(text); }

// Code generated for this process assumes a stack aligned to 16 bytes on
// entry; the probe shows where that assumption lands. (The compiler would
// take the address's alignment for granted, so it is shown an opaque value.)
int misalignmentOf(volatile char* probe) {
    auto address = reinterpret_cast<std::uintptr_t>(probe);
    __asm__("" : "+r"(address));
    return static_cast<int>(address % 16);
}

__attribute__((noinline)) int probeMisalignment() {
    alignas(16) volatile char probe[16];
    probe[0] = 0;
    return misalignmentOf(probe);
}

int plainService(int, int) {
    alignas(16) volatile char probe[16];
    probe[0] = 0;
    return misalignmentOf(probe);
}

__attribute__((force_align_arg_pointer)) int realigningService(int a, int b) {
    return probeMisalignment() == 0 ? a + b : -100;
}

__attribute__((force_align_arg_pointer)) int throwingService(int, int) { throw std::runtime_error("the host refused"); }

// Procedures exported by a module of the process that has no image.
Procedure byOrdinal(std::uint16_t ordinal) {
    switch (ordinal) {
        case 1: return reinterpret_cast<Procedure>(&plainService);
        case 2: return reinterpret_cast<Procedure>(&realigningService);
        case 3: return reinterpret_cast<Procedure>(&throwingService);
        default: return nullptr;
    }
}

class LoaderTest : public ::testing::Test {
   protected:
    void SetUp() override {
        heard.clear();
        Process::instance().clearNotes();
        observer_ = Process::instance().addVirtualModule(
            {"observer.dll", "Z:\\observer.dll", nullptr,
             [](std::string_view name) { return name == "hear" ? reinterpret_cast<Procedure>(&hear) : nullptr; }});
        services_ = Process::instance().addVirtualModule({"SERVICES.DLL", "Z:\\SERVICES.DLL", byOrdinal, nullptr});
    }
    void TearDown() override {
        Process::instance().setDebugger({});
        Process::instance().removeModule(services_);
        Process::instance().removeModule(observer_);
    }

    static std::unique_ptr<Module> fixture() { return Module::load(fixtureDir / "fixture.dll"); }

    template <typename Result, typename... Arguments>
    static Result call(const Module& module, std::uint16_t ordinal, Arguments... arguments) {
        const Procedure procedure = module.exportByOrdinal(ordinal);
        if (procedure == nullptr) {
            throw std::logic_error("the fixture exports no ordinal " + std::to_string(ordinal));
        }
        return callCdecl<Result>(procedure, arguments...);
    }

    static Environment environmentOf(const Module& module) {
        Environment environment{};
        call<void>(module, 2, &environment);
        return environment;
    }

    ModuleHandle observer_ = nullptr;
    ModuleHandle services_ = nullptr;
};

TEST_F(LoaderTest, TlsCallbacksRunBeforeTheEntryPointOnAttachAndOnDetach) {
    auto module = fixture();
    EXPECT_STREQ(call<const char*>(*module, 1), "T1E1");
    module.reset();
    // The TLS callback reports first, then the entry point, each with the
    // notifications so far.
    EXPECT_EQ(heard, (std::vector<std::string>{"T1E1T0", "T1E1T0E0"}));
}

TEST_F(LoaderTest, TheLibraryKnowsItsOwnPathTheWindowsWay) {
    auto module = fixture();
    const std::string expected = windowsPath(std::filesystem::absolute(fixtureDir / "fixture.dll").string());
    EXPECT_EQ(environmentOf(*module).ownPath, expected);
}

TEST_F(LoaderTest, TwoCopiesLoadAtDifferentBasesAndKeepTheirOwnData) {
    auto first = fixture();
    auto second = fixture();
    EXPECT_EQ(first->base(), first->preferredBase()) << "the first copy gets the base it asks for";
    EXPECT_NE(second->base(), second->preferredBase()) << "the second copy must be relocated";
    for (const Module* module : {first.get(), second.get()}) {
        const auto address = reinterpret_cast<std::uintptr_t>(environmentOf(*module).staticAddress);
        EXPECT_GE(address, module->base());
        EXPECT_LT(address, module->base() + module->imageSize()) << "a relocated address points into its own copy";
        EXPECT_EQ(*static_cast<int*>(environmentOf(*module).staticAddress), 42);
    }
}

TEST_F(LoaderTest, ExportsAreFoundByOrdinalAndEmptySlotsGiveNull) {
    auto module = fixture();
    EXPECT_NE(module->exportByOrdinal(1), nullptr);
    EXPECT_EQ(module->exportByOrdinal(6), nullptr) << "ordinal 6 is an empty slot of the table";
    EXPECT_EQ(module->exportByOrdinal(21), nullptr) << "past the end of the table";
    EXPECT_EQ(module->exportByOrdinal(0), nullptr) << "below the table's base";
    ASSERT_NE(module->exportByName("named"), nullptr);
    EXPECT_EQ(callCdecl<int>(module->exportByName("named")), 7);
    EXPECT_EQ(module->exportByName("entryNotifications"), nullptr) << "exported without a name";
}

TEST_F(LoaderTest, TheLibraryRunsOnItsThreadsEnvironmentBlock) {
    const std::uint16_t fsBefore = currentFs();
    auto module = fixture();
    const Environment environment = environmentOf(*module);
    const auto teb = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(currentTeb()));
    EXPECT_EQ(environment.tebAtAttach, teb) << "%fs:0x18 during the attach";
    EXPECT_EQ(environment.tebNow, teb) << "%fs:0x18 in a later call";
    int local = 0;
    EXPECT_GT(environment.stackBase, reinterpret_cast<std::uintptr_t>(&local)) << "the stack base lies above us";
    EXPECT_EQ(currentFs(), fsBefore) << "%fs is given back after each call";
}

TEST_F(LoaderTest, ImplicitTlsGivesTheThreadItsOwnCopyOfTheTemplate) {
    auto module = fixture();
    const Environment environment = environmentOf(*module);
    ASSERT_NE(environment.threadData, nullptr);
    EXPECT_STREQ(environment.threadData, "thread-data");
    const auto copy = reinterpret_cast<std::uintptr_t>(environment.threadData);
    EXPECT_FALSE(copy >= module->base() && copy < module->base() + module->imageSize())
        << "the thread's copy lives outside the image, apart from the template";
}

TEST_F(LoaderTest, TheX87UnitRunsAtExtendedPrecisionWhateverTheCallerLeft) {
    auto module = fixture();
    const std::uint16_t doublePrecision = 0x027F;
    const std::uint16_t before = currentX87ControlWord();
    __asm__ volatile("fldcw %0" : : "m"(doublePrecision));
    const Environment environment = environmentOf(*module);
    const std::uint16_t after = currentX87ControlWord();
    __asm__ volatile("fldcw %0" : : "m"(before));
    EXPECT_EQ(environment.controlWord, 0x037Fu);
    EXPECT_EQ(after, doublePrecision) << "the caller's control word comes back";
}

struct ModuleNameCase {
    const char* name;
    bool found;
};

class ModuleNames : public LoaderTest, public ::testing::WithParamInterface<ModuleNameCase> {};

TEST_P(ModuleNames, AreMatchedAsGetModuleHandleMatchesThem) {
    auto module = fixture();
    void* handle = call<void*>(*module, 5, GetParam().name);
    EXPECT_EQ(handle != nullptr, GetParam().found) << GetParam().name;
    if (GetParam().found) {
        EXPECT_EQ(handle, services_);
    }
}

INSTANTIATE_TEST_SUITE_P(Lookups, ModuleNames,
                         ::testing::Values(ModuleNameCase{"SERVICES", true}, ModuleNameCase{"services", true},
                                           ModuleNameCase{"Services.Dll", true}, ModuleNameCase{"services.dll", true},
                                           ModuleNameCase{"services.", false},  // exactly "services"
                                           ModuleNameCase{"services.exe", false}, ModuleNameCase{"service", false}));

TEST_F(LoaderTest, TheLibrarySeesItsOwnModuleAndTheSystemLibraries) {
    auto module = fixture();
    EXPECT_EQ(call<void*>(*module, 5, "fixture"), module->handle());
    EXPECT_NE(call<void*>(*module, 5, "KERNEL32"), nullptr);
    EXPECT_NE(call<void*>(*module, 5, "msvcrt.dll"), nullptr);
}

TEST_F(LoaderTest, TheLibraryIsCalledWithTheStackAlignedToFourBytesOnly) {
    auto module = fixture();
    EXPECT_EQ(call<int>(*module, 11, 0), 12)
        << "the first argument lies 4 bytes below a 16-byte boundary, as a Windows host may leave it";
}

TEST_F(LoaderTest, ServicesOfThisProcessRunOnARealignedStack) {
    auto module = fixture();
    EXPECT_EQ(call<int>(*module, 3, "services", 1, 0, 0), 8)
        << "the library calls with the stack 8 bytes off the alignment this process's code assumes";
    EXPECT_EQ(call<int>(*module, 3, "services", 2, 20, 22), 42) << "a realigning service works on an aligned stack";
    EXPECT_EQ(call<int>(*module, 3, "services", 9, 0, 0), -2) << "an ordinal the module lacks";
}

TEST_F(LoaderTest, AnExceptionOfThisProcessCrossesTheLibrarysFrames) {
    auto module = fixture();
    const std::uint16_t fsBefore = currentFs();
    const Procedure callThrough = module->exportByOrdinal(4);
    EXPECT_THROW(callCdecl<int>(callThrough, reinterpret_cast<void*>(&throwingService), 0, 0), std::runtime_error);
    EXPECT_EQ(currentFs(), fsBefore);
    EXPECT_EQ(callCdecl<int>(callThrough, reinterpret_cast<void*>(&realigningService), 1, 2), 4)
        << "the library still works after the exception";
}

TEST_F(LoaderTest, LastErrorRoundTripsThroughTheThreadEnvironmentBlock) {
    auto module = fixture();
    EXPECT_EQ(call<std::uint32_t>(*module, 7, 1234u), 1234u);
    EXPECT_EQ(tebField<std::uint32_t>(teb::lastErrorValue), 1234u);
}

TEST_F(LoaderTest, DebuggerOutputReachesTheDebuggerOnlyWhileOneIsPresent) {
    auto module = fixture();
    std::vector<std::string> output;
    EXPECT_EQ(call<int>(*module, 8, "unheard\n"), 0);
    Process::instance().setDebugger({[] { return true; }, [&output](const char* text) { output.emplace_back(text); }});
    EXPECT_EQ(call<int>(*module, 8, "heard\n"), 1);
    EXPECT_EQ(output, std::vector<std::string>{"heard\n"});
}

TEST_F(LoaderTest, SectionsCarryTheirProtections) {
    auto module = fixture();
    std::uint32_t protections[3] = {};
    call<void>(*module, 9, protections);
    EXPECT_EQ(protections[0], 0x20u) << "code: PAGE_EXECUTE_READ";
    EXPECT_EQ(protections[1], 0x02u) << "constants: PAGE_READONLY";
    EXPECT_EQ(protections[2], 0x04u) << "variables: PAGE_READWRITE";
}

TEST_F(LoaderTest, ImportsOfTheCRuntimeWork) {
    auto module = fixture();
    EXPECT_EQ(call<std::size_t>(*module, 10, "twelve chars"), 12u);
}

// ---- loading failures ----

std::vector<std::uint8_t> fixtureBytes() {
    std::ifstream in(fixtureDir / "fixture.dll", std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::uint32_t peOffset(const std::vector<std::uint8_t>& bytes) {
    std::uint32_t offset;
    std::memcpy(&offset, &bytes[0x3C], 4);
    return offset;
}

struct BrokenFileCase {
    const char* name;
    std::function<void(std::vector<std::uint8_t>&)> breakIt;
    const char* expected;
};

class BrokenFiles : public LoaderTest, public ::testing::WithParamInterface<BrokenFileCase> {};

TEST_P(BrokenFiles, AreRefusedWithTheReason) {
    std::vector<std::uint8_t> bytes = fixtureBytes();
    ASSERT_GT(bytes.size(), 0x200u);
    GetParam().breakIt(bytes);
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / (std::string("pe32-broken-") + GetParam().name + ".dll");
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    try {
        Module::load(path);
        ADD_FAILURE() << "loaded, expected a refusal containing \"" << GetParam().expected << "\"";
    } catch (const LoadError& error) {
        EXPECT_NE(std::string(error.what()).find(GetParam().expected), std::string::npos)
            << "expected \"" << GetParam().expected << "\" in \"" << error.what() << "\"";
    }
    std::filesystem::remove(path);
}

INSTANTIATE_TEST_SUITE_P(
    Files, BrokenFiles,
    ::testing::Values(BrokenFileCase{"NoMz", [](auto& bytes) { bytes[0] = 'X'; }, "no MZ signature"},
                      BrokenFileCase{"NoPe", [](auto& bytes) { bytes[peOffset(bytes)] = 'X'; }, "no PE signature"},
                      BrokenFileCase{"Amd64",
                                     [](auto& bytes) {
                                         bytes[peOffset(bytes) + 4] = 0x64;
                                         bytes[peOffset(bytes) + 5] = 0x86;
                                     },
                                     "not i386"},
                      BrokenFileCase{"Pe32Plus", [](auto& bytes) { bytes[peOffset(bytes) + 25] = 0x02; }, "not PE32"},
                      BrokenFileCase{"NotADll", [](auto& bytes) { bytes[peOffset(bytes) + 23] &= 0xDF; }, "not a DLL"},
                      BrokenFileCase{"Truncated", [](auto& bytes) { bytes.resize(0x100); }, "the file ends inside"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(LoaderTest, EveryImportTheRunnerLacksIsNamedAtLoad) {
    try {
        Module::load(fixtureDir / "missing.dll");
        FAIL() << "missing.dll loaded although its imports are not provided";
    } catch (const LoadError& error) {
        const std::string text = error.what();
        EXPECT_NE(text.find("KERNEL32.dll!CreateFileA"), std::string::npos) << text;
        EXPECT_NE(text.find("msvcrt.dll!fopen"), std::string::npos) << text;
        EXPECT_NE(text.find("2 imported function(s)"), std::string::npos) << text;
    }
}

TEST_F(LoaderTest, AnEntryPointThatRefusesTheAttachFailsTheLoadAfterItsDetach) {
    try {
        Module::load(fixtureDir / "refusing.dll");
        FAIL() << "refusing.dll loaded although its entry point answered FALSE";
    } catch (const LoadError& error) {
        EXPECT_NE(std::string(error.what()).find("refused DLL_PROCESS_ATTACH"), std::string::npos) << error.what();
    }
    EXPECT_EQ(heard, (std::vector<std::string>{"T1E1T0", "T1E1T0E0"}));
}

// The product's checked-in list of imports, each of which must be here.
TEST(ProductImports, EveryImportOfTheShippedLibraryIsProvided) {
    std::ifstream list(PE32_PRODUCT_IMPORTS);
    ASSERT_TRUE(list) << "cannot read " << PE32_PRODUCT_IMPORTS;
    std::vector<std::string> missing;
    int listed = 0;
    for (std::string line; std::getline(list, line);) {
        const std::size_t bang = line.find('!');
        if (line.empty() || line[0] == '#' || bang == std::string::npos) {
            continue;
        }
        ++listed;
        if (Process::instance().resolveImport(line.substr(0, bang), std::string_view(line).substr(bang + 1)) ==
            nullptr) {
            missing.push_back(line);
        }
    }
    EXPECT_GT(listed, 0) << "the list names no import";
    EXPECT_EQ(missing, std::vector<std::string>{}) << "imports of the product that the loader does not provide";
}

TEST_F(LoaderTest, AMissingFileIsNamed) { EXPECT_THROW(Module::load(fixtureDir / "no-such.dll"), LoadError); }

}  // namespace
}  // namespace pe32
