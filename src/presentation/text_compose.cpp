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

// composeText's rule with an outline `width` pixels wide: outline alpha = 1 − Π(1 − coverage) over
// the offsets 0 to 2 × width in both directions, whole where it reaches one half and absent
// otherwise; the characters blended over it from the coverage at (width, width). The products
// are taken along each row first, then down the columns.
void composeTextOutlined(const CoverageRows& coverage, int top, int bottom, const TextColours& colours,
                         int width, const ComposeTarget& target) {
    const int span = 2 * width + 1;
    const int w = coverage.width;
    const auto at = [&](int x, int y) -> std::uint32_t {
        if (x < 0 || y < coverage.top || y >= coverage.top + coverage.rows) {
            return 0;
        }
        return coverage
            .data[static_cast<std::size_t>(y - coverage.top) * coverage.stride + static_cast<std::size_t>(x)];
    };
    // Transparency of each coverage row over the horizontal offsets.
    std::vector<std::uint8_t> rowClear(static_cast<std::size_t>(w) * static_cast<std::size_t>(coverage.rows));
    for (int r = 0; r < coverage.rows; ++r) {
        const int y = coverage.top + r;
        std::uint8_t* out = rowClear.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(w);
        for (int x = 0; x < w; ++x) {
            std::uint32_t clear = 255;
            for (int dx = 0; dx < span && clear > 0; ++dx) {
                clear = mul255(clear, 255 - at(x - dx, y));
            }
            out[x] = static_cast<std::uint8_t>(clear);
        }
    }
    const Palette palette(colours);
    const std::uint32_t outline = palette.outline;
    const Rgb& f = palette.fore;
    const bool outlineKeeps = (outline & 0xFFFFFFu) == 0;
    for (int y = top; y < bottom; ++y) {
        std::uint32_t* text = target.text + static_cast<std::size_t>(y - top) * target.textStride;
        std::uint8_t* mask = target.mask + static_cast<std::size_t>(y - top) * target.maskStride;
        std::fill(mask, mask + target.maskStride, std::uint8_t{0});
        for (int x = 0; x < w; ++x) {
            std::uint32_t clear = 255;
            for (int dy = 0; dy < span && clear > 0; ++dy) {
                const int r = y - dy - coverage.top;
                if (r >= 0 && r < coverage.rows) {
                    clear = mul255(clear, rowClear[static_cast<std::size_t>(r) * static_cast<std::size_t>(w) +
                                                   static_cast<std::size_t>(x)]);
                }
            }
            bool keep = true;
            std::uint32_t pixel = kOpaqueBlack;
            if (255 - clear >= kOutlineThreshold) {
                keep = outlineKeeps;
                const std::uint32_t a = at(x - width, y - width);
                if (a == 0) {
                    pixel = outline;
                } else {
                    const auto blend = [&](std::uint32_t fore, std::uint32_t back) {
                        return mul255(fore, a) + mul255(back, 255 - a);
                    };
                    pixel = rgb32(blend(f.r, (outline >> 16) & 0xFF), blend(f.g, (outline >> 8) & 0xFF),
                                  blend(f.b, outline & 0xFF));
                }
            }
            text[x] = pixel;
            if (keep) {
                mask[x >> 3] = static_cast<std::uint8_t>(mask[x >> 3] | (0x80u >> (x & 7)));
            }
        }
    }
}

}  // namespace vrk::presentation
