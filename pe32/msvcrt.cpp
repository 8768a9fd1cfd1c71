// msvcrt.dll as far as the libraries we load need it: MinGW's start-up and
// exception support, its formatted output, and the plain string and memory
// functions. The C library of this process does the work where its contract
// is the same; where msvcrt differs (wide characters are 16-bit, FILE is
// msvcrt's own structure, the locale is reported in msvcrt's layout) the
// difference is kept here.
#include <array>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "pe32/process.h"
#include "pe32/system_functions.h"

namespace pe32 {
namespace {

// msvcrt's FILE on i386; the library reaches stdin, stdout and stderr as the
// first three entries of the exported array _iob.
struct MsvcrtFile {
    char* pointer;
    std::int32_t count;
    char* base;
    std::int32_t flags;
    std::int32_t file;
    std::int32_t characterBuffer;
    std::int32_t bufferSize;
    char* temporaryName;
};
static_assert(sizeof(MsvcrtFile) == 32);

MsvcrtFile iob[20] = {{nullptr, 0, nullptr, 0, 0, 0, 0, nullptr},
                      {nullptr, 0, nullptr, 0, 1, 0, 0, nullptr},
                      {nullptr, 0, nullptr, 0, 2, 0, 0, nullptr}};

std::int32_t mbCurMax = 1;  // a single-byte locale

thread_local int crtErrno = 0;

std::FILE* streamOf(MsvcrtFile* file) {
    if (file == &iob[0]) {
        return stdin;
    }
    if (file == &iob[1]) {
        return stdout;
    }
    if (file == &iob[2]) {
        return stderr;
    }
    Process::instance().note("a stream other than stdin, stdout or stderr was refused: this runner opens no files");
    crtErrno = EBADF;
    return nullptr;
}

std::int32_t PE32_CRTAPI fputcImpl(std::int32_t character, MsvcrtFile* file) {
    std::FILE* stream = streamOf(file);
    return stream != nullptr ? std::fputc(character, stream) : EOF;
}

std::int32_t PE32_CRTAPI fputsImpl(const char* text, MsvcrtFile* file) {
    std::FILE* stream = streamOf(file);
    return stream != nullptr ? std::fputs(text, stream) : EOF;
}

std::size_t PE32_CRTAPI fwriteImpl(const void* buffer, std::size_t size, std::size_t count, MsvcrtFile* file) {
    std::FILE* stream = streamOf(file);
    return stream != nullptr ? std::fwrite(buffer, size, count, stream) : 0;
}

// On i386 a va_list is a pointer to the first variadic argument on the
// stack, for msvcrt and for this process's C library alike.
std::int32_t PE32_CRTAPI vfprintfImpl(MsvcrtFile* file, const char* format, char* arguments) {
    std::FILE* stream = streamOf(file);
    if (stream == nullptr) {
        return -1;
    }
    std::va_list list;
    static_assert(sizeof list == sizeof arguments);
    std::memcpy(&list, &arguments, sizeof list);
    return std::vfprintf(stream, format, list);
}

// ---- start-up, exit and locks ----

using Initializer = void (*)();

void PE32_CRTAPI initterm(Initializer* begin, Initializer* end) {
    for (Initializer* entry = begin; entry < end; ++entry) {
        if (*entry != nullptr) {
            (*entry)();
        }
    }
}

[[noreturn]] void PE32_CRTAPI amsgExit(std::int32_t code) {
    std::fprintf(stderr, "pe32: the library's C runtime stopped it with runtime error R60%02d (_amsg_exit)\n",
                 static_cast<int>(code));
    std::abort();
}

[[noreturn]] void PE32_CRTAPI abortImpl() {
    std::fputs("pe32: the library called abort()\n", stderr);
    std::abort();
}

std::array<std::recursive_mutex, 64> crtLocks;

void PE32_CRTAPI lockImpl(std::int32_t number) {
    if (number < 0 || static_cast<std::size_t>(number) >= crtLocks.size()) {
        std::fprintf(stderr, "pe32: _lock(%d): no such C runtime lock\n", static_cast<int>(number));
        std::abort();
    }
    crtLocks[static_cast<std::size_t>(number)].lock();
}

void PE32_CRTAPI unlockImpl(std::int32_t number) {
    if (number < 0 || static_cast<std::size_t>(number) >= crtLocks.size()) {
        std::fprintf(stderr, "pe32: _unlock(%d): no such C runtime lock\n", static_cast<int>(number));
        std::abort();
    }
    crtLocks[static_cast<std::size_t>(number)].unlock();
}

int* PE32_CRTAPI errnoImpl() { return &crtErrno; }

char* PE32_CRTAPI strerrorImpl(std::int32_t number) { return std::strerror(number); }

// ---- locale ----

// msvcrt's struct lconv, the narrow fields followed by the wide ones.
struct MsvcrtLconv {
    const char* decimalPoint;
    const char* thousandsSeparator;
    const char* grouping;
    const char* internationalCurrencySymbol;
    const char* currencySymbol;
    const char* monetaryDecimalPoint;
    const char* monetaryThousandsSeparator;
    const char* monetaryGrouping;
    const char* positiveSign;
    const char* negativeSign;
    char characters[8];
    const std::uint16_t* wide[8];
};

constexpr std::uint16_t wideDot[] = {'.', 0};
constexpr std::uint16_t wideEmpty[] = {0};

MsvcrtLconv cLocale = {".",
                       "",
                       "",
                       "",
                       "",
                       "",
                       "",
                       "",
                       "",
                       "",
                       {CHAR_MAX, CHAR_MAX, CHAR_MAX, CHAR_MAX, CHAR_MAX, CHAR_MAX, CHAR_MAX, CHAR_MAX},
                       {wideDot, wideEmpty, wideEmpty, wideEmpty, wideEmpty, wideEmpty, wideEmpty, wideEmpty}};

MsvcrtLconv* PE32_CRTAPI localeconvImpl() { return &cLocale; }

// The process runs in the "C" locale; the user's default ("") is that too.
const char* PE32_CRTAPI setlocaleImpl(std::int32_t category, const char* locale) {
    constexpr std::int32_t lastCategory = 5;  // LC_ALL 0 ... LC_TIME 5
    if (category < 0 || category > lastCategory) {
        return nullptr;
    }
    if (locale == nullptr || std::strcmp(locale, "C") == 0 || locale[0] == '\0') {
        return "C";
    }
    Process::instance().note(std::string("setlocale refused \"") + locale + "\": this runner has the C locale only");
    return nullptr;
}

// ---- memory, strings ----

void* PE32_CRTAPI mallocImpl(std::size_t size) { return std::malloc(size); }
void* PE32_CRTAPI callocImpl(std::size_t count, std::size_t size) { return std::calloc(count, size); }
void* PE32_CRTAPI reallocImpl(void* block, std::size_t size) { return std::realloc(block, size); }
void PE32_CRTAPI freeImpl(void* block) { std::free(block); }

void* PE32_CRTAPI memcpyImpl(void* to, const void* from, std::size_t size) { return std::memcpy(to, from, size); }
void* PE32_CRTAPI memmoveImpl(void* to, const void* from, std::size_t size) { return std::memmove(to, from, size); }
void* PE32_CRTAPI memsetImpl(void* to, std::int32_t value, std::size_t size) { return std::memset(to, value, size); }
std::int32_t PE32_CRTAPI memcmpImpl(const void* a, const void* b, std::size_t size) { return std::memcmp(a, b, size); }

std::size_t PE32_CRTAPI strlenImpl(const char* text) { return std::strlen(text); }
std::int32_t PE32_CRTAPI strcmpImpl(const char* a, const char* b) { return std::strcmp(a, b); }
std::int32_t PE32_CRTAPI strncmpImpl(const char* a, const char* b, std::size_t size) {
    return std::strncmp(a, b, size);
}
const char* PE32_CRTAPI strchrImpl(const char* text, std::int32_t character) { return std::strchr(text, character); }
const char* PE32_CRTAPI strrchrImpl(const char* text, std::int32_t character) { return std::strrchr(text, character); }
char* PE32_CRTAPI strcpyImpl(char* to, const char* from) { return std::strcpy(to, from); }
char* PE32_CRTAPI strncpyImpl(char* to, const char* from, std::size_t size) { return std::strncpy(to, from, size); }
std::int32_t PE32_CRTAPI atoiImpl(const char* text) { return std::atoi(text); }

// wchar_t is 16 bits wide on Windows.
std::size_t PE32_CRTAPI wcslenImpl(const std::uint16_t* text) {
    std::size_t length = 0;
    while (text[length] != 0) {
        ++length;
    }
    return length;
}

using Comparison = int (*)(const void*, const void*);

void PE32_CRTAPI qsortImpl(void* base, std::size_t count, std::size_t size, Comparison compare) {
    std::qsort(base, count, size, compare);
}

const SystemExport msvcrt[] = {
    {"__mb_cur_max", &mbCurMax},
    {"_amsg_exit", exported(&amsgExit)},
    {"_errno", exported(&errnoImpl)},
    {"_initterm", exported(&initterm)},
    {"_iob", iob},
    {"_lock", exported(&lockImpl)},
    {"_unlock", exported(&unlockImpl)},
    {"abort", exported(&abortImpl)},
    {"atoi", exported(&atoiImpl)},
    {"calloc", exported(&callocImpl)},
    {"fputc", exported(&fputcImpl)},
    {"fputs", exported(&fputsImpl)},
    {"free", exported(&freeImpl)},
    {"fwrite", exported(&fwriteImpl)},
    {"localeconv", exported(&localeconvImpl)},
    {"malloc", exported(&mallocImpl)},
    {"memcmp", exported(&memcmpImpl)},
    {"memcpy", exported(&memcpyImpl)},
    {"memmove", exported(&memmoveImpl)},
    {"memset", exported(&memsetImpl)},
    {"qsort", exported(&qsortImpl)},
    {"realloc", exported(&reallocImpl)},
    {"setlocale", exported(&setlocaleImpl)},
    {"strchr", exported(&strchrImpl)},
    {"strcmp", exported(&strcmpImpl)},
    {"strcpy", exported(&strcpyImpl)},
    {"strerror", exported(&strerrorImpl)},
    {"strlen", exported(&strlenImpl)},
    {"strncmp", exported(&strncmpImpl)},
    {"strncpy", exported(&strncpyImpl)},
    {"strrchr", exported(&strrchrImpl)},
    {"vfprintf", exported(&vfprintfImpl)},
    {"wcslen", exported(&wcslenImpl)},
};

}  // namespace

std::span<const SystemExport> msvcrtExports() { return msvcrt; }

}  // namespace pe32
