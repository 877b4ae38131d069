// loadPicture from disk: the JPEG candidate's name, the JPEG-first rule, names in any
// letter case, and Japanese names (表 and ソ end in the byte 0x5C, the backslash) stored
// in UTF-8 and in raw Shift-JIS.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "pictures/picture_loader.h"
#include "test_files.h"
#include "test_images.h"

namespace vrk::pictures {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::writeBytes;

// Shift-JIS and UTF-8 spellings of the Japanese names used here.
const std::string kHyouSjis = "\x95\x5C";      // 表, second byte 0x5C
const std::string kHyouUtf8 = "\xE8\xA1\xA8";  // 表
const std::string kSoSjis = "\x83\x5C";        // ソ, second byte 0x5C
const std::string kSoUtf8 = "\xE3\x82\xBD";    // ソ

TEST(JpegCandidate, ExtensionOfTheFileNamePartBecomesJpg) {
    const struct {
        std::string name;
        std::string candidate;
    } cases[] = {
        {"PIC.BMP", "PIC.JPG"},
        {"pic.bmp", "pic.JPG"},
        {"PIC.JPG", "PIC.JPG"},
        {"PIC", "PIC.JPG"},
        {"A.B.C", "A.B.JPG"},
        {"DIR.X\\PIC", "DIR.X\\PIC.JPG"},
        {"DIR.X/PIC.BMP", "DIR.X/PIC.JPG"},
        {"C:PIC.GIF", "C:PIC.JPG"},
        {kHyouSjis + ".BMP", kHyouSjis + ".JPG"},
        {kHyouSjis, kHyouSjis + ".JPG"},  // 0x5C inside 表 is no separator
        {kSoSjis + "\\X.BMP", kSoSjis + "\\X.JPG"},
        {"D.IR\\" + kSoSjis, "D.IR\\" + kSoSjis + ".JPG"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(jpegCandidateName(c.name), c.candidate);
    }
}

class LoadPicture : public ::testing::Test {
protected:
    /// A 8 x 4 red BMP.
    void putBmp(const std::string& name) {
        writeBytes(m_dir.path() / name, test::makeBmp24(8, 4, [](int, int) { return Rgb{255, 0, 0}; }));
    }
    /// A 16 x 4 JPEG.
    void putJpeg(const std::string& name) {
        writeBytes(m_dir.path() / name, test::makeJpeg(16, 4, test::testPattern));
    }
    bool load(const std::string& nameSjis, Bitmap& target, bool lowRes = false) {
        return loadPicture(nameSjis, m_dir.path(), lowRes, target);
    }
    /// The width of what loads: 8 for the BMP, 16 for the JPEG, 0 for nothing.
    int loadedWidth(const std::string& nameSjis) {
        Bitmap target;
        return load(nameSjis, target) ? target.width() : 0;
    }

    TempDir m_dir;
};

TEST_F(LoadPicture, JpegOfTheSameBaseNameWins) {
    putBmp("A.BMP");
    putJpeg("A.JPG");
    EXPECT_EQ(loadedWidth("A.BMP"), 16);
    EXPECT_EQ(loadedWidth("A.GIF"), 16);
    EXPECT_EQ(loadedWidth("A"), 16);
}

TEST_F(LoadPicture, NamedBmpWhenThereIsNoJpeg) {
    putBmp("B.BMP");
    EXPECT_EQ(loadedWidth("B.BMP"), 8);
    putBmp("PICTURE.DAT");  // the content decides, not the extension
    EXPECT_EQ(loadedWidth("PICTURE.DAT"), 8);
}

TEST_F(LoadPicture, NeitherFileLeavesTheTargetUntouched) {
    Bitmap target = *Bitmap::create(3, 2, PixelFormat::Rgb24);
    target.row(0)[0] = 77;
    EXPECT_FALSE(load("C.BMP", target));
    EXPECT_EQ(target.width(), 3);
    EXPECT_EQ(target.row(0)[0], 77);
    EXPECT_FALSE(load("", target));
}

TEST_F(LoadPicture, BrokenJpegFailsWithoutFallingBackToTheBmp) {
    putBmp("F.BMP");
    writeBytes(m_dir.path() / "F.JPG", {0xFF, 0xD8, 0xFF});
    Bitmap target = *Bitmap::create(3, 2, PixelFormat::Rgb24);
    EXPECT_FALSE(load("F.BMP", target));
    EXPECT_EQ(target.width(), 3);
    writeBytes(m_dir.path() / "G.BMP", {'B', 'M', 0, 0});
    EXPECT_FALSE(load("G.BMP", target));
    EXPECT_EQ(target.width(), 3);
}

TEST_F(LoadPicture, ADirectoryIsNoJpeg) {
    fs::create_directory(m_dir.path() / "H.JPG");
    putBmp("H.BMP");
    EXPECT_EQ(loadedWidth("H.BMP"), 8);
    fs::create_directory(m_dir.path() / "I.BMP");
    EXPECT_EQ(loadedWidth("I.BMP"), 0);
}

TEST_F(LoadPicture, NamesLeavingTheProjectReadOnlyRegularFiles) {
    const fs::path outside = m_dir.path().parent_path() / (m_dir.path().filename().string() + "_outside");
    fs::create_directories(outside);
    writeBytes(outside / "p.bmp", test::makeBmp24(8, 4, test::testPattern));
    ::mkfifo((outside / "pipe.bmp").c_str(), 0644);
    ::mkfifo((outside / "p.jpg").c_str(), 0644);  // the JPEG tried first must not block either
    fs::create_symlink("/dev/zero", m_dir.path() / "zero.bmp");
    const std::string up = "..\\" + outside.filename().string() + "\\";
    EXPECT_EQ(loadedWidth(up + "p.bmp"), 8);
    EXPECT_EQ(loadedWidth((outside / "p.bmp").string()), 8);
    for (const std::string& name : {up + "pipe.bmp", std::string("/dev/zero"), std::string("zero.bmp"), up}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(loadedWidth(name), 0);
    }
    fs::remove_all(outside);
}

TEST_F(LoadPicture, NamesMatchInAnyLetterCase) {
    putJpeg("d.jpg");
    EXPECT_EQ(loadedWidth("D.BMP"), 16);
    putBmp("e.Bmp");
    EXPECT_EQ(loadedWidth("E.BMP"), 8);
    fs::create_directory(m_dir.path() / "Sub");
    writeBytes(m_dir.path() / "Sub" / "k.bmp", test::makeBmp24(8, 4, test::testPattern));
    EXPECT_EQ(loadedWidth("SUB\\K.BMP"), 8);
}

TEST_F(LoadPicture, LowResTurnsJpegsIntoEightBitOnly) {
    putJpeg("L.JPG");
    putBmp("M.BMP");
    Bitmap jpeg;
    ASSERT_TRUE(load("L.BMP", jpeg, true));
    EXPECT_EQ(jpeg.format(), PixelFormat::Indexed8);
    EXPECT_EQ(jpeg.width(), 16);
    EXPECT_EQ(jpeg.height(), 4);
    Bitmap bmp;
    ASSERT_TRUE(load("M.BMP", bmp, true));
    EXPECT_EQ(bmp.format(), PixelFormat::Rgb24);
}

TEST_F(LoadPicture, JapaneseNameStoredInUtf8) {
    putBmp(kHyouUtf8 + ".bmp");
    EXPECT_EQ(loadedWidth(kHyouSjis + ".BMP"), 8);
    putJpeg(kHyouUtf8 + ".jpg");
    EXPECT_EQ(loadedWidth(kHyouSjis + ".BMP"), 16);  // the JPEG now wins
}

TEST_F(LoadPicture, JapaneseNameStoredInRawShiftJis) {
    putBmp(kSoSjis + ".bmp");
    EXPECT_EQ(loadedWidth(kSoSjis + ".BMP"), 8);
    putJpeg(kSoSjis + ".JPG");
    EXPECT_EQ(loadedWidth(kSoSjis + ".BMP"), 16);
}

TEST_F(LoadPicture, JapaneseDirectoryBeforeABackslash) {
    // "ソ\PIC.BMP": the 0x5C inside ソ is part of the character, the next one separates.
    fs::create_directory(m_dir.path() / kSoUtf8);
    writeBytes(m_dir.path() / kSoUtf8 / "PIC.BMP", test::makeBmp24(8, 4, test::testPattern));
    EXPECT_EQ(loadedWidth(kSoSjis + "\\PIC.BMP"), 8);
    fs::create_directory(m_dir.path() / kHyouSjis);
    writeBytes(m_dir.path() / kHyouSjis / "pic.jpg", test::makeJpeg(16, 4, test::testPattern));
    EXPECT_EQ(loadedWidth(kHyouSjis + "\\PIC.BMP"), 16);
}

}  // namespace
}  // namespace vrk::pictures
