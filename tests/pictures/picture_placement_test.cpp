#include "pictures/picture_placement.h"

#include <gtest/gtest.h>

namespace vrk::pictures {
namespace {

constexpr Size kScreen{1024, 768};

TEST(PictureWindowSize, PictureSizeUnlessTheScreenIsSmaller) {
    EXPECT_EQ(pictureWindowClientSize({320, 200}, {8, 30}, kScreen), (Size{320, 200}));
    // Taller than the screen: the outer height becomes the screen height.
    EXPECT_EQ(pictureWindowClientSize({320, 2000}, {8, 30}, kScreen), (Size{320, 738}));
    EXPECT_EQ(pictureWindowClientSize({3000, 2000}, {8, 30}, kScreen), (Size{1016, 738}));
    EXPECT_EQ(pictureWindowClientSize({1016, 738}, {8, 30}, kScreen), (Size{1016, 738}));
}

TEST(PictureWindowPlacement, FirstRuleThatFits) {
    struct Case {
        const char* rule;
        Rect main;
        Size picture;
        Point expected;
    };
    const Case cases[] = {
        {"1 left", Rect{400, 100, 1000, 600}, Size{330, 250}, Point{70, 100}},
        {"1 left, exactly", Rect{330, 0, 900, 500}, Size{330, 250}, Point{0, 0}},
        {"2 above", Rect{100, 300, 900, 700}, Size{330, 250}, Point{100, 50}},
        {"3 right (main window at the top left)", Rect{0, 0, 640, 480}, Size{330, 250}, Point{640, 0}},
        {"4 below", Rect{100, 100, 900, 400}, Size{330, 250}, Point{100, 400}},
        {"5 corner: main window fills the screen", Rect{0, 0, 1024, 768}, Size{330, 250}, Point{0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        EXPECT_EQ(pictureWindowPosition(c.main, c.picture, kScreen), c.expected);
    }
}

}  // namespace
}  // namespace vrk::pictures
