// Merging in the host: the options in "Scalarka.dat", a document in the
// host's item list, and the events that start a merge (P, F7, printing) or
// pass it by; what the host shows, keeps and is asked to do, in order.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "emulator/core/document.h"
#include "tests/support/file_bytes.h"
#include "tests/support/loaded_host.h"

namespace korpus {
namespace {

using scalarka::ItemRecord;
using testing::LoadedHost;

constexpr std::int32_t handlerAnswer = 4711;
const std::string mergingNotice = "Łączenie takich samych pozycji...";

// A line of goods as the host keeps it: one piece (1000 thousandths) at a
// price in grosze per unit, VAT 23 %, from warehouse 1.
ItemRecord goods(const char* name, const char* symbol, std::int32_t quantity, double price) {
    ItemRecord line{};
    std::strcpy(line.name, name);
    std::strcpy(line.symbol, symbol);
    std::strcpy(line.index, "");
    line.quantity = quantity;
    line.price = price;
    line.key166 = 23;
    line.key184 = 0;
    line.key509 = 1;
    line.key511 = 1;
    return line;
}

// An in-shop EAN-13 code for weighed goods, its check digit added.
std::string weighedCode(const std::string& twelveDigits) {
    int sum = 0;
    for (std::size_t i = 0; i < 12; ++i) {
        sum += (twelveDigits[i] - '0') * (i % 2 == 0 ? 1 : 3);
    }
    return twelveDigits + static_cast<char>('0' + (10 - sum % 10) % 10);
}

// The options record as the dialog saves it.
std::string optionsBytes(std::uint8_t documentKinds, std::uint16_t comparedAttributes, std::uint16_t triggerMode,
                         std::uint8_t weighedGoods) {
    const unsigned char bytes[8] = {documentKinds,
                                    0,
                                    static_cast<unsigned char>(comparedAttributes & 0xFF),
                                    static_cast<unsigned char>(comparedAttributes >> 8),
                                    static_cast<unsigned char>(triggerMode & 0xFF),
                                    static_cast<unsigned char>(triggerMode >> 8),
                                    weighedGoods,
                                    0};
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

class Merging : public ::testing::Test {
   protected:
    Merging() : host(configured()) {}

    static HostConfig configured() {
        HostConfig config;
        config.lineHandlerResult = handlerAnswer;
        return config;
    }

    void writeOptions(const std::string& bytes) {
        std::ofstream(host.directory() / "Scalarka.dat", std::ios::binary) << bytes;
    }

    // A sales invoice with two lines of the same bread around a line of milk,
    // and the host's empty line at the end; then the plug-in attached and
    // active, as after the host's start, with the start's traces forgotten.
    void openInvoice(std::int32_t kind = 812) {
        Document& document = host.document();
        document.kind = kind;
        document.approved = true;
        document.setLines({goods("Chleb", "CH-1", 2000, 450.0), goods("Mleko", "ML-2", 1000, 399.0),
                           goods("Chleb", "CH-1", 1000, 450.0)});
        document.recalculate();
        // The installation notice has been answered before.
        std::ofstream(host.directory() / "WtyczkiG.ini") << "[Scalarka]\nPytaj=0\n";
        ASSERT_EQ(host.pluginInit(), 0);
        ASSERT_EQ(host.pluginStart(0), 0);
        host.trace().clear();
        host.messages().clear();
    }

    std::vector<std::string> layout() {
        std::vector<std::string> lines;
        for (const ItemRecord* line : host.document().pointers) {
            lines.push_back(std::string(line->name) + " " + std::to_string(line->quantity));
        }
        return lines;
    }
    const std::vector<std::string> unmerged = {"Chleb 2000", "Mleko 1000", "Chleb 1000", " 0"};
    const std::vector<std::string> merged = {"Chleb 3000", "Mleko 1000", " 0", " 0"};

    // The line handler the host had before the plug-in got the event last,
    // with the arguments the host gave.
    void expectHostHandlerGot(std::int32_t eventCode, std::intptr_t eventArgument) {
        ASSERT_EQ(host.lineHandlerCalls().size(), 1u);
        const HandlerCall& call = host.lineHandlerCalls()[0];
        const std::intptr_t expected[11] = {eventCode,
                                            host.document().kind,
                                            reinterpret_cast<std::intptr_t>(&host.document().lineCount),
                                            reinterpret_cast<std::intptr_t>(host.document().pointers.data()),
                                            0,
                                            eventArgument,
                                            0,
                                            0,
                                            0,
                                            0,
                                            0};
        for (int i = 0; i < 11; ++i) {
            EXPECT_EQ(call.arguments[i], expected[i]) << "argument " << i + 1;
        }
        EXPECT_EQ(call.lineCountSeen, 4) << "the host's count is the plug-in's to read only";
        EXPECT_EQ(host.trace().lines().back().rfind("-- host line handler(", 0), 0u) << host.trace().text();
    }

    LoadedHost host;
};

TEST_F(Merging, PMergesTheDocumentThenPassesTheEventOn) {
    writeOptions(optionsBytes(0x01, 0x0038, 0, 0));
    openInvoice();

    EXPECT_EQ(host.lineEvent(80, 0x2A), handlerAnswer);

    EXPECT_EQ(layout(), merged);
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].service, "messageBox");
    EXPECT_EQ(host.messages()[0].title, "Uwaga");
    EXPECT_EQ(host.messages()[0].text, mergingNotice);
    // In the host's order: read the options, make the document current,
    // withdraw, notice, fold, recalculate, refresh, the F7 key, the handler.
    std::vector<std::string> services;
    for (const std::string& line : host.trace().lines()) {
        if (line.rfind("-- ", 0) == 0) {
            services.push_back(line.substr(0, line.find('(')));
        } else {
            services.push_back(line.substr(line.find(' ') + 1, line.find('(') - line.find(' ') - 1));
        }
    }
    const std::vector<std::string> order = {
        "-- line event 80",      "tableDescriptor", "fileOpen",    "holderConstruct",      "holderTakeStream",
        "holderDestroy",         "fileRead",        "fileClose",   "tableRecordAccess",    "tableDescriptor",
        "approvalWithdrawal",    "release",         "messageBox",  "lineRecalculation",    "lineArrayRecalculation",
        "documentRecalculation", "screenRefresh",   "keyCodeCall", "-- host line handler",
    };
    EXPECT_EQ(services, order) << host.trace().text();
    EXPECT_EQ(host.trace().callsOf("messageBox"),
              std::vector<std::string>{"52028 messageBox(\"Uwaga\", \"" + mergingNotice + "\", 512) -> 0"});
    EXPECT_EQ(host.trace().callsOf("lineRecalculation"),
              std::vector<std::string>{"52332 lineRecalculation(0, line[0], document, 1) -> 0 (value 1350)"});
    EXPECT_EQ(host.trace().callsOf("keyCodeCall"), std::vector<std::string>{"33197 keyCodeCall(16640) -> 0"});
    EXPECT_EQ(host.trace().callsOf("documentRecalculation"),
              std::vector<std::string>{"52331 documentRecalculation(document, document, lines, 4) -> 0 (total 1749)"});

    ASSERT_EQ(host.withdrawals().size(), 1u);
    const Withdrawal& withdrawal = host.withdrawals()[0];
    EXPECT_EQ(withdrawal.documentKind, 812);
    EXPECT_EQ(withdrawal.eventArgument, 0x2A);
    EXPECT_EQ(withdrawal.lineCountSeen, 4);
    EXPECT_TRUE(withdrawal.documentFlagSet) << "bit 0x400 marks the withdrawal while it runs";
    EXPECT_TRUE(withdrawal.released);
    EXPECT_EQ(host.document().header.documentFlags & 0x400, 0) << "and is cleared after it";
    EXPECT_FALSE(host.document().approved);
    EXPECT_EQ(documentTotal(host.document().header), 1749.0);
    EXPECT_EQ(host.openStreams(), 0u);
    expectHostHandlerGot(80, 0x2A);
}

struct TriggerCase {
    const char* name;
    std::int32_t eventCode;
    std::uint16_t triggerMode;
    bool merges;
    bool keyCodeCall;
};

class Triggers : public Merging, public ::testing::WithParamInterface<TriggerCase> {};

TEST_P(Triggers, OnlyTheChosenTriggerMerges) {
    const TriggerCase& c = GetParam();
    writeOptions(optionsBytes(0x1F, 0x0038, c.triggerMode, 0));
    openInvoice();

    EXPECT_EQ(host.lineEvent(c.eventCode, 9), handlerAnswer);

    EXPECT_EQ(layout(), c.merges ? merged : unmerged);
    EXPECT_EQ(host.keyCodes(), c.keyCodeCall ? std::vector<std::int32_t>{16640} : std::vector<std::int32_t>{});
    EXPECT_EQ(host.trace().callsOf("fileOpen").size(), 1u) << "each trigger event reads the options again";
    EXPECT_EQ(host.messages().size(), c.merges ? 1u : 0u);
    expectHostHandlerGot(c.eventCode, 9);
}

INSTANTIATE_TEST_SUITE_P(Events, Triggers,
                         ::testing::Values(TriggerCase{"CapitalP", 80, 0, true, true},
                                           TriggerCase{"SmallP", 112, 0, true, true},
                                           TriggerCase{"F7", 16640, 1, true, false},
                                           TriggerCase{"Print2009", 2009, 2, true, false},
                                           TriggerCase{"Print2010", 2010, 2, true, false},
                                           TriggerCase{"PWhileF7IsChosen", 80, 1, false, false},
                                           TriggerCase{"F7WhileTheKeyPIsChosen", 16640, 0, false, false},
                                           TriggerCase{"PrintWhileF7IsChosen", 2009, 1, false, false},
                                           TriggerCase{"F7WhilePrintIsChosen", 16640, 2, false, false},
                                           TriggerCase{"PUnderAnUnknownMode", 80, 3, false, false}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

struct KindCase {
    const char* name;
    std::int32_t kind;
    std::uint8_t documentKinds;
    bool merges;
};

class DocumentKinds : public Merging, public ::testing::WithParamInterface<KindCase> {};

TEST_P(DocumentKinds, MergeOnlyOnTheKindsChosenOrUnknownToTheOptions) {
    const KindCase& c = GetParam();
    writeOptions(optionsBytes(c.documentKinds, 0x0038, 0, 0));
    openInvoice(c.kind);

    host.lineEvent(80);

    EXPECT_EQ(layout(), c.merges ? merged : unmerged);
    EXPECT_EQ(host.withdrawals().size(), c.merges ? 1u : 0u);
    expectHostHandlerGot(80, 0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, DocumentKinds,
                         ::testing::Values(KindCase{"VatInvoiceChosen", 812, 0x01, true},
                                           KindCase{"VatInvoiceNotChosen", 812, 0x1E, false},
                                           KindCase{"PersonDocumentChosen", 68, 0x02, true},
                                           KindCase{"ExportInvoiceNotChosen", 808, 0x1B, false},
                                           KindCase{"PendingIssueChosen", 806, 0x08, true},
                                           KindCase{"CustomerReservationNotChosen", 802, 0x0F, false},
                                           KindCase{"KindOutsideTheOptions", 70, 0x00, true}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(Merging, WithoutAnOptionsFileTheKnownKindsAreLeftAlone) {
    openInvoice(812);

    host.lineEvent(80);

    EXPECT_EQ(layout(), unmerged);
    EXPECT_TRUE(host.messages().empty()) << "a missing file is no error";
    EXPECT_FALSE(std::filesystem::exists(host.directory() / "Scalarka.dat")) << "reading creates nothing";
    expectHostHandlerGot(80, 0);
}

TEST_F(Merging, ShortOptionsFileIsReportedAtEveryTriggerAndLeftAsItIs) {
    writeOptions(std::string("\x01\x00\x39", 3));
    openInvoice(812);

    host.lineEvent(80);
    host.lineEvent(16640);

    ASSERT_EQ(host.messages().size(), 2u);
    for (const ShownMessage& message : host.messages()) {
        EXPECT_EQ(message.title, "Uwaga");
        EXPECT_EQ(message.text, "Błąd podczas czytania opcji raportu!\n Niektóre opcje zostaną zresetowane!");
    }
    EXPECT_EQ(layout(), unmerged);
    EXPECT_EQ(testing::fileBytes(host.directory() / "Scalarka.dat"), std::string("\x01\x00\x39", 3));
    EXPECT_EQ(host.openStreams(), 0u);
}

TEST_F(Merging, OtherEventsGoStraightToTheHostsHandler) {
    writeOptions(optionsBytes(0x1F, 0x0038, 0, 0));
    openInvoice();

    EXPECT_EQ(host.lineEvent(13, 5), handlerAnswer);

    EXPECT_EQ(layout(), unmerged);
    const std::vector<std::string> expected = {"-- line event 13", "-- host line handler(13, 812, count 4) -> 4711"};
    EXPECT_EQ(host.trace().lines(), expected);
}

TEST_F(Merging, ComparedNamesKeepDifferentlyNamedGoodsApart) {
    openInvoice();
    // The third line: the same goods under another name.
    std::strcpy(host.document().lines[2].name, "Chleb razowy");

    writeOptions(optionsBytes(0x01, 0x0038, 0, 0));
    host.lineEvent(80);
    EXPECT_EQ(layout(), (std::vector<std::string>{"Chleb 3000", "Mleko 1000", " 0", " 0"}))
        << "the name is not compared";

    host.document().setLines({goods("Chleb", "CH-1", 2000, 450.0), goods("Chleb razowy", "CH-1", 1000, 450.0)});
    writeOptions(optionsBytes(0x01, 0x0039, 0, 0));
    host.lineEvent(80);
    EXPECT_EQ(layout(), (std::vector<std::string>{"Chleb 2000", "Chleb razowy 1000", " 0"}));
}

// Weighed goods in the host's in-shop codes: each line carries a code with
// the goods number and the weight in grams; normalised, both become the
// goods "12345" by weight and merge.
TEST_F(Merging, WeighedGoodsMergeByTheirGoodsSymbolAndWeight) {
    writeOptions(optionsBytes(0x01, 0x003A, 0, 0x01));
    openInvoice();
    const std::string first = weighedCode("201234501250");   // 1250 g
    const std::string second = weighedCode("201234500750");  // 750 g
    host.document().setLines({goods("Ser", first.c_str(), 1000, 3290.0), goods("Ser", second.c_str(), 1000, 3290.0),
                              goods("Ser", "12346", 500, 3290.0)});
    host.document().recalculate();

    host.lineEvent(80);

    EXPECT_EQ(layout(), (std::vector<std::string>{"Ser 2000", "Ser 500", " 0", " 0"}));
    EXPECT_STREQ(host.document().lines[0].symbol, "12345");
    EXPECT_EQ(host.trace().callsOf("boundedCopy").size(), 2u) << host.trace().text();
    // The plain symbol is looked at once, as a candidate, and rejected.
    EXPECT_EQ(host.trace().callsOf("symbolParser").size(), 3u) << host.trace().text();
}

// The weight scaling truncates IEEE double products: 290 x 0.001 x 100 is
// 28.999999999999996, so 28, not 29. Arithmetic in the x87 unit at extended
// precision (as a host may leave it) would give 29: this runs in the loaded
// plug-in, the shipped PE32 build included.
struct ScaledCase {
    std::int32_t quantity;
    const char* twelveDigits;  // goods 12345, the weight in grams
    std::int32_t expected;
};

class WeighedScaling : public Merging, public ::testing::WithParamInterface<ScaledCase> {};

TEST_P(WeighedScaling, QuantityIsScaledByTheWeightAndTruncated) {
    const ScaledCase& c = GetParam();
    writeOptions(optionsBytes(0x01, 0x0038, 0, 0x01));
    openInvoice();
    const std::string code = weighedCode(c.twelveDigits);
    host.document().setLines({goods("Ser", code.c_str(), c.quantity, 3290.0)});
    host.lineEvent(80);
    EXPECT_EQ(host.document().lines[0].quantity, c.expected) << "quantity " << c.quantity << ", code " << code;
    EXPECT_STREQ(host.document().lines[0].symbol, "12345");
}

INSTANTIATE_TEST_SUITE_P(Figures, WeighedScaling,
                         ::testing::Values(ScaledCase{290, "201234500100", 28}, ScaledCase{580, "201234500750", 434},
                                           ScaledCase{-3, "201234500500", -1}, ScaledCase{500, "201234500250", 125}));

}  // namespace
}  // namespace korpus
