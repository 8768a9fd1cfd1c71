// The options dialog in the host: what the user sees, what the keys change,
// and when "Scalarka.dat" is written.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/file_bytes.h"
#include "tests/support/loaded_host.h"

namespace korpus {
namespace {

using testing::LoadedHost;

std::string readFile(const std::filesystem::path& path) { return testing::fileBytes(path); }

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string bytes(std::initializer_list<unsigned char> values) { return std::string(values.begin(), values.end()); }

std::string expectedScreen(const char* name) { return readFile(std::filesystem::path(SCALARKA_EXPECTED_DIR) / name); }

// The row of the screen that shows a label, for failure messages that point
// at one line.
std::string rowWith(const std::string& screen, const std::string& label) {
    const std::size_t at = screen.find(label);
    if (at == std::string::npos) {
        return "(no row shows " + label + ")";
    }
    const std::size_t start = screen.rfind('\n', at) + 1;
    return screen.substr(start, screen.find('\n', at) - start);
}

class OptionsDialogInHost : public ::testing::Test {
   protected:
    // The user's keys, then the plug-in attached and configured once.
    void openDialog(std::vector<std::string> keys) {
        host.config().dialogKeys = std::move(keys);
        ASSERT_EQ(host.pluginInit(), 0);
        EXPECT_EQ(host.pluginConfigure(3), 0);
        ASSERT_EQ(host.dialogs().size(), 1u);
    }
    const ShownDialog& dialog() { return host.dialogs().at(0); }

    LoadedHost host;
    std::filesystem::path dataFile = host.directory() / "Scalarka.dat";
};

TEST_F(OptionsDialogInHost, WithoutDataFileShowsNoKindsTheFixedAttributesTheKeyPAndNoWeighedGoods) {
    openDialog({"Esc"});
    EXPECT_EQ(dialog().title, "Łączenie pozycji");
    EXPECT_EQ(dialog().openingScreen, expectedScreen("options_dialog.txt")) << dialog().openingScreen;
    const std::string& screen = dialog().openingScreen;
    for (const char* kind :
         {"[ ] F3 Faktury sprzedaży (VAT)", "[ ] F4 Dokumenty dla osób fizycznych", "[ ] F5 Faktury eksportowe",
          "[ ] F6 Wydania oczekujące", "[ ] F7 Rezerwacje od odbiorców", "[ ] Nazwa towaru", "{x} Cena towaru",
          "{x} Upust towaru", "{x} Stawka VAT towaru", "(*) F8 Zawsze po wybraniu klawisza 'P'",
          "( ) F9 Przed zatwierdzeniem", "[ ] F11 Łącz towary ważone"}) {
        EXPECT_NE(screen.find(kind), std::string::npos) << "expected " << kind << "\n" << screen;
    }
    EXPECT_EQ(dialog().result, 0x5002);
    EXPECT_FALSE(std::filesystem::exists(dataFile)) << "a cancelled dialog writes nothing";
}

TEST_F(OptionsDialogInHost, KeysEditTheOptionsAndOkSavesThem) {
    openDialog({"F3", "F5", "N", "I", "I", "F10", "F11", "F12"});
    EXPECT_EQ(dialog().result, 0x5001);
    EXPECT_EQ(readFile(dataFile), bytes({0x05, 0x00, 0x39, 0x00, 0x02, 0x00, 0x01, 0x00}));
    const std::string& screen = dialog().closingScreen;
    EXPECT_EQ(rowWith(screen, "Faktury sprzedaży"),
              "│   [x] F3 Faktury sprzedaży (VAT)                                  │");
    EXPECT_EQ(rowWith(screen, "Nazwa towaru"), "│   [x] Nazwa towaru                {x} Cena towaru                 │");
    EXPECT_EQ(rowWith(screen, "Indeks"), "│   [ ] Indeks towaru               {x} Stawka VAT towaru           │");
    EXPECT_EQ(rowWith(screen, "Zawsze"), "│   ( ) F8 Zawsze po wybraniu klawisza 'P'                          │");
    EXPECT_EQ(rowWith(screen, "wydrukiem"), "│   (*) F10 Przed wydrukiem (F3)                                    │");
    EXPECT_EQ(rowWith(screen, "ważone"), "│   [x] F11 Łącz towary ważone                                      │");
}

TEST_F(OptionsDialogInHost, FixedAttributesClearInTheFileAreShownTickedAndSavedSet) {
    writeFile(dataFile, bytes({0x12, 0x00, 0x02, 0x00, 0x01, 0x00, 0x00, 0x00}));
    openDialog({"F12"});
    const std::string& screen = dialog().openingScreen;
    EXPECT_NE(screen.find("{x} Cena towaru"), std::string::npos) << screen;
    EXPECT_NE(screen.find("[x] F4 Dokumenty"), std::string::npos) << screen;
    EXPECT_NE(screen.find("[x] Symbol towaru"), std::string::npos) << screen;
    EXPECT_NE(screen.find("(*) F9 Przed zatwierdzeniem"), std::string::npos) << screen;
    EXPECT_EQ(readFile(dataFile), bytes({0x12, 0x00, 0x3A, 0x00, 0x01, 0x00, 0x00, 0x00}));
}

TEST_F(OptionsDialogInHost, OkWithoutChangesStillRewritesTheFile) {
    // A ninth byte that only a rewrite removes.
    writeFile(dataFile, bytes({0x01, 0x00, 0x38, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF}));
    openDialog({"F12"});
    EXPECT_EQ(readFile(dataFile), bytes({0x01, 0x00, 0x38, 0x00, 0x00, 0x00, 0x00, 0x00}));
}

TEST_F(OptionsDialogInHost, CancelLeavesTheFileByteForByte) {
    const std::string stored = bytes({0x01, 0x5A, 0x00, 0x00, 0x00, 0x00, 0x00, 0xA5, 0x77});
    writeFile(dataFile, stored);
    openDialog({"F3", "F4", "N", "F9", "F11", "Esc"});
    EXPECT_EQ(dialog().result, 0x5002);
    EXPECT_NE(dialog().closingScreen.find("[x] F11 Łącz towary ważone"), std::string::npos)
        << "the keys did change the record in memory\n"
        << dialog().closingScreen;
    EXPECT_EQ(readFile(dataFile), stored);
}

TEST_F(OptionsDialogInHost, TheHandlerSlotInFrontOfTheFormReachesTheHostsHandler) {
    host.config().formHandlerResult = 99;
    openDialog({"Esc"});
    using HandlerFn = std::int32_t(std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t);
    const auto* slot = reinterpret_cast<HandlerFn* const*>(static_cast<const char*>(dialog().form) - sizeof(void*));

    EXPECT_EQ((*slot)(5, 6, 7, 8), 99);
    EXPECT_EQ((*slot)(9, 10, 11, 12), 99);

    ASSERT_EQ(host.formHandlerCalls().size(), 2u);
    EXPECT_EQ(host.formHandlerCalls()[0].arguments[0], 5);
    EXPECT_EQ(host.formHandlerCalls()[0].arguments[3], 8);
    EXPECT_EQ(host.formHandlerCalls()[1].arguments[2], 11);
    EXPECT_EQ(host.trace().callsOf("handlerLookup").size(), 1u) << "the slot keeps what the host handed out";
}

}  // namespace
}  // namespace korpus
