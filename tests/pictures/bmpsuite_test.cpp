// decodeBmp against BMP Suite 2.8 (shared corpus bmp/bmpsuite): every "good" file loads and
// equals its reference PNG; every "bad" file fails cleanly or loads without a crash; each
// "questionable" file does what the table below says and why.
//
// Pixels are compared channel by channel with QImage reading the reference PNG. The
// tolerance is 0 (exact) everywhere but one row: q/rgb32-111110.bmp stores 8-bit colours in
// 11- and 10-bit fields and is compared with the 8-bit original, rgb24.png; our
// value * 255 / max, rounded, comes back one step off for 128 of its pixels.

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "pictures/picture_loader.h"
#include "test_files.h"

namespace vrk::pictures {
namespace {

namespace fs = std::filesystem;
using test::haveTestData;
using test::readBytes;
using test::testData;

fs::path suiteDir() {
    return testData() / "bmp" / "bmpsuite";
}

struct MapRow {
    std::string file;
    std::string kind;
    std::vector<std::string> references;
};

std::vector<MapRow> readReferenceMap() {
    std::ifstream in(suiteDir() / "reference-map.tsv");
    std::vector<MapRow> rows;
    std::string line;
    std::getline(in, line);  // column names
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::stringstream fields(line);
        for (std::string cell; std::getline(fields, cell, '\t');) {
            cells.push_back(cell);
        }
        if (cells.size() < 4) {
            continue;
        }
        MapRow row{cells[0], cells[1], {}};
        std::stringstream refs(cells[3]);
        for (std::string ref; std::getline(refs, ref, '|');) {
            ref.erase(0, ref.find_first_not_of(' '));
            ref.erase(ref.find_last_not_of(' ') + 1);
            if (ref != "N/A") {
                row.references.push_back(ref);
            }
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::optional<Bitmap> decodeSuiteFile(const std::string& file) {
    return decodeBmp(readBytes(suiteDir() / file));
}

QImage readReference(const std::string& name) {
    return QImage(QString::fromStdString((suiteDir() / "html" / name).string()))
        .convertToFormat(QImage::Format_ARGB32);
}

struct Difference {
    int maxChannel = 0;  ///< largest difference of one channel
    long pixels = 0;     ///< pixels with any difference
};

enum class Channels {
    Rgb,           ///< compare red, green and blue
    SwapRedGreen,  ///< our red against the reference's green and back
    VisibleOnly,   ///< only where the reference is not fully transparent (its colour is kept there)
};

/// How far bitmap is from reference; the sizes must be equal.
Difference compare(const Bitmap& bitmap, const QImage& reference, Channels channels = Channels::Rgb) {
    Difference difference;
    for (int y = 0; y < bitmap.height(); ++y) {
        for (int x = 0; x < bitmap.width(); ++x) {
            const QRgb expected = reference.pixel(x, y);
            if (channels == Channels::VisibleOnly && qAlpha(expected) == 0) {
                continue;
            }
            const Rgb got = bitmap.pixel(x, y);
            int r = qRed(expected);
            int g = qGreen(expected);
            if (channels == Channels::SwapRedGreen) {
                std::swap(r, g);
            }
            const int d =
                std::max({std::abs(got.r - r), std::abs(got.g - g), std::abs(got.b - qBlue(expected))});
            difference.maxChannel = std::max(difference.maxChannel, d);
            difference.pixels += d != 0 ? 1 : 0;
        }
    }
    return difference;
}

/// Expects file to load and to be within tolerance of the reference image.
void expectMatches(const std::string& file, const std::string& referenceName, int tolerance = 0,
                   Channels channels = Channels::Rgb) {
    SCOPED_TRACE(file + " vs " + referenceName);
    const auto bitmap = decodeSuiteFile(file);
    ASSERT_TRUE(bitmap.has_value());
    const QImage reference = readReference(referenceName);
    ASSERT_FALSE(reference.isNull());
    ASSERT_EQ(bitmap->width(), reference.width());
    ASSERT_EQ(bitmap->height(), reference.height());
    const Difference difference = compare(*bitmap, reference, channels);
    EXPECT_LE(difference.maxChannel, tolerance) << difference.pixels << " pixels differ";
}

class BmpSuite : public ::testing::Test {
protected:
    void SetUp() override {
        if (!haveTestData()) {
            GTEST_SKIP() << "shared corpus not found at " << testData();
        }
    }
};

TEST_F(BmpSuite, EveryGoodFileMatchesItsReference) {
    int good = 0;
    for (const MapRow& row : readReferenceMap()) {
        if (row.kind != "good") {
            continue;
        }
        ++good;
        // pal8nonsquare has a stretched ("-v", viewer) and an as-stored ("-e", editor)
        // reference; a decoder gives the stored pixels, so the one of equal size counts.
        std::string reference = row.references.at(0);
        if (const auto bitmap = decodeSuiteFile(row.file)) {
            for (const std::string& candidate : row.references) {
                const QImage image = readReference(candidate);
                if (image.width() == bitmap->width() && image.height() == bitmap->height()) {
                    reference = candidate;
                }
            }
        }
        expectMatches(row.file, reference);
    }
    EXPECT_EQ(good, 27);
}

TEST_F(BmpSuite, GoodFilesKeepTheirPixelFormat) {
    EXPECT_EQ(decodeSuiteFile("g/pal1.bmp")->format(), PixelFormat::Indexed8);
    EXPECT_EQ(decodeSuiteFile("g/pal4rle.bmp")->format(), PixelFormat::Indexed8);
    EXPECT_EQ(decodeSuiteFile("g/pal8os2.bmp")->format(), PixelFormat::Indexed8);
    EXPECT_EQ(decodeSuiteFile("g/rgb16.bmp")->format(), PixelFormat::Rgb24);
    EXPECT_EQ(decodeSuiteFile("g/rgb24.bmp")->format(), PixelFormat::Rgb24);
    EXPECT_EQ(decodeSuiteFile("g/rgb32bf.bmp")->format(), PixelFormat::Rgb24);
}

// What each questionable file does here, and why.
struct Questionable {
    const char* file;
    const char* reference;  ///< nullptr: the file must fail to load
    int tolerance;
    Channels channels;
    const char* why;
};

const Questionable kQuestionable[] = {
    {"q/pal1p1.bmp", "pal1p1.png", 0, Channels::Rgb, "a one-colour palette is read as it is"},
    {"q/pal2.bmp", "pal2.png", 0, Channels::Rgb, "2 bits per pixel (Windows CE) is read"},
    {"q/pal2color.bmp", "pal2color.png", 0, Channels::Rgb, "2 bits per pixel (Windows CE) is read"},
    {"q/pal4rletrns.bmp", "pal4rletrns-0.png", 0, Channels::Rgb, "skipped pixels keep palette index 0"},
    {"q/pal4rlecut.bmp", "pal4rlecut-0.png", 0, Channels::Rgb, "skipped pixels keep palette index 0"},
    {"q/pal8rletrns.bmp", "pal8rletrns-0.png", 0, Channels::Rgb, "skipped pixels keep palette index 0"},
    {"q/pal8rlecut.bmp", "pal8rlecut-0.png", 0, Channels::Rgb, "skipped pixels keep palette index 0"},
    {"q/pal8offs.bmp", "pal8.png", 0, Channels::Rgb, "pixels are found through the file header's offset"},
    {"q/pal8oversizepal.bmp", "pal8.png", 0, Channels::Rgb, "palette entries beyond 256 are ignored"},
    {"q/pal8os2-sz.bmp", "pal8.png", 0, Channels::Rgb, "the file-size field is never used"},
    {"q/pal8os2-hs.bmp", "pal8.png", 0, Channels::Rgb, "the reserved fields are never used"},
    {"q/pal8os2sp.bmp", "pal8.png", 0, Channels::Rgb, "a short core palette ends at the pixel data"},
    {"q/pal8os2v2.bmp", nullptr, 0, Channels::Rgb, "OS/2 v2 headers are not Windows BMPs"},
    {"q/pal8os2v2-16.bmp", nullptr, 0, Channels::Rgb, "OS/2 v2 headers are not Windows BMPs"},
    {"q/pal8os2v2-sz.bmp", nullptr, 0, Channels::Rgb, "OS/2 v2 headers are not Windows BMPs"},
    {"q/pal8os2v2-40sz.bmp", "pal8.png", 0, Channels::Rgb, "a 40-byte header is an ordinary Windows header"},
    {"q/rgb24rle24.bmp", nullptr, 0, Channels::Rgb, "RLE24 is OS/2 only"},
    {"q/pal1huffmsb.bmp", nullptr, 0, Channels::Rgb, "Huffman 1D is OS/2 only"},
    {"q/rgb16faketrns.bmp", "rgb16.png", 0, Channels::Rgb, "the unused bit is ignored"},
    {"q/rgb16-231.bmp", "rgb16-231.png", 0, Channels::Rgb, "fields are scaled to 0-255, not shifted"},
    {"q/rgb16-3103.bmp", "rgb16-3103.png", 0, Channels::Rgb, "fields are scaled to 0-255, not shifted"},
    {"q/rgba16-4444.bmp", "rgba16-4444.png", 0, Channels::VisibleOnly, "alpha is ignored, colours read"},
    {"q/rgba16-5551.bmp", "rgba16-5551.png", 0, Channels::VisibleOnly, "alpha is ignored, colours read"},
    {"q/rgba16-1924.bmp", "rgba16-1924.png", 0, Channels::VisibleOnly, "alpha is ignored, colours read"},
    {"q/rgb24largepal.bmp", "rgb24.png", 0, Channels::Rgb, "a palette is ignored above 8 bits per pixel"},
    {"q/rgb24prof.bmp", "rgb24.png", 0, Channels::Rgb, "an embedded profile is ignored"},
    {"q/rgb24prof2.bmp", "rgb24.png", 0, Channels::SwapRedGreen,
     "profiles are ignored, so the stored swapped channels show as stored"},
    {"q/rgb24lprof.bmp", "rgb24.png", 0, Channels::Rgb, "a linked profile is never opened"},
    {"q/rgb24jpeg.bmp", nullptr, 0, Channels::Rgb, "embedded JPEG is for printers; not read"},
    {"q/rgb24png.bmp", nullptr, 0, Channels::Rgb, "embedded PNG is for printers; not read"},
    {"q/rgb32h52.bmp", "rgb24.png", 0, Channels::Rgb, "52-byte header: masks inside the header"},
    {"q/rgb32-xbgr.bmp", "rgb24.png", 0, Channels::Rgb, "masks in the high bits are read"},
    {"q/rgb32fakealpha.bmp", "rgb24.png", 0, Channels::Rgb, "the unused byte is ignored, no alpha guessing"},
    {"q/rgb32-111110.bmp", "rgb24.png", 1, Channels::Rgb,
     "11- and 10-bit fields scale to 8 bits (one step off)"},
    {"q/rgb32-7187.bmp", "rgb32-7187.png", 0, Channels::Rgb, "18-bit green scales to 8 bits"},
    {"q/rgba32-1.bmp", "rgba32.png", 0, Channels::VisibleOnly, "alpha is ignored, colours read"},
    {"q/rgba32-2.bmp", "rgba32.png", 0, Channels::VisibleOnly, "alpha ignored, masks read"},
    {"q/rgba32-1010102.bmp", "rgba32-1010102.png", 0, Channels::VisibleOnly, "10-bit fields scale"},
    {"q/rgba32-81284.bmp", "rgba32-81284.png", 0, Channels::VisibleOnly, "12-bit green scales"},
    {"q/rgba32-61754.bmp", "rgba32-61754.png", 0, Channels::VisibleOnly, "17-bit green scales"},
    {"q/rgba32abf.bmp", "rgba32.png", 0, Channels::VisibleOnly, "ALPHABITFIELDS read as BITFIELDS"},
    {"q/rgba32h56.bmp", "rgba32.png", 0, Channels::VisibleOnly, "56-byte header: masks inside"},
    {"q/rgba64.bmp", nullptr, 0, Channels::Rgb, "64 bits per pixel is not a Windows DIB format"},
    {"x/ba-bm.bmp", nullptr, 0, Channels::Rgb, "a bitmap array (\"BA\") is not a BMP file"},
};

TEST_F(BmpSuite, QuestionableFilesDoWhatTheTableSays) {
    for (const Questionable& row : kQuestionable) {
        SCOPED_TRACE(std::string(row.file) + ": " + row.why);
        if (row.reference == nullptr) {
            EXPECT_FALSE(decodeSuiteFile(row.file).has_value());
        } else {
            expectMatches(row.file, row.reference, row.tolerance, row.channels);
        }
    }
}

// Bad files must never crash; these are the outcomes, each for its reason.
struct Bad {
    const char* file;
    bool loads;
    const char* why;
};

const Bad kBad[] = {
    {"b/badbitcount.bmp", false, "no such bit count"},
    {"b/badbitssize.bmp", true, "the image-size field is never used; the pixels are all there"},
    {"b/baddens1.bmp", true, "the density fields are never used"},
    {"b/baddens2.bmp", true, "the density fields are never used"},
    {"b/badfilesize.bmp", true, "the file-size field is never used"},
    {"b/badheadersize.bmp", false, "no header has 66 bytes"},
    {"b/badpalettesize.bmp", true, "the palette ends at 256 entries and at the pixel data"},
    {"b/badplanes.bmp", false, "planes must be 1"},
    {"b/badrle4.bmp", true, "runs past the edges are cut off"},
    {"b/badrle4bis.bmp", true, "runs past the edges are cut off"},
    {"b/badrle4ter.bmp", true, "runs past the edges are cut off"},
    {"b/badrle.bmp", true, "runs past the edges are cut off"},
    {"b/badrlebis.bmp", true, "runs past the edges are cut off"},
    {"b/badrleter.bmp", true, "runs past the edges are cut off"},
    {"b/badwidth.bmp", false, "a negative width"},
    {"b/pal8badindex.bmp", true, "indices past the palette show black"},
    {"b/reallybig.bmp", false, "larger than 16384 x 16384, refused before allocating"},
    {"b/rgb16-880.bmp", true, "an empty blue mask gives blue 0"},
    {"b/rletopdown.bmp", false, "RLE cannot be top-down"},
    {"b/shortfile.bmp", false, "the pixel data is cut short"},
};

TEST_F(BmpSuite, BadFilesFailCleanlyOrLoad) {
    for (const Bad& row : kBad) {
        SCOPED_TRACE(std::string(row.file) + ": " + row.why);
        const auto bitmap = decodeSuiteFile(row.file);
        EXPECT_EQ(bitmap.has_value(), row.loads);
    }
    expectMatches("b/rgb16-880.bmp", "rgb16-880.png");
}

TEST_F(BmpSuite, TablesCoverTheWholeSuite) {
    std::set<std::string> covered;
    for (const Questionable& row : kQuestionable) {
        covered.insert(row.file);
    }
    for (const Bad& row : kBad) {
        covered.insert(row.file);
    }
    for (const MapRow& row : readReferenceMap()) {
        if (row.kind != "good") {
            EXPECT_TRUE(covered.count(row.file)) << row.file << " has no row in the tables";
        }
    }
    EXPECT_EQ(readReferenceMap().size(), 91u);
}

}  // namespace
}  // namespace vrk::pictures
