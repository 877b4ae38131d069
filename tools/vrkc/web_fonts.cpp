#include "vrkc/web_fonts.h"

#include <hb-ot.h>
#include <hb-subset.h>
#include <hb.h>
#include <woff2/encode.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <future>
#include <memory>

namespace vrk::publish {

namespace {

// Where a slice may end: the starts of groups of Unicode blocks a reader's typing tends to stay
// within (Latin, Greek and Cyrillic, symbols, kana, the ideographs in two halves, full-width
// forms), so that a name in katakana fetches the katakana slice and not a slice of kanji too.
constexpr std::array<char32_t, 21> kGroupStarts = {
    0x0000, 0x0080, 0x0370, 0x0530, 0x2000, 0x2190, 0x2460, 0x2600, 0x3000, 0x3040,  0x30A0,
    0x3100, 0x3400, 0x4E00, 0x7000, 0xA000, 0xE000, 0xF900, 0xFE30, 0xFF00, 0x10000,
};

int groupOf(char32_t c) {
    return static_cast<int>(std::upper_bound(kGroupStarts.begin(), kGroupStarts.end(), c) -
                            kGroupStarts.begin());
}

struct BlobDeleter {
    void operator()(hb_blob_t* blob) const { hb_blob_destroy(blob); }
};
struct FaceDeleter {
    void operator()(hb_face_t* face) const { hb_face_destroy(face); }
};
struct SetDeleter {
    void operator()(hb_set_t* set) const { hb_set_destroy(set); }
};
using Blob = std::unique_ptr<hb_blob_t, BlobDeleter>;
using Face = std::unique_ptr<hb_face_t, FaceDeleter>;
using Set = std::unique_ptr<hb_set_t, SetDeleter>;

std::string_view blobBytes(hb_blob_t* blob) {
    unsigned length = 0;
    const char* data = hb_blob_get_data(blob, &length);
    return {data ? data : "", data ? length : 0};
}

int u16(std::string_view table, std::size_t at) {
    if (at + 2 > table.size()) {
        return 0;
    }
    return (static_cast<unsigned char>(table[at]) << 8) | static_cast<unsigned char>(table[at + 1]);
}

int s16(std::string_view table, std::size_t at) {
    const int value = u16(table, at);
    return value >= 0x8000 ? value - 0x10000 : value;
}

// canvas.mjs's faceMetrics, from the same tables: OS/2's typographic ascent and descent when the
// face asks for them (fsSelection bit 7), else its Windows ones, else hhea's.
void readVerticalMetrics(hb_face_t* face, FaceMeasures& measures) {
    const Blob hhea(hb_face_reference_table(face, HB_TAG('h', 'h', 'e', 'a')));
    const Blob os2(hb_face_reference_table(face, HB_TAG('O', 'S', '/', '2')));
    const std::string_view h = blobBytes(hhea.get());
    const std::string_view o = blobBytes(os2.get());
    measures.ascent = s16(h, 4);
    measures.descent = -s16(h, 6);
    if (o.size() >= 78) {
        const bool useTypo = (u16(o, 62) & 0x80) != 0;
        const int winAscent = u16(o, 74);
        const int winDescent = u16(o, 76);
        if (useTypo) {
            measures.ascent = s16(o, 68);
            measures.descent = -s16(o, 70);
        } else if (winAscent + winDescent > 0) {
            measures.ascent = winAscent;
            measures.descent = winDescent;
        }
    }
}

std::optional<std::string> subsetToWoff2(hb_face_t* face, const std::set<char32_t>& codePoints, int effort) {
    hb_subset_input_t* input = hb_subset_input_create_or_fail();
    if (!input) {
        return std::nullopt;
    }
    hb_set_t* unicodes = hb_subset_input_unicode_set(input);
    for (char32_t c : codePoints) {
        hb_set_add(unicodes, c);
    }
    const Face cut(hb_subset_or_fail(face, input));
    hb_subset_input_destroy(input);
    if (!cut) {
        return std::nullopt;
    }
    const Blob blob(hb_face_reference_blob(cut.get()));
    const std::string_view ttf = blobBytes(blob.get());
    const auto* data = reinterpret_cast<const std::uint8_t*>(ttf.data());
    std::string woff2(woff2::MaxWOFF2CompressedSize(data, ttf.size()), '\0');
    std::size_t length = woff2.size();
    woff2::WOFF2Params params;
    params.brotli_quality = std::clamp(effort, 1, 11);
    const bool converted = woff2::ConvertTTFToWOFF2(
        data, ttf.size(), reinterpret_cast<std::uint8_t*>(woff2.data()), &length, params);
    if (!converted) {
        return std::nullopt;
    }
    woff2.resize(length);
    return woff2;
}

// Debian's WOFF2 encoder reports every file it makes on standard error; a site of four faces
// would bury vrkc's own notes under a hundred such lines. Standard error goes to /dev/null
// while the faces are cut (on every thread at once: a descriptor is the process's).
class QuietStderr {
public:
    QuietStderr() {
        std::fflush(stderr);
        m_saved = dup(STDERR_FILENO);
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null >= 0) {
            dup2(null, STDERR_FILENO);
            close(null);
        }
    }
    ~QuietStderr() {
        std::fflush(stderr);
        if (m_saved >= 0) {
            dup2(m_saved, STDERR_FILENO);
            close(m_saved);
        }
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int m_saved = -1;
};

std::optional<CutFace> cutOneFace(std::string_view bytes, const std::set<char32_t>& text, int effort,
                                  std::size_t sliceSize);

}  // namespace

std::vector<std::optional<CutFace>> cutFaces(const std::vector<std::string_view>& faces,
                                             const std::set<char32_t>& text, int effort,
                                             std::size_t sliceSize) {
    const QuietStderr quiet;
    // One thread a face: the WOFF2 compression of a whole face is most of the work.
    std::vector<std::future<std::optional<CutFace>>> running;
    for (std::string_view face : faces) {
        running.push_back(
            std::async(std::launch::async, cutOneFace, face, std::cref(text), effort, sliceSize));
    }
    std::vector<std::optional<CutFace>> cut;
    for (auto& face : running) {
        cut.push_back(face.get());
    }
    return cut;
}

std::optional<CutFace> cutFace(std::string_view bytes, const std::set<char32_t>& text, int effort,
                               std::size_t sliceSize) {
    const QuietStderr quiet;
    return cutOneFace(bytes, text, effort, sliceSize);
}

std::string unicodeRange(const CodeRanges& ranges) {
    std::string css;
    char buffer[32];
    for (const auto& [first, last] : ranges) {
        if (first == last) {
            std::snprintf(buffer, sizeof buffer, "U+%X", static_cast<unsigned>(first));
        } else {
            std::snprintf(buffer, sizeof buffer, "U+%X-%X", static_cast<unsigned>(first),
                          static_cast<unsigned>(last));
        }
        css += (css.empty() ? "" : ", ") + std::string(buffer);
    }
    return css;
}

std::string faceFamily(std::string_view bytes) {
    const Blob blob(hb_blob_create(bytes.data(), static_cast<unsigned>(bytes.size()), HB_MEMORY_MODE_READONLY,
                                   nullptr, nullptr));
    const Face face(hb_face_create(blob.get(), 0));
    // The typographic family first (a face of several weights names its family there), else
    // the family of the style-linked four.
    for (const hb_ot_name_id_t id : {HB_OT_NAME_ID_TYPOGRAPHIC_FAMILY, HB_OT_NAME_ID_FONT_FAMILY}) {
        char name[256];
        unsigned length = sizeof name;
        if (hb_ot_name_get_utf8(face.get(), id, hb_language_from_string("en", -1), &length, name) > 0) {
            return std::string(name, length);
        }
    }
    return {};
}

namespace {

std::optional<CutFace> cutOneFace(std::string_view bytes, const std::set<char32_t>& text, int effort,
                                  std::size_t sliceSize) {
    const Blob blob(hb_blob_create(bytes.data(), static_cast<unsigned>(bytes.size()), HB_MEMORY_MODE_READONLY,
                                   nullptr, nullptr));
    const Face face(hb_face_create(blob.get(), 0));
    const int unitsPerEm = static_cast<int>(hb_face_get_upem(face.get()));
    if (hb_face_get_glyph_count(face.get()) == 0 || unitsPerEm <= 0) {
        return std::nullopt;
    }
    CutFace cut;
    cut.measures.unitsPerEm = unitsPerEm;
    readVerticalMetrics(face.get(), cut.measures);

    const Set mapped(hb_set_create());
    hb_face_collect_unicodes(face.get(), mapped.get());
    hb_font_t* font = hb_font_create(face.get());
    hb_font_set_scale(font, unitsPerEm, unitsPerEm);
    std::set<char32_t> inText;
    std::set<char32_t> rest;
    for (hb_codepoint_t c = HB_SET_VALUE_INVALID; hb_set_next(mapped.get(), &c);) {
        hb_codepoint_t glyph = 0;
        if (!hb_font_get_nominal_glyph(font, c, &glyph)) {
            continue;
        }
        (text.contains(c) ? inText : rest).insert(c);
        if (!text.contains(c)) {
            continue;
        }
        const int advance = hb_font_get_glyph_h_advance(font, glyph);
        auto& runs = cut.measures.advances;
        if (!runs.empty() && std::get<1>(runs.back()) + 1 == c && std::get<2>(runs.back()) == advance) {
            std::get<1>(runs.back()) = c;
        } else {
            runs.emplace_back(c, c, advance);
        }
    }
    hb_font_destroy(font);
    // Fixed pitch as Japanese faces are: every character half or full width (the post table's
    // flag is off in such faces, which hold both widths).
    cut.measures.fixedPitch =
        !cut.measures.advances.empty() &&
        std::all_of(cut.measures.advances.begin(), cut.measures.advances.end(), [&](const auto& run) {
            return 2 * std::get<2>(run) == unitsPerEm || std::get<2>(run) == unitsPerEm;
        });

    auto piece = [&](const std::set<char32_t>& codePoints, bool span) -> std::optional<FacePiece> {
        auto woff2 = subsetToWoff2(face.get(), codePoints, effort);
        if (!woff2) {
            return std::nullopt;
        }
        // A slice claims its span without the story's characters: a browser fetches every face
        // whose range holds a character it draws before it knows which has the glyph, so no
        // slice may claim one the text's face has. The code points no face maps stay in the
        // span, which keeps the sheet to a few ranges a slice instead of thousands.
        CodeRanges ranges;
        if (span && !codePoints.empty()) {
            char32_t from = *codePoints.begin();
            const char32_t last = *codePoints.rbegin();
            for (auto it = text.lower_bound(from); it != text.end() && *it <= last; ++it) {
                if (*it > from) {
                    ranges.emplace_back(from, *it - 1);
                }
                from = *it + 1;
            }
            if (from <= last) {
                ranges.emplace_back(from, last);
            }
        } else {
            ranges = rangesOf(codePoints);
        }
        return FacePiece{std::move(*woff2), std::move(ranges)};
    };
    auto textPiece = piece(inText, false);
    if (!textPiece) {
        return std::nullopt;
    }
    cut.text = std::move(*textPiece);

    // Small groups share a slice; a large one is split, never mixed with the next group.
    std::set<char32_t> slice;
    int group = -1;
    auto flush = [&]() -> bool {
        if (slice.empty()) {
            return true;
        }
        auto made = piece(slice, true);
        if (!made) {
            return false;
        }
        cut.slices.push_back(std::move(*made));
        slice.clear();
        return true;
    };
    for (char32_t c : rest) {
        const int g = groupOf(c);
        if ((g != group && slice.size() >= sliceSize / 4) || slice.size() >= sliceSize) {
            if (!flush()) {
                return std::nullopt;
            }
        }
        group = g;
        slice.insert(c);
    }
    if (!flush()) {
        return std::nullopt;
    }
    return cut;
}

}  // namespace

}  // namespace vrk::publish
