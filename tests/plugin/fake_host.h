// A fake host for in-process tests of the merge and the options file: every
// host service the plug-in calls there is answered by a function of this
// file, installed straight into the host function table, and every call is
// written down with the contents of its arguments (texts, line contents,
// counts), so that two runs on different copies of a document can be
// compared call by call.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/table_descriptor.h"
#include "merge/records.h"

namespace scalarka::testing {

// What the plug-in sees through the host's file services.
struct FakeStream {
    std::string name;
    std::string mode;
    std::size_t position = 0;
    bool closed = false;
};

struct FakeHost {
    // Every call, written out, in order: "messageBox(Uwaga, Łączenie ..., 512)".
    std::vector<std::string> calls;

    // Table 44: its descriptor, or none.
    bool documentTableExists = true;
    TableDescriptor documentDescriptor{};
    // What the table record access leaves as the current record, when set.
    void* recordAfterAccess = nullptr;

    // The approval withdrawal's answer, and what the host writes into the
    // count it is given (the plug-in must not use it).
    void* withdrawalResult = reinterpret_cast<void*>(std::uintptr_t{0x5EED});
    std::int32_t countWrittenByWithdrawal = -77;

    // The host's text comparison. By default texts equal but for the case of
    // ASCII letters count as equal, as the host compares goods names.
    std::function<std::int32_t(const char*, const char*)> compareTexts;

    // The host's symbol parser; rejects every symbol unless a test says
    // otherwise. Gets the buffer size and the two numbers to fill.
    std::function<std::int32_t(const char*, char*, std::int32_t, std::int32_t*, std::int32_t*)> parseSymbol;

    // The file system behind the file services: names to contents.
    std::map<std::string, std::string> files;
    // Modes ("rb", "wb") in which the file open fails.
    std::set<std::string> failingModes;
    // The file read answers no more than this many elements, when set.
    std::int32_t readLimit = -1;
    bool takeStreamThrows = false;
    std::vector<std::unique_ptr<FakeStream>> streams;
    // Holders in the order they were built and destroyed.
    std::vector<const void*> holdersBuilt;
    std::vector<const void*> holdersDestroyed;
    bool holderMisaligned = false;

    // Names for addresses in the written-out calls ("lines", "line[2]",
    // "document", "Tspr", "options"); other addresses are written as "?".
    std::map<const void*, std::string> names;

    // Gives the document's lines and record their names for the log.
    void nameDocument(ItemRecord** lines, std::int32_t count, DocumentRecord* document);
    // How a line appears in the log: its name and a digest of all its bytes.
    std::string describeLine(const ItemRecord* line) const;
    std::string nameOf(const void* address) const;
    // Streams opened and not closed.
    int openStreams() const;
};

// A symbol parser for weighed goods: "#text/weight/price" gives the text and
// the two numbers (0 for absent); anything else, its own output included, is
// not a weighed-goods code. Answers 1 for a code.
std::int32_t parseWeighedCode(const char* symbol, char* buffer, std::int32_t size, std::int32_t* weight,
                              std::int32_t* price);

// The fake host of the current test.
FakeHost& fakeHost();

// Starts a test on a fresh fake host: every entry of the host function table
// that the merge, the hook and the options file use points at a fake, every
// other entry is empty. Undo with restoreUnboundHostTable().
void installFakeHost();

// The calls since the last clear, one per line, for failure messages.
std::string callList(const std::vector<std::string>& calls);

// Mazovia bytes as readable UTF-8, display marks shown as \xNN.
std::string readable(const char* mazovia);

}  // namespace scalarka::testing
