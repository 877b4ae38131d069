// The inspector beside the page (vrk3 --debug) on the largest index a story can have.

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <cstdio>
#include <string>
#include <vector>

#include "app/qt/author_tools.h"
#include "app/qt/main_window.h"
#include "app/settings_file.h"
#include "presentation/qt/page_view.h"
#include "ui_test_support.h"

namespace vrk::app {
namespace {

using ui_test::TestProject;

// The test story's four pages and its defaults block, and as many more as fill the index.
constexpr int kExtraPages = 8002 - 5;

std::vector<TestProject::ExtraLabel> extraPages() {
    std::vector<TestProject::ExtraLabel> pages;
    for (int i = 1; i <= kExtraPages; ++i) {
        char name[9];
        std::snprintf(name, sizeof name, "X%05d", i);
        pages.push_back({name,
                         {"!" + std::to_string(100 + i % 400), std::string("Page ") + name, "?", "Next",
                          "START", "?END"}});
    }
    return pages;
}

QString shown(const MainWindow& window, const char* name) {
    return window.findChild<QLabel*>(QString::fromLatin1(name))->text();
}

TEST(InspectorTest, AFullIndexIsListedFilteredAndJumpedInto) {
    TestProject project(extraPages(), "START");
    MainWindow window(project.programDir(), Settings{});
    window.setProject(project.projectDir(), "tale");
    InspectorDock& dock = window.inspector();
    window.show();
    ASSERT_TRUE(window.openProject(false)) << "slot 1, nothing asked";
    EXPECT_EQ(shown(window, "inspectorLabel"), "START");
    EXPECT_EQ(shown(window, "inspectorFlags"), "-");
    EXPECT_EQ(shown(window, "inspectorNames").left(5), "%1=太郎");
    ASSERT_EQ(dock.shownLabels().size(), 4 + kExtraPages) << "every page, not the defaults block";

    // The filter is typed into without the page taking the keys for choices (A chooses here).
    QTest::keyClicks(dock.filter(), "x0799");
    EXPECT_EQ(window.story().state.currentLabel, "START");
    const QStringList narrowed = dock.shownLabels();
    ASSERT_EQ(narrowed.size(), 8) << "X07990 to X07997";
    EXPECT_EQ(narrowed.front(), "X07990");

    QTest::keyClick(dock.filter(), Qt::Key_Return);
    EXPECT_EQ(window.story().state.currentLabel, "X07990");
    EXPECT_EQ(shown(window, "inspectorLabel"), "X07990");
    EXPECT_EQ(shown(window, "inspectorFlags"), "490") << "its head ran";
    QTest::keyClick(dock.filter(), Qt::Key_Down);
    QTest::keyClick(dock.filter(), Qt::Key_Enter);
    EXPECT_EQ(window.story().state.currentLabel, "X07991") << "the arrows move in the list";

    // A page run by the reader brings the inspector up to date as well.
    window.session().finishPage();
    ASSERT_TRUE(window.session().chooseKey(13));
    window.pageView().sync();
    EXPECT_EQ(shown(window, "inspectorLabel"), "START");
}

}  // namespace
}  // namespace vrk::app
