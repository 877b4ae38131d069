#include "common/json_writer.h"

#include <gtest/gtest.h>

namespace vrk {
namespace {

// A story's text reaches the page through these strings: any byte must leave valid JSON.
TEST(JsonWriterTest, StringsStayValidWhateverBytesTheyHold) {
    EXPECT_EQ(jsonQuoted("a\"b\\c"), R"("a\"b\\c")");
    EXPECT_EQ(jsonQuoted(std::string("\x01\n\t\x1f", 4)), R"("\u0001\u000a\u0009\u001f")");
    EXPECT_EQ(jsonQuoted("\xe3\x81\x82"), "\"\xe3\x81\x82\"") << "UTF-8 passes as it is";
    EXPECT_EQ(jsonQuoted(""), R"("")");
}

TEST(JsonWriterTest, CommasFallBetweenValuesAtEveryDepth) {
    Json json;
    json.open('{').field("a", 1).key("list").open('[');
    json.open('[').close(']').number(-2).string("x").open('{').field("b", true).close('}');
    json.close(']').field("c", "d").field("e", false).close('}');
    EXPECT_EQ(json.take(), R"({"a":1,"list":[[],-2,"x",{"b":true}],"c":"d","e":false})");
}

}  // namespace
}  // namespace vrk
