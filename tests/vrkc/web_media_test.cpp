// The media a published story carries cut down: the faces (against the IPA faces the page
// serves, skipped without them) and the soundfont (against Debian's TimGM6mb, rendered through
// FluidSynth before and after the cut).
#include <gtest/gtest.h>

#include <fluidsynth.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "vrkc/sound_font_trim.h"
#include "vrkc/web_fonts.h"

namespace vrk::publish {
namespace {

namespace fs = std::filesystem;

std::optional<std::string> readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::optional<fs::path> ipaFace(const std::string& file) {
    for (const char* dir :
         {"/usr/share/fonts/opentype/ipafont-gothic", "/usr/share/fonts/truetype/ipafont-gothic",
          "/usr/share/fonts/opentype/ipafont-mincho", "/usr/share/fonts/truetype/ipafont-mincho"}) {
        if (fs::exists(fs::path(dir) / file)) {
            return fs::path(dir) / file;
        }
    }
    return std::nullopt;
}

bool covers(const CodeRanges& ranges, char32_t c) {
    return std::any_of(ranges.begin(), ranges.end(),
                       [c](const auto& r) { return r.first <= c && c <= r.second; });
}

TEST(WebFonts, RangesAndTheirStyleSheetSpelling) {
    EXPECT_EQ(rangesOf({U'A', U'B', U'C', U'E', U'漢'}),
              (CodeRanges{{U'A', U'C'}, {U'E', U'E'}, {U'漢', U'漢'}}));
    EXPECT_EQ(unicodeRange(rangesOf({0x20, 0x21, 0x7E, 0x6F22})), "U+20-21, U+7E, U+6F22");
    EXPECT_TRUE(rangesOf({}).empty());
}

TEST(WebFonts, TheTextFaceHoldsTheStorysCharactersAndTheSlicesTheRest) {
    const auto path = ipaFace("ipag.ttf");
    if (!path) {
        GTEST_SKIP() << "fonts-ipafont-gothic is not installed";
    }
    const auto face = readAll(*path);
    ASSERT_TRUE(face);
    const std::set<char32_t> text = {U'A',  U'z',      U'霧',  U'の',
                                     U'駅', U'\u00A0', 0x1F600 /* not in the face */};
    const auto cut = cutFace(*face, text, 1);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->text.ranges, rangesOf({U'\u00A0', U'A', U'z', U'の', U'霧', U'駅'}));
    EXPECT_LT(cut->text.bytes.size(), 20'000u);
    EXPECT_EQ(cut->text.bytes.substr(0, 4), "wOF2");
    // Every other character of the face is in exactly one slice, in order and apart; a slice
    // never mixes kana with the ideographs, and none claims a character of the text (a browser
    // would fetch it too).
    std::size_t total = cut->text.bytes.size();
    char32_t after = 0;
    for (const FacePiece& slice : cut->slices) {
        ASSERT_FALSE(slice.ranges.empty());
        EXPECT_GT(slice.ranges.front().first, after);
        after = slice.ranges.back().second;
        total += slice.bytes.size();
        EXPECT_FALSE(covers(slice.ranges, U'ア') && covers(slice.ranges, U'亜'));
        for (char32_t c : text) {
            EXPECT_FALSE(covers(slice.ranges, c)) << static_cast<unsigned>(c);
        }
    }
    EXPECT_TRUE(std::any_of(cut->slices.begin(), cut->slices.end(), [](const FacePiece& s) {
        return covers(s.ranges, U'霧' - 1) && covers(s.ranges, U'霧' + 1);
    }));
    EXPECT_TRUE(std::any_of(cut->slices.begin(), cut->slices.end(),
                            [](const FacePiece& s) { return covers(s.ranges, U'亜'); }));
    EXPECT_GT(cut->slices.size(), 10u);
    EXPECT_LT(total, face->size());
    // The measures the page lays text out by: IPA Gothic is fixed pitch, half and full width.
    EXPECT_EQ(cut->measures.unitsPerEm, 2048);
    EXPECT_TRUE(cut->measures.fixedPitch);
    EXPECT_GT(cut->measures.ascent, 0);
    EXPECT_GT(cut->measures.descent, 0);
    const auto advance = [&](char32_t c) {
        for (const auto& [first, last, width] : cut->measures.advances) {
            if (first <= c && c <= last) {
                return width;
            }
        }
        return -1;
    };
    EXPECT_EQ(advance(U'A'), 1024);
    EXPECT_EQ(advance(U'霧'), 2048);
    EXPECT_EQ(advance(U'亜'), -1);  // not the story's: measured by the browser from its slice
    EXPECT_FALSE(cutFace("not a face at all", text, 1));
    // The family the page asks for, from the face's own name table.
    EXPECT_EQ(faceFamily(*face), "IPAGothic");
    EXPECT_EQ(faceFamily("not a face at all"), "");
}

// A Standard MIDI File of one track: EVENTS are (delta, bytes) pairs.
std::string midiFile(const std::vector<std::pair<int, std::string>>& events) {
    std::string track;
    for (const auto& [delta, bytes] : events) {
        track += static_cast<char>(delta);
        track += bytes;
    }
    track += std::string("\x00\xFF\x2F\x00", 4);
    std::string file("MThd\0\0\0\x06\0\0\0\x01\0\x60", 14);
    file += "MTrk";
    for (int shift : {24, 16, 8, 0}) {
        file += static_cast<char>((track.size() >> shift) & 0xFF);
    }
    return file + track;
}

TEST(SoundFontTrim, ThePresetsEachPlayingChannelSelects) {
    const std::string midi = midiFile({
        {0, "\xC0\x30"},  // channel 1: strings, plays
        {0, std::string("\x90\x40\x40", 3)},
        {0, "\xC1\x05"},                      // channel 2: selects but never plays
        {0, std::string("\xB2\x00\x08", 3)},  // channel 3: bank 8, then program 4, plays
        {0, "\xC2\x04"},
        {0, std::string("\x92\x40\x40", 3)},
        {0, "\xC9\x10"},  // percussion: kit 16
        {0, std::string("\x99\x24\x40", 3)},
        {10, std::string("\x80\x40\x00", 3)},
    });
    // A bank select alone changes nothing until the next program change.
    EXPECT_EQ(midiPresets(midi), (std::set<Preset>{{0, 0}, {0, 48}, {8, 4}, {0, 4}, {128, 0}, {128, 16}}));
    EXPECT_TRUE(midiPresets("no MIDI file").empty());
}

// The first seconds of the song through FluidSynth at 22050 Hz, timed by samples.
std::vector<float> render(const std::string& soundFont, const std::string& midi) {
    const fs::path path = fs::temp_directory_path() / ("vrkc_sf2_" + std::to_string(::getpid()) + ".sf2");
    std::ofstream(path, std::ios::binary) << soundFont;
    fluid_settings_t* settings = new_fluid_settings();
    fluid_settings_setnum(settings, "synth.sample-rate", 22050);
    fluid_settings_setstr(settings, "player.timing-source", "sample");
    fluid_settings_setint(settings, "synth.lock-memory", 0);
    fluid_synth_t* synth = new_fluid_synth(settings);
    std::vector<float> out;
    if (fluid_synth_sfload(synth, path.c_str(), 1) != FLUID_FAILED) {
        fluid_player_t* player = new_fluid_player(synth);
        fluid_player_add_mem(player, midi.data(), midi.size());
        fluid_player_play(player);
        std::vector<float> left(512);
        std::vector<float> right(512);
        for (int block = 0; block < 22050 * 3 / 512; ++block) {
            fluid_synth_write_float(synth, 512, left.data(), 0, 1, right.data(), 0, 1);
            out.insert(out.end(), left.begin(), left.end());
            out.insert(out.end(), right.begin(), right.end());
        }
        delete_fluid_player(player);
    }
    delete_fluid_synth(synth);
    delete_fluid_settings(settings);
    fs::remove(path);
    return out;
}

TEST(SoundFontTrim, TheCutFontPlaysTheStorysMusicAsTheWholeOneDoes) {
    const auto whole = readAll("/usr/share/sounds/sf2/TimGM6mb.sf2");
    if (!whole) {
        GTEST_SKIP() << "timgm6mb-soundfont is not installed";
    }
    const std::string midi = midiFile({
        {0, "\xC0\x30"},
        {0, std::string("\x90\x40\x60", 3)},
        {0, "\xC9\x00"},
        {0, std::string("\x99\x24\x60", 3)},
        {0, "\xC1\x0A"},  // a music box, stereo samples or not
        {0, std::string("\x91\x48\x60", 3)},
        {96, std::string("\x80\x40\x00", 3)},
        {0, std::string("\x81\x48\x00", 3)},
    });
    const auto presets = midiPresets(midi);
    const auto cut = trimSoundFont(*whole, presets);
    ASSERT_TRUE(cut);
    EXPECT_LT(cut->size(), whole->size() / 4);
    const auto before = render(*whole, midi);
    const auto after = render(*cut, midi);
    ASSERT_FALSE(before.empty());
    EXPECT_TRUE(std::any_of(before.begin(), before.end(), [](float s) { return s != 0; }));
    EXPECT_EQ(before, after);
    // A preset the song never selects is gone.
    const auto silent = trimSoundFont(*whole, {{0, 0}});
    ASSERT_TRUE(silent);
    EXPECT_NE(render(*silent, midi), before);
    EXPECT_FALSE(trimSoundFont("RIFF\x04\0\0\0sfbk", presets));
    EXPECT_FALSE(trimSoundFont(whole->substr(0, 4096), presets));
}

}  // namespace
}  // namespace vrk::publish
