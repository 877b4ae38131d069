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
// What the library may allocate for one picture's working buffers (a progressive picture's
// coefficients, the two-pass quantiser's whole-picture buffer). Beyond it the library has no
// backing store and fails, so a few hundred bytes of header cannot claim gigabytes.
constexpr long kMaxLibraryMemory = 256L << 20;
// Real progressive pictures have about ten scans; every scan walks all coefficients again,
// so a file of thousands of tiny scans would take minutes.
constexpr int kMaxScans = 100;

struct ErrorManager {
    jpeg_error_mgr pub;  // first, so that the library's pointer is also ours
    std::jmp_buf jump;
};

void onError(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::longjmp(manager->jump, 1);
}

// Called by the library between rows of input; ends a decode that has read too many scans
// the same way a library error does.
void onProgress(j_common_ptr cinfo) {
    if (cinfo->is_decompressor && reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
        onError(cinfo);
    }
}

/// The smallest reduction (1, 2, 4 or 8) that brings a picture within Bitmap::kMaxPixels; 0
/// when even an eighth is too large. Only pictures far larger than any screen are reduced.
unsigned reductionFor(JDIMENSION width, JDIMENSION height) {
    for (unsigned denominator = 1; denominator <= 8; denominator *= 2) {
        const std::size_t w = (width + denominator - 1) / denominator;
        const std::size_t h = (height + denominator - 1) / denominator;
        if (w * h <= Bitmap::kMaxPixels) {
            return denominator;
        }
    }
    return 0;
}

void onMessage(j_common_ptr, int) {}

void onOutput(j_common_ptr) {}

struct JpegJob {
    std::span<const std::uint8_t> bytes;
    bool lowRes = false;
    jpeg_decompress_struct cinfo{};
    ErrorManager error{};
    jpeg_progress_mgr progress{};
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

void setOptions(jpeg_decompress_struct& cinfo, bool lowRes, unsigned reduction) {
    // Best quality, full size (unless far too large), colour; everything else as the library
    // sets it.
    cinfo.scale_num = 1;
    cinfo.scale_denom = reduction;
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

/// Runs the library on job; false when it raised an error. Holds nothing that needs a
/// destructor, as a longjmp lands here (see the top of the file).
bool runDecode(JpegJob& job) {
    jpeg_decompress_struct& cinfo = job.cinfo;
    if (setjmp(job.error.jump) != 0) {
        return false;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = kMaxLibraryMemory;
    job.progress.progress_monitor = onProgress;
    cinfo.progress = &job.progress;
    jpeg_mem_src(&cinfo, job.bytes.data(), static_cast<unsigned long>(job.bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    if (cinfo.image_width > static_cast<JDIMENSION>(Bitmap::kMaxDimension) ||
        cinfo.image_height > static_cast<JDIMENSION>(Bitmap::kMaxDimension)) {
        return false;
    }
    const unsigned reduction = reductionFor(cinfo.image_width, cinfo.image_height);
    if (reduction == 0) {
        return false;
    }
    setOptions(cinfo, job.lowRes, reduction);
    jpeg_calc_output_dimensions(&cinfo);
    // Quantised output and 3-component output go straight into the bitmap's rows.
    const bool direct = job.lowRes || cinfo.output_components == 3;
    if (!direct) {
        job.rowBuffer.resize(static_cast<std::size_t>(cinfo.output_width) *
                             static_cast<std::size_t>(cinfo.output_components));
    }
    // The library's buffers come first: when they are over budget, the picture's memory is
    // never taken.
    jpeg_start_decompress(&cinfo);
    job.bitmap = Bitmap::create(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height),
                                job.lowRes ? PixelFormat::Indexed8 : PixelFormat::Rgb24);
    if (!job.bitmap) {
        return false;
    }
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
    bool ok = false;
    try {
        ok = runDecode(job);
    } catch (const std::bad_alloc&) {
        ok = false;  // from our own row buffer; the library's allocations fail through onError
    }
    jpeg_destroy_decompress(&job.cinfo);
    if (!ok) {
        return std::nullopt;
    }
    return std::move(job.bitmap);
}

}  // namespace vrk::pictures
