// The host's document files: what they carry, that writing and reading give
// back the same document, what a file may not hold, and the sample documents.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

#include "emulator/core/text.h"
#include "tests/emulator/service_call.h"

namespace korpus {
namespace {

using scalarka::ItemRecord;
using testing::serviceOf;

ItemRecord line(const char* name, const char* symbol, const char* index, std::int32_t quantity, double price) {
    ItemRecord record{};
    std::strcpy(record.name, toMazovia(name).c_str());
    std::strcpy(record.symbol, toMazovia(symbol).c_str());
    std::strcpy(record.index, toMazovia(index).c_str());
    record.quantity = quantity;
    record.price = price;
    record.secondPrice = 0.25;
    record.key166 = 23;
    record.key184 = 500;
    record.key509 = 2;
    record.key511 = 1;
    return record;
}

// The records are packed: their fields are copied out before gtest takes
// references to them.
void expectSameFields(const ItemRecord& actual, const ItemRecord& expected, std::size_t position) {
    SCOPED_TRACE("line " + std::to_string(position));
    EXPECT_STREQ(actual.name, expected.name);
    EXPECT_STREQ(actual.symbol, expected.symbol);
    EXPECT_STREQ(actual.index, expected.index);
    EXPECT_EQ(std::int32_t{actual.quantity}, std::int32_t{expected.quantity});
    EXPECT_EQ(double{actual.price}, double{expected.price});
    EXPECT_EQ(double{actual.secondPrice}, double{expected.secondPrice});
    EXPECT_EQ(std::uint16_t{actual.key166}, std::uint16_t{expected.key166});
    EXPECT_EQ(std::uint32_t{actual.key184}, std::uint32_t{expected.key184});
    EXPECT_EQ(std::uint16_t{actual.key509}, std::uint16_t{expected.key509});
    EXPECT_EQ(std::uint16_t{actual.key511}, std::uint16_t{expected.key511});
}

Document sampleDocument() {
    Document document;
    document.kind = 808;
    document.approved = true;
    document.header.documentFlags = 0x8001;
    // A symbol of exactly 16 characters, a name with the characters JSON escapes.
    const ItemRecord odd = line("Żółć \"cytrynowa\"\tźdźbło", "ĄĆĘŁŃÓŚŹŻ-123456", "", -2500, 0.1);
    ItemRecord emptyInside{};
    ItemRecord notEmpty = line("Bez rodzaju", "X", "Y", 5, 3.5);
    notEmpty.key511 = 0;
    document.setLines({line("Mąka pszenna", "MAKA450", "SPOZ-0001", 2000, 389), odd, emptyInside, notEmpty}, 3);
    document.recalculate();
    return document;
}

TEST(DocumentFile, WritingAndReadingGivesTheSameDocument) {
    const Document original = sampleDocument();
    const std::string text = writeDocument(original);
    const Document read = readDocument(text);
    EXPECT_EQ(read.kind, 808);
    EXPECT_TRUE(read.approved);
    EXPECT_EQ(std::uint16_t{read.header.documentFlags}, 0x8001);
    ASSERT_EQ(read.lines.size(), original.lines.size()) << text;
    EXPECT_EQ(read.lineCount, 7);
    for (std::size_t i = 0; i < read.lines.size(); ++i) {
        expectSameFields(read.lines[i], original.lines[i], i);
        EXPECT_EQ(read.pointers.at(i), &read.lines[i]);
        EXPECT_EQ(lineValue(read.lines[i]), lineValue(original.lines[i]));
    }
    EXPECT_EQ(documentTotal(read.header), documentTotal(original.header));
    EXPECT_EQ(writeDocument(read), text) << "writing again gave another text";
}

TEST(DocumentFile, WritesReadableUtf8WithTheKeyNamesAndTheEmptyTailCounted) {
    const std::string text = writeDocument(sampleDocument());
    for (const char* expected :
         {"\"name\": \"Mąka pszenna\"", "\"symbol\": \"ĄĆĘŁŃÓŚŹŻ-123456\"", "\"vatRate\": 23", "\"discount\": 500",
          "\"warehouse\": 2", "\"lineKind\": 1", "\"emptyLines\": 3", "\"value\": 778.0", "\"total\": 778.0"}) {
        EXPECT_NE(text.find(expected), std::string::npos) << "no " << expected << " in\n" << text;
    }
}

TEST(DocumentFile, SavesAndLoadsThroughAFile) {
    Host host;  // for a directory of its own
    const std::filesystem::path file = host.directory() / "document.json";
    saveDocument(sampleDocument(), file);
    const Document loaded = loadDocument(file);
    EXPECT_EQ(writeDocument(loaded), writeDocument(sampleDocument()));
    EXPECT_THROW(loadDocument(host.directory() / "missing.json"), DocumentFormatError);
}

TEST(DocumentFile, FillsWhatALineLeavesOutAndRecalculates) {
    const Document document = readDocument(R"({"kind": 70, "lines": [{"quantity": 1500, "price": 200}]})");
    EXPECT_EQ(document.kind, 70);
    EXPECT_FALSE(document.approved);
    ASSERT_EQ(document.lines.size(), 2u) << "one line and the one empty line that ends the array by default";
    const ItemRecord& first = document.lines[0];
    EXPECT_EQ(std::uint16_t{first.key511}, 1) << "a line of the file is a line of goods unless it says otherwise";
    EXPECT_STREQ(first.name, "");
    EXPECT_EQ(std::uint16_t{first.key166}, 0);
    EXPECT_TRUE(scalarka::isEmptyLine(document.lines[1]));
    EXPECT_EQ(lineValue(first), 300);
    EXPECT_EQ(documentTotal(document.header), 300);
}

struct BadFile {
    const char* name;
    const char* json;
    const char* complaint;  // part of the error's text
};

class DocumentFileRefuses : public ::testing::TestWithParam<BadFile> {};

TEST_P(DocumentFileRefuses, WithAReasonThatSaysWhere) {
    const BadFile& c = GetParam();
    try {
        readDocument(c.json);
        ADD_FAILURE() << "read without complaint: " << c.json;
    } catch (const DocumentFormatError& error) {
        EXPECT_NE(std::string(error.what()).find(c.complaint), std::string::npos)
            << "expected a complaint with \"" << c.complaint << "\", got \"" << error.what() << "\"";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, DocumentFileRefuses,
    ::testing::Values(
        BadFile{"NotJson", R"({"kind": 812, "lines": [)", "not a JSON text"},
        BadFile{"NotAnObject", "[1, 2]", "must be an object"},
        BadFile{"NoKind", R"({"lines": []})", "\"kind\" is missing"},
        BadFile{"NoLines", R"({"kind": 812})", "\"lines\" must be an array"},
        BadFile{"UnknownTopField", R"({"kind": 812, "lines": [], "kidn": 1})", "unknown field \"kidn\""},
        BadFile{"UnknownLineField", R"({"kind": 812, "lines": [{}, {"quantitiy": 5}]})",
                "line 2: unknown field \"quantitiy\""},
        BadFile{"FractionalQuantity", R"({"kind": 812, "lines": [{"quantity": 1.5}]})",
                "line 1: \"quantity\" must be a whole number"},
        BadFile{"QuantityTooLarge", R"({"kind": 812, "lines": [{"quantity": 2147483648}]})",
                "line 1: \"quantity\" must lie between"},
        BadFile{"NegativeVatRate", R"({"kind": 812, "lines": [{"vatRate": -1}]})", "\"vatRate\" must lie between"},
        BadFile{"WideWarehouse", R"({"kind": 812, "lines": [{"warehouse": 65536}]})", "\"warehouse\" must lie between"},
        BadFile{"PriceAsText", R"({"kind": 812, "lines": [{"price": "3.89"}]})", "\"price\" must be a number"},
        BadFile{"NameAsNumber", R"({"kind": 812, "lines": [{"name": 5}]})", "\"name\" must be a text"},
        BadFile{"SymbolTooLong", R"({"kind": 812, "lines": [{"symbol": "12345678901234567"}]})",
                "\"symbol\" is longer than 16 characters"},
        BadFile{"LetterOutsideTheCodePage", R"({"kind": 812, "lines": [{"name": "Cena w €"}]})",
                "\"name\" holds a character the host's code page lacks"},
        BadFile{"NulInsideAText", R"({"kind": 812, "lines": [{"index": "A\u0000B"}]})", "\"index\" holds a character"},
        BadFile{"NegativeEmptyTail", R"({"kind": 812, "lines": [], "emptyLines": -1})", "\"emptyLines\""},
        BadFile{"ApprovedAsNumber", R"({"kind": 812, "lines": [], "approved": 1})", "\"approved\" must be"}),
    testing::CaseName());

TEST(DocumentFile, TextsUpToTheirFieldsAreTaken) {
    const std::string name(120, 'n');
    const std::string index(121, 'i');
    const Document document = readDocument(R"({"kind": 812, "lines": [{"name": ")" + name + R"(", "index": ")" + index +
                                           R"(", "symbol": "ŻŻŻŻŻŻŻŻŻŻŻŻŻŻŻŻ"}]})");
    EXPECT_EQ(std::string(document.lines[0].name), name);
    EXPECT_EQ(std::string(document.lines[0].index), index);
    EXPECT_EQ(toUtf8(document.lines[0].symbol), "ŻŻŻŻŻŻŻŻŻŻŻŻŻŻŻŻ");
    EXPECT_THROW(readDocument(R"({"kind": 812, "lines": [{"name": ")" + name + R"(n"}]})"), DocumentFormatError);
}

TEST(DocumentFile, RefusesToWriteWhatItWouldLose) {
    Document document;
    ItemRecord record = line("Cena", "X", "Y", 1, 1);
    record.name[1] = '\x80';  // not a Polish letter of the code page
    document.setLines({record});
    EXPECT_THROW(writeDocument(document), DocumentFormatError);
    document.lines[0] = line("Cena", "X", "Y", 1, 1);
    document.lines[0].price = std::numeric_limits<double>::infinity();
    EXPECT_THROW(writeDocument(document), DocumentFormatError);
}

TEST(DocumentCopy, PointsAtItsOwnLinesInTheOriginalsOrder) {
    Document original = sampleDocument();
    std::swap(original.pointers[0], original.pointers[1]);
    const Document copy = original;
    ASSERT_EQ(copy.pointers.size(), original.pointers.size());
    EXPECT_EQ(copy.pointers[0], &copy.lines[1]);
    EXPECT_EQ(copy.pointers[1], &copy.lines[0]);
    EXPECT_EQ(copy.pointers[2], &copy.lines[2]);
    Document assigned;
    assigned = original;
    EXPECT_EQ(assigned.pointers[0], &assigned.lines[1]);
    Document moved = std::move(assigned);
    EXPECT_EQ(moved.pointers[0], &moved.lines[1]);
}

std::filesystem::path samples() { return KORPUS_SAMPLES_DIR; }

using SymbolParserFn = std::int32_t(const char*, char*, std::int32_t, std::int32_t*, std::int32_t*, std::int32_t,
                                    std::int32_t, std::int32_t);

TEST(SampleDocuments, VatInvoiceRepeatsGoods) {
    const Document document = loadDocument(samples() / "vat-invoice.json");
    EXPECT_EQ(document.kind, 812);
    ASSERT_EQ(document.lines.size(), 8u);
    EXPECT_STREQ(document.lines[0].symbol, document.lines[2].symbol);
    EXPECT_EQ(toUtf8(document.lines[0].name), "Mąka pszenna typ 450, 1 kg");
    EXPECT_TRUE(scalarka::isEmptyLine(document.lines[7]));
}

TEST(SampleDocuments, WeighedGoodsCarryCodesTheHostsParserAccepts) {
    Host host;
    host.document() = loadDocument(samples() / "weighed-goods.json");
    std::size_t codes = 0;
    for (const ItemRecord& record : host.document().lines) {
        if (record.symbol[0] != '2') {
            continue;
        }
        ++codes;
        char buffer[256];
        std::int32_t weight = 0;
        std::int32_t price = 0;
        const std::int32_t result =
            serviceOf<SymbolParserFn>(host, 52126)(record.symbol, buffer, 256, &weight, &price, 0, 0, 0);
        EXPECT_EQ(result & 0xFFFF, 1) << record.symbol;
    }
    EXPECT_EQ(codes, 6u);
}

TEST(SampleDocuments, OtherKindIsNoneOfTheKindsTheOptionsList) {
    const Document document = loadDocument(samples() / "other-kind.json");
    for (const std::int32_t known : {812, 68, 808, 806, 802}) {
        EXPECT_NE(document.kind, known);
    }
    EXPECT_TRUE(scalarka::isEmptyLine(document.lines[1])) << "the sample's empty line inside the document";
}

}  // namespace
}  // namespace korpus
