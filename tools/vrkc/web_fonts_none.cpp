// vrkc --web built without HarfBuzz's subsetter or the WOFF2 encoder: no face is cut, and the
// site says so (vrkc/web_site.cpp).
#include "vrkc/web_fonts.h"

namespace vrk::publish {

std::string unicodeRange(const CodeRanges&) {
    return {};
}

std::string faceFamily(std::string_view) {
    return {};
}

std::optional<CutFace> cutFace(std::string_view, const std::set<char32_t>&, int, std::size_t) {
    return std::nullopt;
}

std::vector<std::optional<CutFace>> cutFaces(const std::vector<std::string_view>& faces,
                                             const std::set<char32_t>&, int, std::size_t) {
    return std::vector<std::optional<CutFace>>(faces.size());
}

}  // namespace vrk::publish
