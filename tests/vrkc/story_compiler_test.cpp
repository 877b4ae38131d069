#include "vrkc/story_compiler.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "story/script.h"

namespace vrk::compiler {
namespace {

CompiledStory compileOrFail(const std::string& source) {
    CompileError error;
    auto story = compileStory(source, false, &error);
    EXPECT_TRUE(story.has_value()) << error.line << ": " << error.message;
    return story.value_or(CompiledStory{});
}

TEST(StoryCompilerTest, LabelsPointAtTheNextLine) {
    const CompiledStory story = compileOrFail("*A\r\nline one\n*B\n*C\n**star\n*END\n*VER@10350\n");
    story::LabelIndex labels;
    labels.loadBytes(story.index);
    EXPECT_EQ(labels.findLabel("A"), 0);
    EXPECT_EQ(labels.findLabel("B"), 9);  // 1 + "line one"
    EXPECT_EQ(labels.findLabel("C"), 9);
    EXPECT_EQ(labels.findLabel("END"), static_cast<std::int32_t>(story.script.size()));
    EXPECT_EQ(labels.findLabel("VER"), 10350);
    story::ScriptReader reader;
    reader.openBytes(story.script);
    std::string line;
    reader.seek(9);
    reader.readLine(line);
    EXPECT_EQ(line, "*star");
}

TEST(StoryCompilerTest, ConvertsToCodePage932) {
    const CompiledStory story = compileOrFail("\xE8\xA1\xA8\xE2\x91\xA0\n");  // 表①
    EXPECT_EQ(std::string(story.script.begin(), story.script.end()), std::string("\x04\x95\x5C\x87\x40", 5));
}

TEST(StoryCompilerTest, DecompileThenCompileGivesTheSameBytes) {
    std::vector<std::string> sources = {
        "*START\ntext\n\n**starred\n?\ncaption\nP2\n?END\n*P2\n/\n*TAIL\n",
        "*X@-5\n*Y\na\n*Z@123456\nb\n",
    };
    std::ifstream demo(std::filesystem::path(VRK_SOURCE_DIR) / "samples/demo/demo.txt", std::ios::binary);
    sources.emplace_back(std::istreambuf_iterator<char>(demo), std::istreambuf_iterator<char>());
    for (const std::string& source : sources) {
        SCOPED_TRACE(source.substr(0, 40));
        const CompiledStory first = compileOrFail(source);
        std::string error;
        const auto text = decompileStory(first.script, first.index, false, &error);
        ASSERT_TRUE(text.has_value()) << error;
        const CompiledStory second = compileOrFail(*text);
        EXPECT_EQ(second.script, first.script);
        EXPECT_EQ(second.index, first.index);
    }
}

TEST(StoryCompilerTest, RecordsOutOfLineOrderKeepTheirOrder) {
    std::vector<char> script;
    std::vector<char> index;
    story::appendScriptLine(script, "a");
    story::appendScriptLine(script, "b");
    story::appendLabelRecord(index, "SECOND", 2);
    story::appendLabelRecord(index, "FIRST", 0);
    story::appendLabelRecord(index, "MIDDLE", 1);  // not at a line start
    std::string error;
    const auto text = decompileStory(script, index, false, &error);
    ASSERT_TRUE(text.has_value()) << error;
    const CompiledStory again = compileOrFail(*text);
    EXPECT_EQ(again.script, script);
    EXPECT_EQ(again.index, index);
}

TEST(StoryCompilerTest, AtSignIsFoundOnlyBetweenCharacters) {
    // 院, ァ and the full-width space end in the byte of '@'; digits after them are part
    // of the name, while a real '@' after such a character still gives the offset.
    const CompiledStory story = compileOrFail(
        "text\n*\xE7\x97\x85\xE9\x99\xA2"
        "1\n*\xE3\x82\xA1"
        "2\n*\xE3\x80\x80"
        "3\nmore\n"
        "*\xE9\x99\xA2@0\n");
    story::LabelIndex labels;
    labels.loadBytes(story.index);
    EXPECT_EQ(labels.findLabel("\x95\x61\x89\x40"
                               "1"),
              5);
    EXPECT_EQ(labels.findLabel("\x83\x40"
                               "2"),
              5);
    EXPECT_EQ(labels.findLabel("\x81\x40"
                               "3"),
              5);
    EXPECT_EQ(labels.findLabel("\x89\x40"), 0);

    // A stored name that ends in half a character cannot be written before an '@' (the
    // pair would read back as one character): decompiling refuses instead of changing it.
    std::vector<char> script;
    std::vector<char> index;
    story::appendScriptLine(script, "a");
    story::appendLabelRecord(index, "A\x89", 1);
    std::string error;
    for (bool sjis : {false, true}) {
        const auto text = decompileStory(script, index, sjis, &error);
        if (text) {
            const auto again = compileStory(*text, sjis, nullptr);
            ASSERT_TRUE(again.has_value());
            EXPECT_EQ(again->index, index);
        }
    }
}

TEST(StoryCompilerTest, EveryRecordThePlayerReadsRoundTrips) {
    std::vector<char> script;
    story::appendScriptLine(script, "a");
    story::appendScriptLine(script, "b");
    std::vector<char> index;
    story::appendLabelRecord(index, "PLAIN", 0);
    story::appendLabelRecord(index, "", 2);  // empty name
    story::appendLabelRecord(index, "ABCDEFGH", 2);
    index[2 * 13] = 9;  // a length byte above 8
    story::appendLabelRecord(index, "AB", 0);
    index[3 * 13 + 5] = 'x';                                     // not zero after the name
    story::appendLabelRecord(index, "*STAR", 2);                 // "**" would start a script line
    story::appendLabelRecord(index, "L\nF", 2);                  // a line break has no source form
    story::appendLabelRecord(index, std::string("\x82", 1), 0);  // half a character: no UTF-8
    for (bool asSjis : {false, true}) {
        SCOPED_TRACE(asSjis ? "sjis" : "utf-8");
        std::string error;
        const auto text = decompileStory(script, index, asSjis, &error);
        ASSERT_TRUE(text.has_value()) << error;
        EXPECT_NE(text->find("*#00"), std::string::npos);
        CompileError compileError;
        const auto again = compileStory(*text, asSjis, &compileError);
        ASSERT_TRUE(again.has_value()) << compileError.line << ": " << compileError.message;
        EXPECT_EQ(again->script, script);
        EXPECT_EQ(again->index, index);
    }
}

TEST(StoryCompilerTest, IndexesWithoutASourceFormAreRefused) {
    std::vector<char> script;
    story::appendScriptLine(script, "a");
    std::vector<char> partial;
    story::appendLabelRecord(partial, "A", 0);
    partial.push_back(1);
    std::vector<char> tooMany;
    for (std::size_t i = 0; i <= story::LabelIndex::kMaxRecords; ++i) {
        story::appendLabelRecord(tooMany, "L", 0);
    }
    for (const auto* index : {&partial, &tooMany}) {
        std::string error;
        EXPECT_FALSE(decompileStory(script, *index, false, &error).has_value());
        EXPECT_FALSE(error.empty());
    }
    tooMany.resize(tooMany.size() - 13);  // exactly 8002 is fine
    std::string error;
    EXPECT_TRUE(decompileStory(script, tooMany, false, &error).has_value()) << error;
}

TEST(StoryCompilerTest, LinesUpTo255ShiftJisBytesFitTheLengthByte) {
    std::string kanji127;
    for (int i = 0; i < 127; ++i) {
        kanji127 += "\xE6\xBC\xA2";  // 漢, two bytes in code page 932
    }
    struct Case {
        std::string line;
        std::size_t bytes;  // 0: refused
    };
    const Case cases[] = {
        {std::string(255, 'x'), 255}, {std::string(256, 'x'), 0},         {kanji127 + "x", 255},
        {kanji127 + "xy", 0},         {"*" + std::string(255, '*'), 255},  // "**" drops one star
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.line.size() << " source bytes");
        CompileError error;
        const auto story = compileStory("a\n" + c.line + "\n", false, &error);
        if (c.bytes == 0) {
            EXPECT_FALSE(story.has_value());
            EXPECT_EQ(error.line, 2);
            continue;
        }
        ASSERT_TRUE(story.has_value()) << error.message;
        ASSERT_EQ(story->script.size(), 2 + 1 + c.bytes);
        EXPECT_EQ(static_cast<unsigned char>(story->script[2]), c.bytes);
    }
}

TEST(StoryCompilerTest, ErrorsNameTheLine) {
    struct Case {
        std::string source;
        int line;
    };
    const Case cases[] = {
        {"ok\n" + std::string(256, 'x') + "\n", 2},
        {"\xF0\x9F\x98\x80\n", 1},  // U+1F600 has no code page 932 form
        {"a\n*\n", 2},
        {"*NINECHARS\n", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source.substr(0, 20));
        CompileError error;
        EXPECT_FALSE(compileStory(c.source, false, &error).has_value());
        EXPECT_EQ(error.line, c.line);
    }
    std::string many;
    for (int i = 0; i <= 8002; ++i) {
        many += "*L" + std::to_string(i) + "\n";
    }
    CompileError error;
    EXPECT_FALSE(compileStory(many, false, &error).has_value());
    EXPECT_EQ(error.line, 8003);
}

TEST(StoryCompilerTest, InitialSlotComesFromTheDefaultsBlock) {
    std::string source = "*START\n/\n*VRKALTER\n";
    for (int i = 1; i <= 9; ++i) {
        source += "prompt" + std::to_string(i) + "\nname" + std::to_string(i) + "\n";
    }
    source += "Title\n";
    const auto slot = initialSlot(compileOrFail(source));
    ASSERT_TRUE(slot.has_value());
    EXPECT_EQ(slot->substr(0, 33), "Title\r\nVRKSTART\r\nprompt1\r\nname1\r\n");
    EXPECT_FALSE(initialSlot(compileOrFail("*START\n/\n")).has_value());
}

}  // namespace
}  // namespace vrk::compiler
