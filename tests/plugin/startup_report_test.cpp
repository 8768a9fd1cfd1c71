// The start-up report: the list of missing host functions, the table of
// record sizes, and the one message a report shows, against a fake host.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "emulator/core/text.h"
#include "frame/lifecycle.h"
#include "frame/startup_report.h"
#include "host/host_table.h"
#include "host/table_descriptor.h"
#include "tests/plugin/host_table_state.h"

namespace scalarka {
namespace {

using korpus::toMazovia;
using korpus::toUtf8;

const std::string title = "Łączenie takich samych pozycji na dokumencie";

struct Box {
    std::int32_t kind;
    std::string title;
    std::string format;
    std::int32_t style;
    std::int32_t icon;
    std::string text;  // as the host formats it, UTF-8
};

struct ReportHost {
    std::int32_t handshakeResult = 0;
    std::string explanation;              // written into the buffer on a refusal
    bool explanationFillsBuffer = false;  // every byte, no NUL
    int handshakesWithBuffer = 0;
    int handshakesWithoutBuffer = 0;
    std::int32_t version = 112;
    std::optional<std::int16_t> documentSize = 1469;
    std::optional<std::int16_t> lineSize = 515;
    TableDescriptor documentTable{};
    TableDescriptor lineTable{};
    std::vector<Box> boxes;
    std::vector<std::pair<std::int32_t, std::int32_t>> callbackCalls;
};
ReportHost fake;

std::int32_t fakeHandshake(void*, char* buffer, std::int32_t size) {
    if (buffer == nullptr) {
        ++fake.handshakesWithoutBuffer;
        return fake.handshakeResult;
    }
    ++fake.handshakesWithBuffer;
    if (fake.handshakeResult != 0) {
        if (fake.explanationFillsBuffer) {
            std::memset(buffer, 'A', static_cast<std::size_t>(size));
        } else {
            std::snprintf(buffer, static_cast<std::size_t>(size), "%s", fake.explanation.c_str());
        }
    }
    return fake.handshakeResult;
}

std::int32_t fakeVersion() { return fake.version; }

TableDescriptor* fakeTableDescriptor(std::int32_t table) {
    TableDescriptor* descriptor = table == documentTable ? &fake.documentTable
                                  : table == lineTable   ? &fake.lineTable
                                                         : nullptr;
    const std::optional<std::int16_t> size = table == documentTable ? fake.documentSize : fake.lineSize;
    if (descriptor == nullptr || !size) {
        return nullptr;
    }
    descriptor->recordSize = *size;
    return descriptor;
}

std::int32_t fakeFormattedBox(std::int32_t kind, const char* boxTitle, const char* format, std::int32_t style,
                              std::int32_t icon, ...) {
    va_list values;
    va_start(values, icon);
    std::vector<char> text(16384);
    std::vsnprintf(text.data(), text.size(), format, values);
    va_end(values);
    fake.boxes.push_back({kind, toUtf8(boxTitle), toUtf8(format), style, icon, toUtf8(text.data())});
    return 0;
}

std::int32_t fakeCallback(std::int32_t first, std::int32_t second) {
    fake.callbackCalls.emplace_back(first, second);
    return 0;
}

template <typename Fn>
CodeAddress code(Fn* function) {
    return reinterpret_cast<CodeAddress>(function);
}

std::string numberListText() { return toUtf8(numberList); }

std::string missingFunctionsMessage(const std::string& list, const std::string& pronoun) {
    return "Wtyczka \"" + title + "\" potrzebuje zaimportować\n" + list + " z modułu głównego,\njednak moduł główny " +
           pronoun +
           " nie posiada. Aby naprawić tę sytuację\nzainstaluj aktualizację programu oraz wtyczki.\n\nWTYCZKA NIE "
           "ZOSTANIE ZAŁADOWANA!!!\n";
}

std::string recordSizesMessage(const std::string& baseName, const std::vector<std::string>& rows) {
    std::string text = "Rozmiary rekordów niektórych tabel nie zgadzają się\nmiędzy programem a wtyczką '" + title +
                       "' (moduł '" + baseName + "'):\n\n\x01tl18l33\x01TABELA\tWE WTYCZCE\tW PROGRAMIE\n";
    for (const std::string& row : rows) {
        text += "\x01tp25p40\x01" + row + "\n";
    }
    return text + "\nModuł \x02" + baseName + "\x01\nNIE zostanie załadowany!";
}

class StartupReport : public ::testing::Test {
   protected:
    void SetUp() override {
        testing::restoreUnboundHostTable();
        fake = {};
        savedCallback = hostCallback;
        savedBaseName = ownBaseName;
        hostCallback = nullptr;
        ownBaseName = "Scalarka.dll";
        unsupportedFeatures = 0;
        sizeMismatchList = nullptr;
        hostFunctionTable[hostHandshakeIndex].target = code(fakeHandshake);
        hostFunctionTable[hostInterfaceVersionIndex].target = code(fakeVersion);
        hostFunctionTable[hostTableDescriptorIndex].target = code(fakeTableDescriptor);
        hostFunctionTable[hostFormattedMessageBoxIndex].target = code(fakeFormattedBox);
    }
    void TearDown() override {
        hostCallback = savedCallback;
        ownBaseName = savedBaseName;
        unsupportedFeatures = 0xFFFFFFFFu;
        sizeMismatchList = nullptr;
        testing::restoreUnboundHostTable();
    }

    static void recordMissing(std::uint32_t count, std::initializer_list<std::uint16_t> ordinals) {
        missingOrdinals = {};
        missingOrdinals.missCount = count;
        std::copy(ordinals.begin(), ordinals.end(), missingOrdinals.missing);
    }

    // The one box a report shows.
    static const Box& onlyBox() {
        EXPECT_EQ(fake.boxes.size(), 1u) << "a report shows exactly one message";
        static const Box none{};
        return fake.boxes.empty() ? none : fake.boxes.front();
    }

   private:
    HostCallback savedCallback = nullptr;
    const char* savedBaseName = nullptr;
};

// ---- missing host functions ----

struct MissingCase {
    const char* name;
    std::uint32_t missCount;
    std::vector<std::uint16_t> recorded;
    std::string expectedList;
    std::string expectedPronoun;
    std::vector<std::uint16_t> recordedAfterwards;  // all eight places
};

class MissingFunctions : public StartupReport, public ::testing::WithParamInterface<MissingCase> {};

TEST_P(MissingFunctions, ListsTheOrdinalsAscendingInMessageTwo) {
    const MissingCase& c = GetParam();
    missingOrdinals = {};
    missingOrdinals.missCount = c.missCount;
    std::copy(c.recorded.begin(), c.recorded.end(), missingOrdinals.missing);
    char buffer[reportBufferSize + 16];
    std::memset(buffer, '#', sizeof buffer);

    EXPECT_EQ(describeMissingOrdinals(buffer), c.missCount);

    EXPECT_EQ(numberListText(), c.expectedList);
    EXPECT_EQ(toUtf8(buffer), missingFunctionsMessage(c.expectedList, c.expectedPronoun));
    EXPECT_EQ(std::string(buffer + reportBufferSize, 16), std::string(16, '#')) << "nothing past the 3072 bytes";
    const std::vector<std::uint16_t> afterwards(std::begin(missingOrdinals.missing), std::end(missingOrdinals.missing));
    EXPECT_EQ(afterwards, c.recordedAfterwards) << "the report sorts the recorded ordinals in place, descending";
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, MissingFunctions,
    ::testing::Values(MissingCase{"One", 1, {52030}, "funkcję o numerze 52030", "jej", {52030, 0, 0, 0, 0, 0, 0, 0}},
                      MissingCase{"ThreeRecordedOutOfOrder",
                                  3,
                                  {52308, 30018, 40008},
                                  "funkcje o numerach 30018, 40008, 52308",
                                  "ich",
                                  {52308, 40008, 30018, 0, 0, 0, 0, 0}},
                      MissingCase{"TwelveListTheFirstEight",
                                  12,
                                  {35802, 40008, 41611, 52308, 52030, 33197, 22567, 52154},
                                  "funkcje o numerach 22567, 33197, 35802, 40008, 41611, 52030, 52154, 52308",
                                  "ich",
                                  {52308, 52154, 52030, 41611, 40008, 35802, 33197, 22567}},
                      MissingCase{"EightFiveDigitNumbers",
                                  8,
                                  {10000, 65535, 20000, 65534, 30000, 40000, 50000, 60000},
                                  "funkcje o numerach 10000, 20000, 30000, 40000, 50000, 60000, 65534, 65535",
                                  "ich",
                                  {65535, 65534, 60000, 50000, 40000, 30000, 20000, 10000}}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(StartupReport, NothingMissingLeavesTheBufferEmpty) {
    char buffer[reportBufferSize] = "old text";
    EXPECT_EQ(describeMissingOrdinals(buffer), 0u);
    EXPECT_STREQ(buffer, "");
}

// ---- record sizes ----

TEST_F(StartupReport, LargerDocumentRecordAndNoLineTableGiveTwoRows) {
    fake.documentSize = 1470;
    fake.lineSize.reset();
    EXPECT_EQ(checkRecordSizes(), 2);
    char buffer[reportBufferSize];
    EXPECT_EQ(describeRecordSizes(buffer), -1);
    EXPECT_EQ(toUtf8(buffer), recordSizesMessage("Scalarka.dll", {"Tspr\t1469\t1470", "Tspr_dok\t515\tbrak"}));
}

TEST_F(StartupReport, LineTableFoundBothByTheChecksAndByTheHookIsListedTwice) {
    fake.lineSize = 516;
    EXPECT_EQ(checkRecordSizes(), 1);
    noteLineTableMismatch(516);
    EXPECT_EQ(checkRecordSizes(), 2) << "a listed node is refreshed, not linked again";
    char buffer[reportBufferSize];
    EXPECT_EQ(describeRecordSizes(buffer), -1);
    EXPECT_EQ(toUtf8(buffer), recordSizesMessage("Scalarka.dll", {"Tspr_dok\t515\t516", "Tspr_dok\t515\t516"}));
}

TEST_F(StartupReport, NoMismatchLeavesTheBufferEmpty) {
    EXPECT_EQ(checkRecordSizes(), 0);
    char buffer[reportBufferSize] = "old text";
    EXPECT_EQ(describeRecordSizes(buffer), 0);
    EXPECT_STREQ(buffer, "");
}

TEST_F(StartupReport, LongestModuleNameStaysInsideTheBuffer) {
    const std::string longName(ownPathSize - 1, 'n');
    ownBaseName = longName.c_str();
    fake.documentSize = -1;
    fake.lineSize = 32767;
    checkRecordSizes();
    noteLineTableMismatch(-32768);
    char buffer[reportBufferSize + 16];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(describeRecordSizes(buffer), -1);
    EXPECT_EQ(toUtf8(buffer),
              recordSizesMessage(longName, {"Tspr\t1469\t-1", "Tspr_dok\t515\t32767", "Tspr_dok\t515\t-32768"}));
    EXPECT_EQ(std::string(buffer + reportBufferSize, 16), std::string(16, '#'));
}

// ---- the report ----

TEST_F(StartupReport, UnsupportedFeaturesComeFirstAndStopTheReport) {
    unsupportedFeatures = 4;
    recordMissing(3, {52308, 30018, 40008});
    fake.lineSize = 516;

    startupReport();

    const Box& box = onlyBox();
    EXPECT_EQ(box.kind, 15000);
    EXPECT_EQ(box.title, "STOP!!!");
    EXPECT_EQ(box.format, "%s") << "the report's text is a value, never a format";
    EXPECT_EQ(box.style, 0xF001);
    EXPECT_EQ(box.icon, 0x6E2E);
    EXPECT_EQ(box.text, "Program nie obsługuje cech 0x00000004,\nktóre są niezbędne dla modułu '" + title + "'.");
    EXPECT_EQ(missingOrdinals.missing[0], 52308) << "nothing else is examined";
    EXPECT_EQ(fake.handshakesWithBuffer + fake.handshakesWithoutBuffer, 0);
}

TEST_F(StartupReport, TellsTheCallbackFirstWhenThereIsOne) {
    hostCallback = fakeCallback;
    startupReport();
    EXPECT_EQ(fake.callbackCalls, (std::vector<std::pair<std::int32_t, std::int32_t>>{{1, -1}}));
    EXPECT_EQ(fake.boxes.size(), 1u);
}

TEST_F(StartupReport, WithoutCallbackStillShowsItsMessage) {
    hostCallback = nullptr;
    startupReport();
    EXPECT_EQ(onlyBox().text, "Moduł \"Scalarka.dll\" nie został poprawnie zainicjowany,\nwięc NIE BĘDZIE AKTYWNY!");
}

TEST_F(StartupReport, ShowsTheHostsOwnExplanationAsText) {
    fake.handshakeResult = 5;
    fake.explanation = toMazovia("Licencja wygasła: 100% %s %n");
    startupReport();
    EXPECT_EQ(onlyBox().format, "%s");
    EXPECT_EQ(onlyBox().text, "Licencja wygasła: 100% %s %n");
}

TEST_F(StartupReport, ExplanationFillingTheWholeBufferIsCutInsideIt) {
    fake.handshakeResult = 1;
    fake.explanationFillsBuffer = true;
    startupReport();
    EXPECT_EQ(onlyBox().text, std::string(reportBufferSize - 1, 'A'));
}

TEST_F(StartupReport, DifferentInterfaceVersionNamesTheModuleTwice) {
    fake.version = 113;
    startupReport();
    EXPECT_EQ(onlyBox().format.substr(0, 13), "Moduł \"%s\" i") << "message 4 is itself the format";
    EXPECT_EQ(onlyBox().text,
              "Moduł \"Scalarka.dll\" i program występują w różnych wersjach!\n\nZostał zakualizowany tylko program "
              "albo tylko moduł,\na nie oba jednocześnie! Aby naprawić tę sytuację\nzainstaluj aktualizację programu "
              "wraz z modułem \"Scalarka.dll\".\n\nMODUŁ NIE ZOSTANIE ZAŁADOWANY!!!\n");
    EXPECT_EQ(fake.handshakesWithBuffer, 1);
    EXPECT_EQ(fake.handshakesWithoutBuffer, 1) << "the recheck asks once more without a buffer";
}

TEST_F(StartupReport, RecheckFindsTheHostAgreeingOrNot) {
    EXPECT_EQ(recheckHost(), 0);
    fake.handshakeResult = 2;
    EXPECT_EQ(recheckHost(), -1);
    fake.handshakeResult = 0;
    fake.version = 0;
    EXPECT_EQ(recheckHost(), -1);
    fake.version = 112;
    fake.documentSize.reset();
    EXPECT_EQ(recheckHost(), -1);
}

}  // namespace
}  // namespace scalarka
