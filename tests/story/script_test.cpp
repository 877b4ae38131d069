#include "story/script.h"

#include <gtest/gtest.h>

#include "common/errors.h"

namespace vrk::story {
namespace {

std::vector<char> indexOf(std::initializer_list<std::pair<std::string, std::int32_t>> records) {
    std::vector<char> bytes;
    for (const auto& [name, offset] : records) {
        appendLabelRecord(bytes, name, offset);
    }
    return bytes;
}

TEST(LabelIndexTest, LookupRules) {
    LabelIndex index;
    index.loadBytes(indexOf({{"ABCDEFGH", 10}, {"start", 20}, {"DUP", 30}, {"DUP", 40}, {"NEG", -5}}));
    struct Case {
        std::string name;
        std::int32_t offset;
    };
    const Case cases[] = {
        {"ABCDEFGHIJ", 10},               // only the first eight bytes count
        {"START", -1},                    // case-sensitive
        {"start", 20},      {"DUP", 30},  // the first of two records wins
        {"NEG", -5},                      // a top bit set reads as negative
        {"", -1},           {"MISSING", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(index.findLabel(c.name), c.offset);
    }
    ASSERT_TRUE(index.firstLabel().has_value());
    EXPECT_EQ(index.firstLabel()->name, "ABCDEFGH");
}

TEST(LabelIndexTest, LoadsAtMost8002Records) {
    std::vector<char> bytes;
    for (int i = 0; i < 8003; ++i) {
        appendLabelRecord(bytes, "L" + std::to_string(i), i);
    }
    LabelIndex index;
    index.loadBytes(bytes);
    EXPECT_EQ(index.count(), 8002u);
    EXPECT_EQ(index.findLabel("L8001"), 8001);
    EXPECT_EQ(index.findLabel("L8002"), -1);
}

TEST(LabelIndexTest, EmptyIndexHasNoStart) {
    LabelIndex index;
    index.loadBytes({});
    EXPECT_EQ(index.count(), 0u);
    EXPECT_FALSE(index.firstLabel().has_value());
    EXPECT_EQ(index.findLabel("VRKALTER"), -1);
}

TEST(LabelIndexTest, PartialRecordKeepsWholeRecordsThenFails) {
    std::vector<char> bytes = indexOf({{"ONE", 1}, {"TWO", 2}});
    bytes.push_back(3);
    LabelIndex index;
    EXPECT_THROW(index.loadBytes(bytes), Error);
    EXPECT_EQ(index.count(), 2u);
    EXPECT_EQ(index.findLabel("TWO"), 2);
}

TEST(LabelIndexTest, StoredLengthAboveEightNamesNothing) {
    std::vector<char> bytes = indexOf({{"ABCDEFGH", 7}});
    bytes[0] = 9;
    LabelIndex index;
    index.loadBytes(bytes);
    EXPECT_EQ(index.findLabel("ABCDEFGH"), -1);
}

TEST(LabelIndexTest, MissingFileIsAnIoError) {
    LabelIndex index;
    try {
        index.load("/nonexistent/x.VRJ");
        FAIL() << "no error";
    } catch (const Error& error) {
        EXPECT_EQ(error.kind(), Error::Kind::Io);
    }
}

TEST(ScriptReaderTest, ReadsLinesAndSeeks) {
    std::vector<char> bytes;
    appendScriptLine(bytes, "");
    appendScriptLine(bytes, std::string(255, 'x'));
    appendScriptLine(bytes, "last");
    ScriptReader reader;
    reader.openBytes(bytes);
    std::string line = "leftover";
    reader.seek(0);
    reader.readLine(line);
    EXPECT_EQ(line, "");
    reader.readLine(line);
    EXPECT_EQ(line.size(), 255u);
    reader.readLine(line);
    EXPECT_EQ(line, "last");
    reader.seek(1);
    reader.readLine(line);
    EXPECT_EQ(line.size(), 255u);
}

TEST(ScriptReaderTest, FailuresAreIoErrors) {
    std::vector<char> bytes;
    appendScriptLine(bytes, "abc");
    bytes.push_back(10);  // claims ten bytes, holds two
    bytes.push_back('x');
    bytes.push_back('y');
    ScriptReader reader;
    reader.openBytes(bytes);
    std::string line;
    reader.readLine(line);
    EXPECT_THROW(reader.readLine(line), Error);  // short read
    EXPECT_THROW(reader.seek(-1), Error);
    reader.seek(1000);
    EXPECT_THROW(reader.readLine(line), Error);  // offset past the end
    reader.close();
    EXPECT_THROW(reader.seek(0), Error);
}

}  // namespace
}  // namespace vrk::story
