// The parts of the PE32 file format that a loader of i386 libraries reads.
// Windows' own headers do not exist on Linux, so the layouts are written out
// here, each with the size the format gives it.
#pragma once

#include <cstdint>

namespace pe32::format {

inline constexpr std::uint16_t dosMagic = 0x5A4D;         // "MZ"
inline constexpr std::uint32_t ntSignature = 0x00004550;  // "PE\0\0"
inline constexpr std::uint16_t machineI386 = 0x014C;
inline constexpr std::uint16_t optionalMagicPe32 = 0x010B;

inline constexpr std::uint16_t fileRelocsStripped = 0x0001;
inline constexpr std::uint16_t fileExecutable = 0x0002;
inline constexpr std::uint16_t fileDll = 0x2000;

inline constexpr std::uint32_t sectionExecute = 0x20000000;
inline constexpr std::uint32_t sectionRead = 0x40000000;
inline constexpr std::uint32_t sectionWrite = 0x80000000;
inline constexpr std::uint32_t sectionUninitialized = 0x00000080;

enum DirectoryIndex : std::uint32_t {
    exportDirectory = 0,
    importDirectory = 1,
    relocationDirectory = 5,
    tlsDirectory = 9,
};

inline constexpr std::uint16_t relocationAbsolute = 0;
inline constexpr std::uint16_t relocationHighLow = 3;

inline constexpr std::uint32_t importByOrdinal = 0x80000000;

struct DosHeader {
    std::uint16_t magic;
    std::uint16_t unused[29];
    std::int32_t ntHeadersOffset;
};
static_assert(sizeof(DosHeader) == 64);

struct FileHeader {
    std::uint16_t machine;
    std::uint16_t numberOfSections;
    std::uint32_t timeDateStamp;
    std::uint32_t pointerToSymbolTable;
    std::uint32_t numberOfSymbols;
    std::uint16_t sizeOfOptionalHeader;
    std::uint16_t characteristics;
};
static_assert(sizeof(FileHeader) == 20);

struct DataDirectory {
    std::uint32_t virtualAddress;
    std::uint32_t size;
};

struct OptionalHeader32 {
    std::uint16_t magic;
    std::uint8_t majorLinkerVersion;
    std::uint8_t minorLinkerVersion;
    std::uint32_t sizeOfCode;
    std::uint32_t sizeOfInitializedData;
    std::uint32_t sizeOfUninitializedData;
    std::uint32_t addressOfEntryPoint;
    std::uint32_t baseOfCode;
    std::uint32_t baseOfData;
    std::uint32_t imageBase;
    std::uint32_t sectionAlignment;
    std::uint32_t fileAlignment;
    std::uint16_t versions[6];
    std::uint32_t win32VersionValue;
    std::uint32_t sizeOfImage;
    std::uint32_t sizeOfHeaders;
    std::uint32_t checkSum;
    std::uint16_t subsystem;
    std::uint16_t dllCharacteristics;
    std::uint32_t stackAndHeap[4];
    std::uint32_t loaderFlags;
    std::uint32_t numberOfRvaAndSizes;
    DataDirectory directories[16];
};
static_assert(sizeof(OptionalHeader32) == 224);

struct NtHeaders32 {
    std::uint32_t signature;
    FileHeader file;
    OptionalHeader32 optional;
};
static_assert(sizeof(NtHeaders32) == 248);

struct SectionHeader {
    char name[8];
    std::uint32_t virtualSize;
    std::uint32_t virtualAddress;
    std::uint32_t sizeOfRawData;
    std::uint32_t pointerToRawData;
    std::uint32_t pointerToRelocations;
    std::uint32_t pointerToLinenumbers;
    std::uint16_t numberOfRelocations;
    std::uint16_t numberOfLinenumbers;
    std::uint32_t characteristics;
};
static_assert(sizeof(SectionHeader) == 40);

struct ImportDescriptor {
    std::uint32_t originalFirstThunk;  // the lookup table; 0 in some old linkers' output
    std::uint32_t timeDateStamp;
    std::uint32_t forwarderChain;
    std::uint32_t name;
    std::uint32_t firstThunk;  // the address table the loader fills
};
static_assert(sizeof(ImportDescriptor) == 20);

struct ExportDirectory {
    std::uint32_t characteristics;
    std::uint32_t timeDateStamp;
    std::uint16_t majorVersion;
    std::uint16_t minorVersion;
    std::uint32_t name;
    std::uint32_t base;
    std::uint32_t numberOfFunctions;
    std::uint32_t numberOfNames;
    std::uint32_t addressOfFunctions;
    std::uint32_t addressOfNames;
    std::uint32_t addressOfNameOrdinals;
};
static_assert(sizeof(ExportDirectory) == 40);

struct RelocationBlock {
    std::uint32_t pageRva;
    std::uint32_t blockSize;  // including this header
};
static_assert(sizeof(RelocationBlock) == 8);

// Addresses, not RVAs: the base relocations have adjusted them already.
struct TlsDirectory32 {
    std::uint32_t startOfRawData;
    std::uint32_t endOfRawData;
    std::uint32_t addressOfIndex;
    std::uint32_t addressOfCallbacks;
    std::uint32_t sizeOfZeroFill;
    std::uint32_t characteristics;
};
static_assert(sizeof(TlsDirectory32) == 24);

}  // namespace pe32::format
