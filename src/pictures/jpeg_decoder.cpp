// JPEG decoding through the IJG interface (libjpeg-turbo here), the JPEG half of loadPicture.
//
// libjpeg reports errors through error_exit, which must not return. It longjmps back to
// runDecode, the only function that calls setjmp; that function holds no object with a
// destructor, and everything it fills lives in the caller's JpegJob, so the jump skips no
// C++ cleanup. Warnings (a damaged or truncated scan) are swallowed: the library then
// completes the picture as djpeg does.

#include <algorithm>
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <new>
#include <vector>

#include <jpeglib.h>

#include "pictures/picture_loader.h"

namespace vrk::pictures {

namespace {

constexpr int kLowResColours = 236;

struct ErrorManager {
    jpeg_error_mgr pub;  // first, so that the library's pointer is also ours
    std::jmp_buf jump;
};

void onError(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::longjmp(manager->jump, 1);
}

void onMessage(j_common_ptr, int) {}

void onOutput(j_common_ptr) {}

struct JpegJob {
    std::span<const std::uint8_t> bytes;
    bool lowRes = false;
    jpeg_decompress_struct cinfo{};
    ErrorManager error{};
    std::optional<Bitmap> bitmap;
    std::vector<std::uint8_t> rowBuffer;
};

/// Adobe CMYK as libjpeg hands it over (inverted) to RGB, rounded as djpeg's BMP writer does.
std::uint8_t cmykChannel(unsigned c, unsigned k) {
    return static_cast<std::uint8_t>((2 * c * k + 255) / 510);
}

Rgb colourOfSample(const JSAMPLE* sample, int components) {
    switch (components) {
        case 1:
            return Rgb{sample[0], sample[0], sample[0]};
        case 4:
            return Rgb{cmykChannel(sample[0], sample[3]), cmykChannel(sample[1], sample[3]),
                       cmykChannel(sample[2], sample[3])};
        default:
            return Rgb{sample[0], sample[1], sample[2]};
    }
}

void setOptions(jpeg_decompress_struct& cinfo, bool lowRes) {
    // Best quality, full size, colour; everything else as the library sets it.
    cinfo.scale_num = 1;
    cinfo.scale_denom = 1;
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.do_fancy_upsampling = TRUE;
    cinfo.do_block_smoothing = TRUE;
    cinfo.buffered_image = FALSE;
    // Greyscale stays one component (the quantiser then works one-pass on grey levels, as the
    // library always does for grey); CMYK and YCCK come out as CMYK, which the library
    // cannot turn into RGB; every other colour space is asked for as RGB.
    if (cinfo.out_color_space != JCS_GRAYSCALE && cinfo.out_color_space != JCS_CMYK) {
        cinfo.out_color_space = JCS_RGB;
    }
    if (lowRes) {
        cinfo.quantize_colors = TRUE;
        cinfo.desired_number_of_colors = kLowResColours;
    }
}

void takePalette(const jpeg_decompress_struct& cinfo, Bitmap& bitmap) {
    const int components = cinfo.out_color_components;
    std::vector<JSAMPLE> sample(static_cast<std::size_t>(components));
    const int count = std::min(cinfo.actual_number_of_colors, Bitmap::kPaletteSize);
    for (int i = 0; i < count; ++i) {
        for (int c = 0; c < components; ++c) {
            sample[static_cast<std::size_t>(c)] = cinfo.colormap[c][i];
        }
        bitmap.palette()[static_cast<std::size_t>(i)] = colourOfSample(sample.data(), components);
    }
}

/// Quantised output and 3-component output go straight into the bitmap's rows; anything else
/// goes through a row buffer. False when memory runs out. Kept out of runDecode so that the
/// function calling setjmp makes no call that can throw, which WebAssembly builds require
/// (hence also never inlined there).
[[gnu::noinline]] bool prepareOutput(JpegJob& job) noexcept {
    const jpeg_decompress_struct& cinfo = job.cinfo;
    try {
        job.bitmap =
            Bitmap::create(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height),
                           job.lowRes ? PixelFormat::Indexed8 : PixelFormat::Rgb24);
        if (!job.bitmap) {
            return false;
        }
        if (!job.lowRes && cinfo.output_components != 3) {
            job.rowBuffer.resize(static_cast<std::size_t>(cinfo.output_width) *
                                 static_cast<std::size_t>(cinfo.output_components));
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

/// Runs the library on job; false when it raised an error. Holds nothing that needs a
/// destructor, as a longjmp lands here (see the top of the file).
bool runDecode(JpegJob& job) {
    jpeg_decompress_struct& cinfo = job.cinfo;
    if (setjmp(job.error.jump) != 0) {
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, job.bytes.data(), static_cast<unsigned long>(job.bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    setOptions(cinfo, job.lowRes);
    jpeg_calc_output_dimensions(&cinfo);
    if (cinfo.output_width > static_cast<JDIMENSION>(Bitmap::kMaxDimension) ||
        cinfo.output_height > static_cast<JDIMENSION>(Bitmap::kMaxDimension)) {
        return false;
    }
    if (!prepareOutput(job)) {
        return false;
    }
    const bool direct = job.rowBuffer.empty();
    jpeg_start_decompress(&cinfo);
    const int width = static_cast<int>(cinfo.output_width);
    while (cinfo.output_scanline < cinfo.output_height) {
        std::uint8_t* target = job.bitmap->row(static_cast<int>(cinfo.output_scanline));
        JSAMPROW row = direct ? target : job.rowBuffer.data();
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) {
            return false;  // suspension cannot happen with a memory source; be safe anyway
        }
        if (!direct) {
            for (int x = 0; x < width; ++x) {
                const Rgb rgb = colourOfSample(row + x * cinfo.output_components, cinfo.output_components);
                target[3 * x] = rgb.r;
                target[3 * x + 1] = rgb.g;
                target[3 * x + 2] = rgb.b;
            }
        }
    }
    if (job.lowRes) {
        takePalette(cinfo, *job.bitmap);
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

}  // namespace

std::optional<Bitmap> decodeJpeg(std::span<const std::uint8_t> bytes, bool lowRes) {
    if (bytes.empty()) {
        return std::nullopt;  // jpeg_mem_src refuses an empty buffer with an error anyway
    }
    JpegJob job;
    job.bytes = bytes;
    job.lowRes = lowRes;
    job.cinfo.err = jpeg_std_error(&job.error.pub);
    job.error.pub.error_exit = onError;
    job.error.pub.emit_message = onMessage;
    job.error.pub.output_message = onOutput;
    // Our own allocations fail inside prepareOutput; the library's fail through onError.
    const bool ok = runDecode(job);
    jpeg_destroy_decompress(&job.cinfo);
    if (!ok) {
        return std::nullopt;
    }
    return std::move(job.bitmap);
}

}  // namespace vrk::pictures
