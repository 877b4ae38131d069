#pragma once
// What the tests that open a story as a front end does share: a folder of the test's own for the
// project, with the reader's data (saves, read marks) inside it, and a measurer of fixed widths
// the session lays its pages out with.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "app/reading_session.h"
#include "presentation/text_layout.h"
#include "story_project.h"

namespace vrk::test_support {

/// Ten pixels a byte, twenty a line at scale 1: cells of 10, lines of 24 at the standard gap.
class FixedMeasurer : public presentation::TextMeasurer {
public:
    explicit FixedMeasurer(double scale = 1.0) : m_scale(scale) {}
    int textWidth(std::string_view textSjis) const override {
        return static_cast<int>(10 * m_scale * static_cast<double>(textSjis.size()));
    }
    int textHeight(std::string_view) const override { return static_cast<int>(20 * m_scale); }

private:
    double m_scale;
};

/// FixedMeasurer at each scale a session asks for.
inline auto fixedMeasurer() {
    return [](double scale) { return std::make_unique<FixedMeasurer>(scale); };
}

/// m_dir: an empty folder named for the test suite, removed afterwards; XDG_DATA_HOME inside it.
class StoryFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string suite = ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name();
        m_dir = std::filesystem::temp_directory_path() / ("vrk_" + suite + "_" + std::to_string(::getpid()));
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        ::setenv("XDG_DATA_HOME", (m_dir / "data").c_str(), 1);
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    void writeProject(const std::string& source) { writeStoryProject(m_dir, source); }

    /// Opens the project written here in a slot as a front end does, on a 400 x 300 page.
    void openProject(app::ReadingSession& session, int slot = 1) {
        session.setPageSize(400, 300, 1.0);
        ASSERT_TRUE(session.setProject((m_dir / "TALE.VRK").string()));
        ASSERT_TRUE(session.chooseSaveDirectory());
        app::SlotView view;
        ASSERT_TRUE(session.describeSlot(slot, view));
        ASSERT_TRUE(session.loadSlot());
        ASSERT_TRUE(session.start());
    }

    std::filesystem::path m_dir;
};

}  // namespace vrk::test_support
