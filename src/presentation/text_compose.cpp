#include "presentation/text_compose.h"

#include <algorithm>
#include <array>
#include <vector>

namespace vrk::presentation {

namespace {

// a × b / 255, rounded: the blend arithmetic of 8-bit channels.
inline std::uint32_t mul255(std::uint32_t a, std::uint32_t b) {
    const std::uint32_t t = a * b + 128;
    return (t + (t >> 8)) >> 8;
}

constexpr std::uint32_t kOpaqueBlack = 0xFF000000u;

inline std::uint32_t rgb32(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return kOpaqueBlack | (r & 0xFF) << 16 | (g & 0xFF) << 8 | (b & 0xFF);
}

struct Rgb {
    std::uint32_t r, g, b;
};

Rgb channels(std::uint32_t bgr) {
    return {bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF};
}

// Transparency left by the three horizontal offsets 0-2 of one coverage row. False when the
// row carries no ink at all.
bool transparencyRow(const std::uint8_t* row, int width, std::uint8_t* out) {
    std::uint32_t t1 = 255;
    std::uint32_t t2 = 255;
    std::uint32_t all = 255;
    for (int x = 0; x < width; ++x) {
        const std::uint32_t t0 = 255u - row[x];
        out[x] = static_cast<std::uint8_t>((t0 & t1 & t2) == 255 ? 255 : mul255(mul255(t0, t1), t2));
        all &= t0;
        t2 = t1;
        t1 = t0;
    }
    return all != 255;
}

// Drawing the outline nine times over black and the characters once on top, each with its
// coverage as alpha, gives per pixel: outline alpha = 1 − Π(1 − coverage at the nine offsets),
// then the text blended over it with the coverage at (1, 1). Composing it in one pass keeps a
// 15000-step page well within a frame budget.
struct ComposeRow {
    const std::uint8_t* t0;
    const std::uint8_t* t1;
    const std::uint8_t* t2;
    const std::uint8_t* above;  // coverage row y − 1, or null on the first row
    int width;
};

// Outline pixels covered at least this much (of 255) are outline; the rest are background.
constexpr std::uint32_t kOutlineThreshold = 128;

// The outline colour and the character colour; most character pixels are fully covered, most
// outline pixels carry no character.
struct Palette {
    std::uint32_t outline = 0;
    Rgb fore{};
    std::uint32_t foreRgb = 0;

    explicit Palette(const TextColours& colours) : fore(channels(colours.text)) {
        const Rgb o = channels(colours.outline);
        outline = rgb32(o.r, o.g, o.b);
        foreRgb = rgb32(fore.r, fore.g, fore.b);
    }
};

std::uint32_t composePixel(const ComposeRow& in, int x, const Palette& palette, bool& keep) {
    const std::uint32_t ao = 255 - mul255(mul255(in.t0[x], in.t1[x]), in.t2[x]);
    // The mask can only keep or replace a pixel, so a partly covered outline pixel would put
    // its blend with the black behind it onto the window: a dark rim on light backgrounds. The
    // outline is therefore whole or absent, and so is the character where it is absent.
    if (ao < kOutlineThreshold) {
        keep = true;
        return kOpaqueBlack;
    }
    const std::uint32_t o = palette.outline;
    // The mask comes from the outline alone: it covers every pixel of the characters.
    keep = (o & 0xFFFFFFu) == 0;
    const std::uint32_t at = in.above && x >= 1 ? in.above[x - 1] : 0u;
    if (at == 0) {
        return o;
    }
    if (at == 255) {
        return palette.foreRgb;
    }
    const Rgb& f = palette.fore;
    return rgb32(mul255(f.r, at) + mul255((o >> 16) & 0xFF, 255 - at),
                 mul255(f.g, at) + mul255((o >> 8) & 0xFF, 255 - at),
                 mul255(f.b, at) + mul255(o & 0xFF, 255 - at));
}

void composeRow(const ComposeRow& in, const Palette& palette, std::uint32_t* text, std::uint8_t* mask) {
    std::uint32_t bits = 0;
    for (int x = 0; x < in.width; ++x) {
        bool keep = true;
        if ((in.t0[x] & in.t1[x] & in.t2[x]) == 255) {
            text[x] = kOpaqueBlack;  // most of a page is background
        } else {
            text[x] = composePixel(in, x, palette, keep);
        }
        bits = bits << 1 | (keep ? 1u : 0u);
        if ((x & 7) == 7) {
            mask[x >> 3] = static_cast<std::uint8_t>(bits);
            bits = 0;
        }
    }
    if ((in.width & 7) != 0) {
        mask[in.width >> 3] = static_cast<std::uint8_t>(bits << (8 - (in.width & 7)));
    }
}

}  // namespace

// Rows with no ink within two rows above are plain background, filled without composing.
void composeText(const CoverageRows& coverage, int top, int bottom, const TextColours& colours,
                 const ComposeTarget& target) {
    const int width = coverage.width;
    const Palette palette(colours);
    const auto coverageRow = [&](int y) {
        return coverage.data + static_cast<std::size_t>(y - coverage.top) * coverage.stride;
    };
    std::array<std::vector<std::uint8_t>, 3> rows;
    std::array<bool, 3> inked = {false, false, false};
    for (auto& row : rows) {
        row.assign(static_cast<std::size_t>(width), 255u);
    }
    for (int y = coverage.top; y < bottom; ++y) {
        // rows[y % 3] takes row y; the other two still hold y − 1 and y − 2.
        const auto slot = static_cast<std::size_t>(y % 3);
        inked[slot] = transparencyRow(coverageRow(y), width, rows[slot].data());
        if (y < top) {
            continue;
        }
        std::uint32_t* text = target.text + static_cast<std::size_t>(y - top) * target.textStride;
        std::uint8_t* mask = target.mask + static_cast<std::size_t>(y - top) * target.maskStride;
        if (!inked[0] && !inked[1] && !inked[2]) {
            std::fill(text, text + width, kOpaqueBlack);
            std::fill(mask, mask + target.maskStride, std::uint8_t{0xFF});
            continue;
        }
        const ComposeRow in = {rows[0].data(), rows[1].data(), rows[2].data(),
                               y >= 1 && y - 1 >= coverage.top ? coverageRow(y - 1) : nullptr, width};
        composeRow(in, palette, text, mask);
    }
}

}  // namespace vrk::presentation
