// Decoding speed of a 640 x 480 picture, the size of a typical story's background. The JPEG
// is made here with libjpeg (quality 90, 4:2:0) from a smooth gradient with detail, so the
// figures do not depend on the shared corpus.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

#include "pictures/picture_loader.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

std::uint8_t channel(int value) {
    return static_cast<std::uint8_t>(value & 0xFF);
}

std::vector<std::uint8_t> makeJpeg() {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr error{};
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = kWidth;
    cinfo.image_height = kHeight;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(kWidth * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < kWidth; ++x) {
            row[3 * x] = channel(x * 255 / kWidth + ((x * y) >> 6) % 16);
            row[3 * x + 1] = channel(y * 255 / kHeight);
            row[3 * x + 2] = channel(128 + ((x ^ y) & 31));
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<std::uint8_t> bytes(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return bytes;
}

std::vector<std::uint8_t> makeBmp24() {
    const int stride = kWidth * 3;
    std::vector<std::uint8_t> out(54 + static_cast<std::size_t>(stride) * kHeight, 0);
    auto put32 = [&out](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
        }
    };
    out[0] = 'B';
    out[1] = 'M';
    put32(2, static_cast<std::uint32_t>(out.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, kWidth);
    put32(22, kHeight);
    out[26] = 1;
    out[28] = 24;
    for (std::size_t i = 54; i < out.size(); ++i) {
        out[i] = static_cast<std::uint8_t>(i * 7);
    }
    return out;
}

void decodeJpeg24(benchmark::State& state) {
    const auto jpeg = makeJpeg();
    for (auto _ : state) {
        auto bitmap = vrk::pictures::decodeJpeg(jpeg, false);
        benchmark::DoNotOptimize(bitmap);
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(decodeJpeg24)->Unit(benchmark::kMillisecond);

void decodeJpegLowRes236(benchmark::State& state) {
    const auto jpeg = makeJpeg();
    for (auto _ : state) {
        auto bitmap = vrk::pictures::decodeJpeg(jpeg, true);
        benchmark::DoNotOptimize(bitmap);
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(decodeJpegLowRes236)->Unit(benchmark::kMillisecond);

void decodeBmp24(benchmark::State& state) {
    const auto bmp = makeBmp24();
    for (auto _ : state) {
        auto bitmap = vrk::pictures::decodeBmp(bmp);
        benchmark::DoNotOptimize(bitmap);
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(decodeBmp24)->Unit(benchmark::kMillisecond);

}  // namespace
