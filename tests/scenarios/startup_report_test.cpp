// The start-up report in the host: for each way a host can disagree with the
// plug-in, the one message the user sees under "STOP!!!".
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/loaded_host.h"

namespace korpus {
namespace {

using testing::LoadedHost;

const std::string title = "Łączenie takich samych pozycji na dokumencie";

std::string missingFunctions(const std::string& list, const std::string& pronoun) {
    return "Wtyczka \"" + title + "\" potrzebuje zaimportować\n" + list + " z modułu głównego,\njednak moduł główny " +
           pronoun +
           " nie posiada. Aby naprawić tę sytuację\nzainstaluj aktualizację programu oraz wtyczki.\n\nWTYCZKA NIE "
           "ZOSTANIE ZAŁADOWANA!!!\n";
}

std::string recordSizes(const std::vector<std::string>& rows) {
    std::string text = "Rozmiary rekordów niektórych tabel nie zgadzają się\nmiędzy programem a wtyczką '" + title +
                       "' (moduł 'Scalarka.dll'):\n\n\x01tl18l33\x01TABELA\tWE WTYCZCE\tW PROGRAMIE\n";
    for (const std::string& row : rows) {
        text += "\x01tp25p40\x01" + row + "\n";
    }
    return text + "\nModuł \x02Scalarka.dll\x01\nNIE zostanie załadowany!";
}

const std::string unsupported = "Program nie obsługuje cech 0x%s,\nktóre są niezbędne dla modułu '" + title + "'.";
const std::string differentVersions =
    "Moduł \"Scalarka.dll\" i program występują w różnych wersjach!\n\nZostał zakualizowany tylko program albo tylko "
    "moduł,\na nie oba jednocześnie! Aby naprawić tę sytuację\nzainstaluj aktualizację programu wraz z modułem "
    "\"Scalarka.dll\".\n\nMODUŁ NIE ZOSTANIE ZAŁADOWANY!!!\n";
const std::string notInitialised =
    "Moduł \"Scalarka.dll\" nie został poprawnie zainicjowany,\nwięc NIE BĘDZIE AKTYWNY!";

std::string withHex(const char* digits) {
    std::string text = unsupported;
    return text.replace(text.find("%s"), 2, digits);
}

// What the host does before it asks for the report.
enum class Before { nothing, attach, attachAndActivate };

struct ReportCase {
    const char* name;
    std::function<void(HostConfig&)> configure;
    Before before;
    std::string expected;  // UTF-8, display marks as they are
    bool callbackTold;
};

class StartupReportInHost : public ::testing::TestWithParam<ReportCase> {};

TEST_P(StartupReportInHost, ShowsTheOneMessageThatApplies) {
    const ReportCase& c = GetParam();
    HostConfig config;
    c.configure(config);
    LoadedHost host(config);
    if (c.before != Before::nothing) {
        host.pluginInit();
    }
    if (c.before == Before::attachAndActivate) {
        host.pluginStart(0);
    }
    host.messages().clear();

    EXPECT_EQ(host.pluginStart(1), 0);

    ASSERT_EQ(host.messages().size(), 1u) << host.trace().text();
    const ShownMessage& shown = host.messages()[0];
    EXPECT_EQ(shown.service, "formattedMessageBox");
    EXPECT_EQ(shown.title, "STOP!!!");
    EXPECT_EQ(shown.text, c.expected);
    const std::vector<std::pair<std::int32_t, std::int32_t>> told = {{1, -1}};
    EXPECT_EQ(host.callbackCalls(), c.callbackTold ? told : decltype(told){});
    const std::vector<std::string> boxes = host.trace().callsOf("formattedMessageBox");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].find("35802 formattedMessageBox(15000, \"STOP!!!\", "), 0u) << boxes[0];
    EXPECT_NE(boxes[0].find(", 0xF001, 0x6E2E, shown "), std::string::npos) << boxes[0];
}

const auto asLoaded = [](HostConfig&) {};

INSTANTIATE_TEST_SUITE_P(
    Hosts, StartupReportInHost,
    ::testing::Values(
        ReportCase{"UnsupportedFeature4ComesFirst",
                   [](HostConfig& c) {
                       c.unsupportedFeatures = 4;
                       c.missingOrdinals = {52030};
                   },
                   Before::attach, withHex("00000004"), true},
        ReportCase{"FeaturesWordLeftAsLoaded",
                   [](HostConfig& c) {
                       c.unsupportedFeatures.reset();
                       c.missingOrdinals = {52030};
                   },
                   Before::attach, withHex("FFFFFFFF"), true},
        ReportCase{"OneFunctionMissingComesBeforeRecordSizes",
                   [](HostConfig& c) {
                       c.missingOrdinals = {52030};
                       c.documentRecordSize = 1470;
                   },
                   Before::attach, missingFunctions("funkcję o numerze 52030", "jej"), true},
        ReportCase{"ThreeFunctionsMissing",
                   [](HostConfig& c) {
                       c.missingOrdinals = {52308, 30018, 40008};
                   },
                   Before::attach, missingFunctions("funkcje o numerach 30018, 40008, 52308", "ich"), true},
        ReportCase{"TwelveFunctionsMissingListTheFirstEightRecorded",
                   [](HostConfig& c) {
                       c.missingOrdinals = {40008, 41611, 41613, 30005, 38417, 52308,
                                            52030, 52470, 33197, 52154, 52126, 52161};
                   },
                   Before::attach,
                   missingFunctions("funkcje o numerach 30005, 38417, 40008, 41611, 41613, 52030, 52308, 52470", "ich"),
                   true},
        ReportCase{"LargerDocumentRecordAndNoLineTable",
                   [](HostConfig& c) {
                       c.documentRecordSize = 1470;
                       c.lineRecordSize.reset();
                   },
                   Before::attach, recordSizes({"Tspr\t1469\t1470", "Tspr_dok\t515\tbrak"}), true},
        ReportCase{"LineTableFoundByTheChecksAndByTheHook", [](HostConfig& c) { c.lineRecordSize = 516; },
                   Before::attachAndActivate, recordSizes({"Tspr_dok\t515\t516", "Tspr_dok\t515\t516"}), true},
        ReportCase{"LineTableWrongFoundOnlyByTheRecheck", [](HostConfig& c) { c.lineRecordSize = 516; },
                   Before::nothing, differentVersions, true},
        ReportCase{"HostsOwnExplanation",
                   [](HostConfig& c) {
                       c.handshakeResult = 7;
                       c.handshakeExplanation = "Licencja: 100% %s";
                   },
                   Before::attach, "Licencja: 100% %s", true},
        ReportCase{"InterfaceVersion113", [](HostConfig& c) { c.interfaceVersion = 113; }, Before::attach,
                   differentVersions, true},
        ReportCase{"EverythingAgrees", asLoaded, Before::attach, notInitialised, true},
        ReportCase{"NoCallbackBeforeAttaching", [](HostConfig& c) { c.missingOrdinals = {30006}; }, Before::nothing,
                   notInitialised, false}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(StartupReportInHost, ReportAfterTheHookFoundTheLineTableWrong) {
    HostConfig config;
    config.lineRecordSize = 516;
    LoadedHost host(config);
    EXPECT_EQ(host.pluginStart(0), -1);
    host.messages().clear();
    host.pluginStart(2);
    ASSERT_EQ(host.messages().size(), 1u);
    // Only the hook has looked at the tables: its node is the one row.
    EXPECT_EQ(host.messages()[0].text, recordSizes({"Tspr_dok\t515\t516"}));
}

#if !defined(_WIN32)
// Windows does not load a library from so long a path; Linux does, and the
// plug-in keeps only the first 299 bytes of it.
TEST(StartupReportInHost, ModulePathLongerThanItsBufferNamesWhatIsLeft) {
    const std::filesystem::path directory =
        std::filesystem::temp_directory_path() / ("korpus-long-" + std::string(200, 'd')) / std::string(200, 'e');
    {
        HostConfig config;
        config.directory = directory;
        LoadedHost host(config);
        ASSERT_GT((directory / "Scalarka.dll").string().size(), 300u);
        host.pluginInit();
        host.pluginStart(1);
        ASSERT_EQ(host.messages().size(), 1u);
        const std::string& text = host.messages()[0].text;
        const std::string head = "Moduł \"";
        const std::size_t nameEnd = text.find('"', head.size());
        ASSERT_EQ(text.rfind(head, 0), 0u) << text;
        const std::string name = text.substr(head.size(), nameEnd - head.size());
        EXPECT_FALSE(name.empty());
        EXPECT_EQ(name, std::string(name.size(), 'e')) << "the cut path's last part";
        EXPECT_EQ(text.substr(nameEnd), "\" nie został poprawnie zainicjowany,\nwięc NIE BĘDZIE AKTYWNY!");
    }
    std::filesystem::remove_all(directory.parent_path());
}
#endif

}  // namespace
}  // namespace korpus
