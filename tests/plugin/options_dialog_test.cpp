// The options dialog against a fake host: what the host's dialog service is
// handed, and which of its answers save the options. Also the INI routine
// that hands its further arguments on to the host as one list.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <string>

#include "host/host_table.h"
#include "options/install_notice.h"
#include "options/merge_options.h"
#include "options/options_dialog.h"
#include "options/options_form.h"
#include "tests/plugin/fake_host.h"
#include "tests/plugin/host_table_state.h"

namespace scalarka {
namespace {

using testing::fakeHost;

const std::string fileName = "Scalarka.dat";

struct DialogCall {
    int calls = 0;
    const void* form = nullptr;
    std::int32_t dialogId = 0;
    void* record = nullptr;
    std::int32_t reserved = -1;
    MergeOptions shown{};
    std::int32_t answer = 0;
};
DialogCall dialog;

// The user ticks VAT and export invoices, chooses the print trigger and
// closes the dialog as the test says.
std::int32_t fakeDialogService(const void* form, std::int32_t dialogId, void* record, std::int32_t reserved) {
    ++dialog.calls;
    dialog.form = form;
    dialog.dialogId = dialogId;
    dialog.record = record;
    dialog.reserved = reserved;
    std::memcpy(&dialog.shown, record, sizeof dialog.shown);
    auto* options = static_cast<MergeOptions*>(record);
    options->documentKinds = VatInvoice | ExportInvoice;
    options->triggerMode = TriggerBeforePrint;
    return dialog.answer;
}

class OptionsDialog : public ::testing::Test {
   protected:
    void SetUp() override {
        testing::installFakeHost();
        hostFunctionTable[hostDialogServiceIndex].target = reinterpret_cast<CodeAddress>(&fakeDialogService);
        dialog = {};
        mergeOptions = {};
    }
    void TearDown() override {
        mergeOptions = {};
        testing::restoreUnboundHostTable();
    }
};

TEST_F(OptionsDialog, HandsTheHostTheFormTheDialogIdAndTheLoadedRecordWithTheFixedAttributes) {
    // Name compared, the three fixed attributes clear, weighed goods on.
    const std::string stored("\x10\x00\x01\x00\x01\x00\x01\x00", 8);
    fakeHost().files[fileName] = stored;

    EXPECT_EQ(runOptionsDialog(99), 0);

    ASSERT_EQ(dialog.calls, 1);
    EXPECT_EQ(dialog.form, static_cast<const void*>(&optionsForm));
    EXPECT_EQ(dialog.dialogId, 20110);
    EXPECT_EQ(dialog.record, static_cast<void*>(&mergeOptions));
    EXPECT_EQ(dialog.reserved, 0);
    EXPECT_EQ(dialog.shown.documentKinds, 0x10);
    EXPECT_EQ(dialog.shown.comparedAttributes, 0x0039) << "price, discount and VAT rate are set before showing";
    EXPECT_EQ(dialog.shown.triggerMode, 1);
    EXPECT_EQ(dialog.shown.weighedGoods, 1);
}

struct AnswerCase {
    const char* name;
    std::int32_t answer;
    bool saved;
};

class OptionsDialogClosed : public OptionsDialog, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(OptionsDialogClosed, SavesOnlyWhenTheLowSixteenBitsSayOk) {
    const AnswerCase& c = GetParam();
    const std::string stored("\x02\x7F\x00\x00\x00\x00\x00\x7E", 8);
    fakeHost().files[fileName] = stored;
    dialog.answer = c.answer;

    EXPECT_EQ(runOptionsDialog(0), 0) << "the dialog answers 0 whether saved or not";

    const std::string expected = c.saved ? std::string("\x05\x7F\x38\x00\x02\x00\x00\x7E", 8) : stored;
    EXPECT_EQ(fakeHost().files[fileName], expected) << testing::callList(fakeHost().calls);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, OptionsDialogClosed,
    ::testing::Values(AnswerCase{"Ok", 0x5001, true}, AnswerCase{"OkWithUpperBits", 0x12345001, true},
                      AnswerCase{"OkWithAllUpperBits", static_cast<std::int32_t>(0xFFFF5001u), true},
                      AnswerCase{"Cancel", 0x5002, false}, AnswerCase{"OkOnlyInTheUpperBits", 0x50015002, false},
                      AnswerCase{"Nothing", 0, false}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(OptionsDialog, HostWithoutDialogSavesNothing) {
    hostFunctionTable[hostDialogServiceIndex].target = nullptr;
    fakeHost().files[fileName] = std::string(8, '\0');
    EXPECT_EQ(runOptionsDialog(0), 0);
    EXPECT_EQ(fakeHost().files[fileName], std::string(8, '\0'));
}

// ---- pluginIni ----

struct IniCall {
    std::string file, section, key, format;
    std::int32_t operation = 0;
    std::int32_t valueWritten = 0;
    std::int32_t answer = 0;
};
IniCall ini;

std::int32_t fakeIniService(const char* file, std::int32_t operation, const char* section, const char* key,
                            const char* format, va_list values) {
    ini.file = file;
    ini.operation = operation;
    ini.section = section;
    ini.key = key;
    ini.format = format;
    if (operation == iniRead) {
        *va_arg(values, std::int32_t*) = 65536;
        *va_arg(values, std::int32_t*) = -3;
    } else {
        ini.valueWritten = va_arg(values, std::int32_t);
    }
    return ini.answer;
}

class PluginIni : public ::testing::Test {
   protected:
    void SetUp() override {
        testing::restoreUnboundHostTable();
        ini = {};
        hostFunctionTable[hostIniServiceIndex].target = reinterpret_cast<CodeAddress>(&fakeIniService);
    }
    void TearDown() override { testing::restoreUnboundHostTable(); }
};

TEST_F(PluginIni, HandsTheAddressesToReadIntoOnAsOneList) {
    ini.answer = 0x00070000;
    std::int32_t first = 0;
    std::int32_t second = 0;
    EXPECT_EQ(pluginIni("WtyczkiG.ini", iniRead, "Scalarka", "Pytaj", "%d %d", &first, &second), 0x00070000)
        << "the service's result comes back unchanged";
    EXPECT_EQ(ini.file, "WtyczkiG.ini");
    EXPECT_EQ(ini.operation, iniRead);
    EXPECT_EQ(ini.section, "Scalarka");
    EXPECT_EQ(ini.key, "Pytaj");
    EXPECT_EQ(ini.format, "%d %d");
    EXPECT_EQ(first, 65536);
    EXPECT_EQ(second, -3);
}

TEST_F(PluginIni, HandsTheValuesToWriteOn) {
    ini.answer = -9;
    EXPECT_EQ(pluginIni("WtyczkiG.ini", iniWrite, "Scalarka", "Pytaj", "%d", -1), -9);
    EXPECT_EQ(ini.operation, iniWrite);
    EXPECT_EQ(ini.valueWritten, -1);
}

TEST_F(PluginIni, HostWithoutIniServiceReadsNothing) {
    hostFunctionTable[hostIniServiceIndex].target = nullptr;
    std::int32_t value = 12;
    EXPECT_NE(pluginIni("WtyczkiG.ini", iniRead, "Scalarka", "Pytaj", "%d", &value) & 0xFFFF, 0);
    EXPECT_EQ(value, 12);
}

}  // namespace
}  // namespace scalarka
