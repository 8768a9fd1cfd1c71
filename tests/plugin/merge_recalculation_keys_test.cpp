// A host whose line recalculation changes the fields the merge compares: the
// candidates after a fold are compared with the outer line as the host left
// it, as a scan in array order would.
#include <gtest/gtest.h>

#include <string>

#include "host/host_table.h"
#include "merge/merge_engine.h"
#include "options/merge_options.h"
#include "tests/plugin/fake_host.h"
#include "tests/plugin/host_table_state.h"
#include "tests/plugin/test_document.h"

namespace scalarka {
namespace {

using testing::emptyLine;
using testing::goods;
using testing::TestDocument;

constexpr std::uint32_t firstKey = 0x01840184;
constexpr std::uint32_t keyAfterRecalculation = 0x2222;

std::int32_t recalculationChangingKey(std::int32_t, ItemRecord* line, DocumentRecord*, std::int32_t) {
    line->key184 = keyAfterRecalculation;
    return 0;
}

ItemRecord withKey(char label, std::int32_t quantity, std::uint32_t key) {
    ItemRecord line = goods(label, quantity);
    line.key184 = key;
    return line;
}

class RecalculationChangesKeys : public ::testing::Test {
   protected:
    void SetUp() override {
        testing::installFakeHost();
        hostFunctionTable[hostLineRecalculationIndex].target = reinterpret_cast<CodeAddress>(&recalculationChangingKey);
        mergeOptions = {};
        mergeOptions.comparedAttributes = alwaysComparedAttributes;
    }
    void TearDown() override {
        mergeOptions = {};
        testing::restoreUnboundHostTable();
    }
};

TEST_F(RecalculationChangesKeys, LaterCandidatesMeetTheRecalculatedLine) {
    // X is the outer line after A: B merges into X, whose recalculated key
    // then matches C (and not D, which has X's old key).
    TestDocument document{withKey('A', 9, 0x7777),
                          withKey('X', 1, firstKey),
                          withKey('Y', 5, keyAfterRecalculation),
                          withKey('B', 2, firstKey),
                          withKey('C', 3, keyAfterRecalculation),
                          withKey('D', 4, firstKey),
                          emptyLine('E')};
    document.name();
    testing::fakeHost().documentDescriptor.currentRecord = &document.document;

    ASSERT_EQ(mergeLines(812, document.array(), document.count(), &document.document, 0), 0);

    // Y came before the fold, when X still had the old key; D keeps the old
    // key, which X no longer has.
    EXPECT_EQ(layout(document), "A:9 X:6 Y:5 D:4 E:0 E:0 E:0");
}

}  // namespace
}  // namespace scalarka
