#include "sound/lazy_sound_backend.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "notices.h"
#include "sound/sdl/sdl_mixer_backend.h"

namespace vrk::sound {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const fs::path kSoundData = fs::path(VRK_TESTDATA) / "sound";
const fs::path kModule = VRK_SOUND_MODULE;

bool moduleInProcess() {
    void* handle = dlopen(kModule.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) {
        dlclose(handle);
    }
    return handle != nullptr;
}

class LazySoundBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::is_directory(kSoundData)) {
            GTEST_SKIP() << "test data not found at " << kSoundData;
        }
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        m_dir = fs::temp_directory_path() / ("vrk_lazy_sound_" + std::to_string(getpid()));
        fs::create_directories(m_dir);
    }
    void TearDown() override {
        std::error_code error;
        fs::remove_all(m_dir, error);
    }
    fs::path write(const std::string& name, const std::string& bytes) {
        std::ofstream(m_dir / name, std::ios::binary) << bytes;
        return m_dir / name;
    }
    fs::path m_dir;
};

// Without its module the window must stay as faithful as the real back end without a device:
// the same files open, and a playback ends only when stopped, replaced or closed.
TEST_F(LazySoundBackendTest, WithoutAModuleOpensWhatTheDevicelessBackEndOpens) {
    const std::string midiHeader("MThd\0\0\0\6\0\0\0\1\0\x60", 14);
    const std::string track("MTrk\0\0\0\4\0\xff\x2f\0", 12);
    const std::vector<fs::path> files = {
        kSoundData / "wav/cpython-testsuite/pluck-pcm16.wav",
        kSoundData / "midi/dmidiplayer-examples/test.mid",
        kSoundData / "missing.wav",
        m_dir,
        write("empty.wav", ""),
        write("text.mid", "not music"),
        write("text.wav", "not music either"),
        write("whole.bin", midiHeader + track),
        write("cut.mid", midiHeader + track.substr(0, 10)),
        write("header-only.mid", midiHeader),
    };
    std::vector<bool> deviceless;
    {
        setenv("SDL_AUDIODRIVER", "vrk-no-such-driver", 1);
        SdlMixerBackend backend;
        ASSERT_FALSE(backend.hasDevice());
        for (const auto& file : files) {
            deviceless.push_back(backend.open(file));
        }
    }
    LazySoundBackend lazy({m_dir / "absent.so"});
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(lazy.open(files[i]), deviceless[i]) << files[i];
        EXPECT_EQ(lazy.isOpen(), deviceless[i]) << files[i];
    }
    EXPECT_TRUE(lazy.moduleTried());
    EXPECT_FALSE(lazy.moduleLoaded());
    EXPECT_TRUE(lazy.loadError().empty()) << "an absent module is no error";

    ASSERT_TRUE(lazy.open(files[0]));
    Notices first;
    Notices second;
    lazy.play(first.handler());
    EXPECT_TRUE(first.received().empty());
    lazy.play(second.handler());
    EXPECT_EQ(first.received(), std::vector<bool>{false});
    EXPECT_TRUE(second.received().empty());
    lazy.close();
    EXPECT_EQ(second.received(), std::vector<bool>{false});
    EXPECT_FALSE(lazy.isOpen());
    Notices closed;
    lazy.play(closed.handler());
    EXPECT_EQ(closed.received(), std::vector<bool>{false});

    // A playback still running when the back end goes away gets its notice too.
    Notices last;
    {
        LazySoundBackend other({});
        ASSERT_TRUE(other.open(files[0]));
        other.play(last.handler());
    }
    EXPECT_EQ(last.received(), std::vector<bool>{false});
}

TEST_F(LazySoundBackendTest, LoadsTheFirstWorkingModuleOnlyAtTheFirstPlayableFile) {
    if (!fs::is_regular_file(kModule)) {
        GTEST_SKIP() << "the sound module was not built at " << kModule;
    }
    const fs::path broken = write("broken.so", "not a shared object");
    LazySoundBackend lazy({m_dir / "absent.so", broken, kModule});
    EXPECT_FALSE(lazy.open(kSoundData / "missing.wav"));
    EXPECT_FALSE(lazy.open(write("empty.wav", "")));
    EXPECT_FALSE(lazy.moduleTried());
    EXPECT_FALSE(moduleInProcess());

    ASSERT_TRUE(lazy.open(kSoundData / "wav/cpython-testsuite/pluck-pcm16.wav"));  // 0.3 s
    EXPECT_TRUE(lazy.moduleLoaded());
    EXPECT_TRUE(moduleInProcess());
    Notices notices;
    lazy.play(notices.handler());
    ASSERT_TRUE(notices.waitFor(1, 5s));
    EXPECT_EQ(notices.received(), std::vector<bool>{true});
    lazy.close();
    EXPECT_FALSE(lazy.isOpen());
    EXPECT_FALSE(lazy.open(write("cut.mid", "MThd")));
}

TEST_F(LazySoundBackendTest, AModuleThatDoesNotLoadLeavesTheBackEndSilent) {
    const fs::path broken = write("broken.so", "not a shared object");
    LazySoundBackend lazy({broken});
    ASSERT_TRUE(lazy.open(kSoundData / "wav/cpython-testsuite/pluck-pcm16.wav"));
    EXPECT_FALSE(lazy.moduleLoaded());
    EXPECT_NE(lazy.loadError().find("broken.so"), std::string::npos) << lazy.loadError();
    Notices notices;
    lazy.play(notices.handler());
    EXPECT_FALSE(notices.waitFor(1, 400ms)) << "a silent playback ended by itself";
    lazy.close();
    EXPECT_EQ(notices.received(), std::vector<bool>{false});
}

}  // namespace
}  // namespace vrk::sound
