#include "app/page_model.h"

#include <gtest/gtest.h>

#include <string>

namespace vrk::app {
namespace {

TEST(PageModel, StoredFacesAreDrawnWithAServedFace) {
    struct Case {
        const char* stored;
        const char* drawn;
        const char* offered;  // in the font dialog, which offers fixed-pitch faces only
    };
    const Case cases[] = {
        {"ＭＳ 明朝", "IPAMincho", "IPAMincho"},        {"MS Mincho", "IPAMincho", "IPAMincho"},
        {"ＭＳ Ｐゴシック", "IPAPGothic", "IPAGothic"}, {"MS Gothic", "IPAGothic", "IPAGothic"},
        {"ipapgothic", "IPAPGothic", "IPAGothic"},      {"IPA明朝", "IPAMincho", "IPAMincho"},
        {"IPAP明朝", "IPAPMincho", "IPAMincho"},        {"Terminal", "IPAGothic", "IPAGothic"},
        {"Comic Sans MS", "IPAGothic", "IPAGothic"},    {"", "IPAGothic", "IPAGothic"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        EXPECT_EQ(servedFamily(c.stored), c.drawn);
        EXPECT_EQ(offeredFamily(c.stored), c.offered);
    }
    // The fallback is fixed pitch, so the page's cell grid holds whatever was stored.
    EXPECT_TRUE(servedFaces().front().fixedPitch);
}

TEST(PageModel, ModelNamesEveryItemOnceWithItsKeys) {
    const std::string json = pageModelJson();
    for (const app::MenuEntry& entry : app::menuEntries()) {
        if (entry.kind == app::MenuEntry::Kind::Separator) {
            continue;
        }
        const std::string id = "\"id\":\"" + std::string(entry.name) + "\"";
        const std::size_t at = json.find(id);
        ASSERT_NE(at, std::string::npos) << entry.name;
        EXPECT_EQ(json.find(id, at + 1), std::string::npos) << entry.name;
    }
    EXPECT_NE(json.find("\"keys\":[\"F11\",\"Alt+Enter\"]"), std::string::npos);
    EXPECT_NE(json.find("\"id\":\"quickSaveAction\",\"caption\":\"一時保存(&T)\",\"label\":\"一時保存\""),
              std::string::npos);
    EXPECT_NE(json.find("\"gapTenths\":{\"min\":10,\"max\":20}"), std::string::npos);
    EXPECT_NE(json.find("\"musicVolume\":{\"min\":0,\"max\":100}"), std::string::npos);
    EXPECT_NE(
        json.find("\"id\":\"quieterMusicAction\",\"caption\":\"小さく(&Q)\",\"label\":\"小さく\","
                  "\"checkable\":false,\"setting\":\"musicVolume\",\"step\":-10,\"setsStandard\":false"),
        std::string::npos);
    EXPECT_NE(json.find("\"fontName\":\"ＭＳ 明朝\""), std::string::npos);
    EXPECT_NE(json.find("\"width\":620,\"height\":480,\"minPageWidth\":304"), std::string::npos);
}

TEST(PageModel, StatesFollowTheFacts) {
    app::SessionFacts session;
    session.revealSpeed = 5;
    app::FrontEndFacts frontEnd;
    frontEnd.pageAtTop = false;
    const std::string json = menuStatesJson(session, frontEnd);
    EXPECT_NE(json.find("\"slowerAction\":{\"enabled\":false,\"checked\":false,\"shortcut\":true"),
              std::string::npos);
    EXPECT_NE(json.find("\"backlogAction\":{\"enabled\":false,\"checked\":false,\"shortcut\":false"),
              std::string::npos);
    EXPECT_NE(json.find("\"midiAction\":{\"enabled\":true,\"checked\":true"), std::string::npos);
    EXPECT_NE(json.find("\"caption\":\"描画速度(&P) 5\""), std::string::npos);
    EXPECT_EQ(json.front(), '{');
    EXPECT_EQ(json.back(), '}');
    EXPECT_EQ(json.find(",,"), std::string::npos);
    EXPECT_EQ(json.find("{,"), std::string::npos);
}

}  // namespace
}  // namespace vrk::app
