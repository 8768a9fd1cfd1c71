// The host's services around the document being edited: recalculations,
// approval withdrawal and release, record access, text comparison, key codes
// and the message box.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "emulator/core/text.h"
#include "tests/emulator/service_call.h"

namespace korpus {
namespace {

using scalarka::DocumentRecord;
using scalarka::ItemRecord;
using scalarka::TableDescriptor;
using testing::serviceOf;

using MessageBoxFn = std::int32_t(const char*, const char*, std::int32_t);
using ApprovalWithdrawalFn = void*(std::int32_t, std::int32_t, ItemRecord**, std::int32_t*, std::int32_t, std::int32_t,
                                   std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t);
using ReleaseFn = std::int32_t(void*);
using TextComparisonFn = std::int32_t(const char*, const char*);
using LineRecalculationFn = std::int32_t(std::int32_t, ItemRecord*, DocumentRecord*, std::int32_t);
using LineArrayRecalculationFn = std::int32_t(ItemRecord**, std::int32_t, DocumentRecord*, std::int32_t, std::int32_t);
using DocumentRecalculationFn = std::int32_t(DocumentRecord*, DocumentRecord*, ItemRecord**, std::int32_t);
using TableRecordAccessFn = std::int32_t(TableDescriptor*, std::int32_t);
using KeyCodeCallFn = std::int32_t(std::int32_t);

ItemRecord goods(std::int32_t quantity, double price) {
    ItemRecord line{};
    line.quantity = quantity;
    line.price = price;
    line.key511 = 1;
    return line;
}

// Every byte of a line but the host's value.
bool sameButValue(const ItemRecord& a, const ItemRecord& b) {
    const auto* x = reinterpret_cast<const unsigned char*>(&a);
    const auto* y = reinterpret_cast<const unsigned char*>(&b);
    return std::memcmp(x, y, lineValueOffset) == 0 &&
           std::memcmp(x + lineValueOffset + 8, y + lineValueOffset + 8, sizeof(ItemRecord) - lineValueOffset - 8) == 0;
}

struct ValueCase {
    std::int32_t quantity;
    double price;
    double value;
};

class LineRecalculation : public ::testing::TestWithParam<ValueCase> {};

TEST_P(LineRecalculation, ValueIsQuantityInThousandthsTimesPriceToTheNearestGrosz) {
    const ValueCase& c = GetParam();
    Host host;
    host.document().setLines({goods(c.quantity, c.price)});
    ItemRecord& line = host.document().lines[0];
    std::memset(line.hostData346 + 8, 0x5A, sizeof line.hostData346 - 8);
    const ItemRecord before = line;
    serviceOf<LineRecalculationFn>(host, 52332)(0, &line, &host.document().header, 1);
    EXPECT_EQ(lineValue(line), c.value) << c.quantity << " x " << c.price;
    EXPECT_TRUE(sameButValue(line, before)) << "the recalculation changed more than the line's value";
}

INSTANTIATE_TEST_SUITE_P(Values, LineRecalculation,
                         ::testing::Values(ValueCase{1000, 449, 449}, ValueCase{2500, 389, 973}, ValueCase{1500, 1, 2},
                                           ValueCase{-1500, 1, -2}, ValueCase{-3000, 100, -300},
                                           ValueCase{350, 3290, 1152}, ValueCase{333, 1.5, 0}, ValueCase{0, 100, 0}));

class Recalculations : public ::testing::Test {
   protected:
    Recalculations() {
        host.document().setLines({goods(2000, 389), goods(1000, 449), goods(3000, 389)});
        host.document().header.documentFlags = 0x8001;
    }
    Document& document() { return host.document(); }
    Host host;
};

TEST_F(Recalculations, LineArrayRecalculationCoversTheCountedLinesOnly) {
    serviceOf<LineArrayRecalculationFn>(host, 52330)(document().pointers.data(), 2, &document().header, 0, 0);
    EXPECT_EQ(lineValue(document().lines[0]), 778);
    EXPECT_EQ(lineValue(document().lines[1]), 449);
    EXPECT_EQ(lineValue(document().lines[2]), 0) << "a line beyond the count was recalculated";
}

TEST_F(Recalculations, DocumentTotalIsTheSumOfTheValuesTheLinesHold) {
    serviceOf<LineArrayRecalculationFn>(host, 52330)(document().pointers.data(), document().lineCount,
                                                     &document().header, 0, 0);
    serviceOf<DocumentRecalculationFn>(host, 52331)(&document().header, &document().header, document().pointers.data(),
                                                    document().lineCount);
    EXPECT_EQ(documentTotal(document().header), 778 + 449 + 1167);
    EXPECT_EQ(std::uint16_t{document().header.documentFlags}, 0x8001) << "the total overwrote the flags";

    // A quantity changed without the line's recalculation is not in the total.
    document().lines[0].quantity = 4000;
    serviceOf<DocumentRecalculationFn>(host, 52331)(&document().header, &document().header, document().pointers.data(),
                                                    document().lineCount);
    EXPECT_EQ(documentTotal(document().header), 778 + 449 + 1167);
    serviceOf<LineRecalculationFn>(host, 52332)(0, &document().lines[0], &document().header, 1);
    serviceOf<DocumentRecalculationFn>(host, 52331)(&document().header, &document().header, document().pointers.data(),
                                                    document().lineCount);
    EXPECT_EQ(documentTotal(document().header), 1556 + 449 + 1167);
}

TEST_F(Recalculations, ValueTravelsWithTheLine) {
    serviceOf<LineArrayRecalculationFn>(host, 52330)(document().pointers.data(), document().lineCount,
                                                     &document().header, 0, 0);
    scalarka::moveLine(document().lines[0], document().lines[1]);
    EXPECT_EQ(lineValue(document().lines[0]), 449);
}

TEST_F(Recalculations, NullArgumentsChangeNothing) {
    EXPECT_EQ(serviceOf<LineRecalculationFn>(host, 52332)(0, nullptr, &document().header, 1), -1);
    EXPECT_EQ(serviceOf<LineArrayRecalculationFn>(host, 52330)(nullptr, 3, &document().header, 0, 0), -1);
    EXPECT_EQ(serviceOf<DocumentRecalculationFn>(host, 52331)(nullptr, nullptr, document().pointers.data(), 3), -1);
    EXPECT_EQ(serviceOf<DocumentRecalculationFn>(host, 52331)(&document().header, &document().header, nullptr, 3), -1);
    EXPECT_EQ(documentTotal(document().header), 0);
}

TEST_F(Recalculations, TraceNamesTheHostsRecords) {
    serviceOf<LineRecalculationFn>(host, 52332)(0, &document().lines[2], &document().header, 1);
    serviceOf<LineArrayRecalculationFn>(host, 52330)(document().pointers.data(), 4, &document().header, 0, 0);
    serviceOf<DocumentRecalculationFn>(host, 52331)(&document().header, &document().header, document().pointers.data(),
                                                    4);
    EXPECT_EQ(host.trace().lines(), (std::vector<std::string>{
                                        "52332 lineRecalculation(0, line[2], document, 1) -> 0 (value 1167)",
                                        "52330 lineArrayRecalculation(lines, 4, document, 0, 0) -> 0",
                                        "52331 documentRecalculation(document, document, lines, 4) -> 0 (total 2394)",
                                    }));
}

class ApprovalWithdrawal : public ::testing::Test {
   protected:
    ApprovalWithdrawal() {
        host.document().setLines({goods(2000, 389), goods(1000, 449)});
        host.document().approved = true;
    }
    TableDescriptor* documentTable() { return host.table(scalarka::documentTable); }
    void* withdraw(std::int32_t* count) {
        return serviceOf<ApprovalWithdrawalFn>(host, 52004)(812, 77, host.document().pointers.data(), count, 0, 0, 0, 1,
                                                            0, 0, 0, 0);
    }
    std::int32_t release(void* value) { return serviceOf<ReleaseFn>(host, 52470)(value); }
    Host host;
};

TEST_F(ApprovalWithdrawal, SeesTheFlagOnTheCurrentDocumentAndWithdrawsTheApproval) {
    serviceOf<TableRecordAccessFn>(host, 52465)(documentTable(), 255);
    host.document().header.documentFlags = 0x0401;
    std::int32_t count = 3;
    void* value = withdraw(&count);
    ASSERT_EQ(host.withdrawals().size(), 1u);
    const Withdrawal& withdrawal = host.withdrawals()[0];
    EXPECT_EQ(value, &withdrawal);
    EXPECT_TRUE(withdrawal.documentFlagSet);
    EXPECT_EQ(withdrawal.documentKind, 812);
    EXPECT_EQ(withdrawal.eventArgument, 77);
    EXPECT_EQ(withdrawal.lineCountSeen, 3);
    EXPECT_EQ(count, 3) << "the host wrote the caller's count";
    EXPECT_FALSE(withdrawal.released);
    EXPECT_FALSE(host.document().approved);
    EXPECT_EQ(host.trace().callsOf("approvalWithdrawal"),
              std::vector<std::string>{"52004 approvalWithdrawal(812, 77, lines, &3, 0, 0, 0, 1, 0, 0, 0, 0) -> "
                                       "withdrawal 1 (documentFlags 0x400 set)"});
}

TEST_F(ApprovalWithdrawal, RecordsAFlagThatWasNotSet) {
    serviceOf<TableRecordAccessFn>(host, 52465)(documentTable(), 255);
    host.document().header.documentFlags = 0xFBFF;
    std::int32_t count = 3;
    withdraw(&count);
    EXPECT_FALSE(host.withdrawals().at(0).documentFlagSet);
    EXPECT_NE(host.trace().text().find("(documentFlags 0x400 clear)"), std::string::npos) << host.trace().text();
}

TEST_F(ApprovalWithdrawal, WithoutRecordAccessThereIsNoCurrentDocument) {
    host.document().header.documentFlags = 0x0400;
    std::int32_t count = 3;
    withdraw(&count);
    EXPECT_FALSE(host.withdrawals().at(0).documentFlagSet);
    EXPECT_NE(host.trace().text().find("(no current document)"), std::string::npos) << host.trace().text();
}

TEST_F(ApprovalWithdrawal, ReleaseTakesBackEachValueOnce) {
    std::int32_t count = 3;
    void* first = withdraw(&count);
    void* second = withdraw(&count);
    EXPECT_NE(first, second);
    EXPECT_EQ(release(second), 0);
    EXPECT_EQ(release(first), 0);
    EXPECT_TRUE(host.withdrawals()[0].released);
    EXPECT_TRUE(host.withdrawals()[1].released);
    EXPECT_EQ(release(first), -1) << "a value was released twice";
    int stranger = 0;
    EXPECT_EQ(release(&stranger), -1);
    EXPECT_EQ(release(nullptr), -1);
    EXPECT_EQ(host.trace().callsOf("release"),
              (std::vector<std::string>{"52470 release(withdrawal 2) -> 0", "52470 release(withdrawal 1) -> 0",
                                        "52470 release(withdrawal 1) -> already released",
                                        "52470 release(unknown value) -> ignored", "52470 release(null) -> ignored"}));
}

TEST(TableRecordAccess, MakesTheEditedDocumentTheCurrentRecordOfTspr) {
    Host host;
    TableDescriptor* tspr = host.table(scalarka::documentTable);
    ASSERT_NE(tspr, nullptr);
    EXPECT_EQ(tspr->currentRecord, nullptr) << "a current record before any access";
    EXPECT_EQ(serviceOf<TableRecordAccessFn>(host, 52465)(tspr, 1), -1);
    EXPECT_EQ(tspr->currentRecord, nullptr) << "a mode other than 255 set the current record";
    EXPECT_EQ(serviceOf<TableRecordAccessFn>(host, 52465)(tspr, 255), 0);
    EXPECT_EQ(tspr->currentRecord, &host.document().header);
}

TEST(TableRecordAccess, LeavesDescriptorsThatAreNotTheHostsAlone) {
    Host host;
    TableDescriptor stranger{};
    EXPECT_EQ(serviceOf<TableRecordAccessFn>(host, 52465)(&stranger, 255), -1);
    EXPECT_EQ(stranger.currentRecord, nullptr);
    EXPECT_EQ(serviceOf<TableRecordAccessFn>(host, 52465)(nullptr, 255), -1);
    EXPECT_EQ(host.trace().callsOf("tableRecordAccess"),
              (std::vector<std::string>{"52465 tableRecordAccess(&table, 255) -> -1",
                                        "52465 tableRecordAccess(null, 255) -> -1"}));
}

struct ComparisonCase {
    const char* name;
    const char* left;
    const char* right;
    std::int32_t expected;
};

class TextComparison : public ::testing::TestWithParam<ComparisonCase> {};

TEST_P(TextComparison, EqualMeansTheSameBytesUpToTrailingBlanks) {
    const ComparisonCase& c = GetParam();
    Host host;
    EXPECT_EQ(serviceOf<TextComparisonFn>(host, 52154)(c.left, c.right), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, TextComparison,
                         ::testing::Values(ComparisonCase{"Same", "MAKA450", "MAKA450", 0},
                                           ComparisonCase{"TrailingBlanksRight", "MAKA450", "MAKA450   ", 0},
                                           ComparisonCase{"TrailingBlanksLeft", "MAKA450 ", "MAKA450", 0},
                                           ComparisonCase{"EmptyAndBlanks", "", "   ", 0},
                                           ComparisonCase{"LeadingBlankCounts", " MAKA450", "MAKA450", -1},
                                           ComparisonCase{"TrailingTabCounts", "MAKA450\t", "MAKA450", 1},
                                           ComparisonCase{"CaseCounts", "Maka450", "MAKA450", 1},
                                           ComparisonCase{"Shorter", "MAKA45", "MAKA450", -1},
                                           ComparisonCase{"Longer", "MAKA4500", "MAKA450", 1},
                                           ComparisonCase{"PolishLetterBytes",
                                                          "\x9C"
                                                          "ata",
                                                          "Lata", 1},
                                           ComparisonCase{"SamePolishLetters", "M\x86ka", "M\x86ka", 0},
                                           ComparisonCase{"NullLeft", nullptr, "", 1},
                                           ComparisonCase{"NullRight", "", nullptr, 1}),
                         testing::CaseName());

TEST(KeyCodeCall, KeepsEveryCodeInOrder) {
    Host host;
    serviceOf<KeyCodeCallFn>(host, 33197)(16640);
    serviceOf<KeyCodeCallFn>(host, 33197)(80);
    EXPECT_EQ(host.keyCodes(), (std::vector<std::int32_t>{16640, 80}));
    EXPECT_EQ(host.trace().callsOf("keyCodeCall"),
              (std::vector<std::string>{"33197 keyCodeCall(16640) -> 0", "33197 keyCodeCall(80) -> 0"}));
}

TEST(MessageBox, RecordsTheTextsInUtf8AndTracesTheStyle) {
    Host host;
    const std::string text = toMazovia("Łączenie takich samych pozycji...");
    serviceOf<MessageBoxFn>(host, 52028)("Uwaga", text.c_str(), 512);
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].service, "messageBox");
    EXPECT_EQ(host.messages()[0].title, "Uwaga");
    EXPECT_EQ(host.messages()[0].text, "Łączenie takich samych pozycji...");
    EXPECT_EQ(host.trace().lines(),
              std::vector<std::string>{"52028 messageBox(\"Uwaga\", \"Łączenie takich samych pozycji...\", 512) -> 0"});
}

}  // namespace
}  // namespace korpus
