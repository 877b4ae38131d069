// decodeJpeg against djpeg 2.1.5's decodes in the shared corpus (jpeg/ref24, jpeg/ref236,
// jpeg/corrupt/ref*): pixel for pixel, and for the 236-colour form index for index and
// palette entry for palette entry. QImage reads djpeg's BMPs, an oracle independent of our
// own BMP decoder. Files djpeg could not decode must fail here too.

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <string>

#include "pictures/colour_table.h"
#include "pictures/picture_loader.h"
#include "test_files.h"

namespace vrk::pictures {
namespace {

namespace fs = std::filesystem;
using test::haveTestData;
using test::readBytes;
using test::testData;

fs::path jpegDir() {
    return testData() / "jpeg";
}

QImage readReference(const fs::path& path) {
    return QImage(QString::fromStdString(path.string()));
}

/// Our 24-bit decode equals the reference's colours exactly.
void expectSamePixels(const Bitmap& bitmap, const QImage& reference) {
    ASSERT_FALSE(reference.isNull());
    ASSERT_EQ(bitmap.width(), reference.width());
    ASSERT_EQ(bitmap.height(), reference.height());
    long differing = 0;
    for (int y = 0; y < bitmap.height(); ++y) {
        for (int x = 0; x < bitmap.width(); ++x) {
            const Rgb got = bitmap.pixel(x, y);
            const QRgb expected = reference.pixel(x, y);
            differing += got.r != qRed(expected) || got.g != qGreen(expected) || got.b != qBlue(expected);
        }
    }
    EXPECT_EQ(differing, 0);
}

/// Our quantised decode has the reference's indices and palette.
void expectSameIndices(const Bitmap& bitmap, const QImage& reference) {
    ASSERT_FALSE(reference.isNull());
    ASSERT_EQ(reference.format(), QImage::Format_Indexed8);
    ASSERT_EQ(bitmap.format(), PixelFormat::Indexed8);
    ASSERT_EQ(bitmap.width(), reference.width());
    ASSERT_EQ(bitmap.height(), reference.height());
    long differing = 0;
    for (int y = 0; y < bitmap.height(); ++y) {
        for (int x = 0; x < bitmap.width(); ++x) {
            differing += bitmap.row(y)[x] != reference.pixelIndex(x, y);
        }
    }
    EXPECT_EQ(differing, 0);
    const QList<QRgb> table = reference.colorTable();
    for (int i = 0; i < static_cast<int>(table.size()) && i < Bitmap::kPaletteSize; ++i) {
        const Rgb entry = bitmap.palette()[static_cast<std::size_t>(i)];
        EXPECT_EQ(bgrFromRgb(entry), bgrFromRgb(Rgb{static_cast<std::uint8_t>(qRed(table[i])),
                                                    static_cast<std::uint8_t>(qGreen(table[i])),
                                                    static_cast<std::uint8_t>(qBlue(table[i]))}))
            << "palette entry " << i;
    }
}

class JpegReference : public ::testing::Test {
protected:
    void SetUp() override {
        if (!haveTestData()) {
            GTEST_SKIP() << "shared corpus not found at " << testData();
        }
    }

    static std::vector<fs::path> corpusJpegs() {
        std::vector<fs::path> files;
        for (const char* dir : {"upstream", "generated"}) {
            for (const auto& entry : fs::directory_iterator(jpegDir() / dir)) {
                if (entry.path().extension() == ".jpg") {
                    files.push_back(entry.path());
                }
            }
        }
        std::sort(files.begin(), files.end());
        return files;
    }
};

TEST_F(JpegReference, TwentyFourBitDecodesEqualDjpeg) {
    int compared = 0;
    for (const fs::path& file : corpusJpegs()) {
        SCOPED_TRACE(file.filename().string());
        const std::string stem = file.stem().string();
        const auto bitmap = decodeJpeg(readBytes(file), false);
        if (stem == "monkey12") {
            EXPECT_FALSE(bitmap.has_value()) << "12-bit samples must be refused";
            continue;
        }
        ASSERT_TRUE(bitmap.has_value());
        EXPECT_EQ(bitmap->format(), PixelFormat::Rgb24);
        // Greyscale: ref24/NAME.bmp is djpeg's 8-bit grey form, NAME.rgb.bmp its RGB form.
        expectSamePixels(*bitmap, readReference(jpegDir() / "ref24" / (stem + ".bmp")));
        if (fs::exists(jpegDir() / "ref24" / (stem + ".rgb.bmp"))) {
            expectSamePixels(*bitmap, readReference(jpegDir() / "ref24" / (stem + ".rgb.bmp")));
        }
        ++compared;
    }
    EXPECT_EQ(compared, 21);
}

TEST_F(JpegReference, LowResDecodesEqualDjpegWith236Colours) {
    int compared = 0;
    for (const fs::path& file : corpusJpegs()) {
        SCOPED_TRACE(file.filename().string());
        const std::string stem = file.stem().string();
        const auto bitmap = decodeJpeg(readBytes(file), true);
        if (stem == "monkey12") {
            EXPECT_FALSE(bitmap.has_value());
            continue;
        }
        ASSERT_TRUE(bitmap.has_value());
        const fs::path reference = jpegDir() / "ref236" / (stem + ".bmp");
        if (!fs::exists(reference)) {
            continue;  // CMYK: djpeg cannot quantise it (checked in CmykLowResIsEightBit)
        }
        // Greyscale JPEGs stay one component, so the library quantises one-pass as djpeg
        // did for ref236/NAME.bmp (not the forced-RGB NAME.rgb.bmp).
        expectSameIndices(*bitmap, readReference(reference));
        ++compared;
    }
    EXPECT_EQ(compared, 19);
}

TEST_F(JpegReference, CmykLowResIsEightBitAndCloseToTheFullDecode) {
    for (const char* name : {"vcmyk_pil.jpg", "vycck_im6.jpg"}) {
        SCOPED_TRACE(name);
        const auto bytes = readBytes(jpegDir() / "generated" / name);
        const auto full = decodeJpeg(bytes, false);
        const auto low = decodeJpeg(bytes, true);
        ASSERT_TRUE(full && low);
        EXPECT_EQ(low->format(), PixelFormat::Indexed8);
        EXPECT_EQ(low->width(), full->width());
        EXPECT_EQ(low->height(), full->height());
        // One-pass CMYK quantisation with dithering: each pixel may be off, the picture is not.
        long sum = 0;
        for (int y = 0; y < full->height(); ++y) {
            for (int x = 0; x < full->width(); ++x) {
                const Rgb a = full->pixel(x, y);
                const Rgb b = low->pixel(x, y);
                sum += std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
            }
        }
        EXPECT_LT(sum / (3.0 * full->width() * full->height()), 40.0);
    }
}

TEST_F(JpegReference, CorruptFilesFailOrEqualWhatDjpegMadeOfThem) {
    // djpeg warned and wrote a picture: the library's warnings are ignored here too, so the
    // picture must be djpeg's. djpeg failed: so must we. scan_base_random_after_sos is the
    // one file where djpeg wrote a picture and then failed at the end (an unknown marker
    // met by jpeg_finish_decompress): an error is an error, so it fails here.
    int loaded = 0;
    int failed = 0;
    for (const auto& entry : fs::directory_iterator(jpegDir() / "corrupt")) {
        if (entry.path().extension() != ".jpg") {
            continue;
        }
        const std::string stem = entry.path().stem().string();
        SCOPED_TRACE(stem);
        const auto bytes = readBytes(entry.path());
        const fs::path ref24 = jpegDir() / "corrupt" / "ref24" / (stem + ".bmp");
        const fs::path ref236 = jpegDir() / "corrupt" / "ref236" / (stem + ".bmp");
        const auto full = decodeJpeg(bytes, false);
        const auto low = decodeJpeg(bytes, true);
        if (!fs::exists(ref24) || stem == "scan_base_random_after_sos") {
            EXPECT_FALSE(full.has_value());
            EXPECT_FALSE(low.has_value());
            ++failed;
            continue;
        }
        ASSERT_TRUE(full.has_value());
        ASSERT_TRUE(low.has_value());
        expectSamePixels(*full, readReference(ref24));
        expectSameIndices(*low, readReference(ref236));
        ++loaded;
    }
    EXPECT_EQ(loaded, 16);
    EXPECT_EQ(failed, 18);
}

}  // namespace
}  // namespace vrk::pictures
