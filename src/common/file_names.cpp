#include "common/file_names.h"

#include <system_error>

#include "common/sjis.h"

namespace fs = std::filesystem;

namespace vrk {

std::vector<std::string> splitFileName(std::string_view nameSjis) {
    std::vector<std::string> parts;
    std::string current;
    std::size_t i = 0;
    if (nameSjis.size() >= 2 && nameSjis[1] == ':' &&
        ((nameSjis[0] >= 'A' && nameSjis[0] <= 'Z') || (nameSjis[0] >= 'a' && nameSjis[0] <= 'z'))) {
        // A drive has no meaning here; the rest is taken from the root.
        parts.emplace_back("/");
        i = 2;
    } else if (!nameSjis.empty() && (nameSjis[0] == '/' || nameSjis[0] == '\\')) {
        parts.emplace_back("/");
    }
    while (i < nameSjis.size()) {
        const auto byte = static_cast<unsigned char>(nameSjis[i]);
        if (isSjisLeadByte(byte) && i + 1 < nameSjis.size() && nameSjis[i + 1] != '/') {
            current.append(nameSjis.substr(i, 2));
            i += 2;
            continue;
        }
        if (byte == '/' || byte == '\\') {
            if (!current.empty()) {
                parts.push_back(std::move(current));
                current.clear();
            }
        } else {
            current.push_back(static_cast<char>(byte));
        }
        ++i;
    }
    if (!current.empty()) {
        parts.push_back(std::move(current));
    }
    return parts;
}

std::string foldCaseSjis(std::string_view sjis) {
    std::string out(sjis);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto byte = static_cast<unsigned char>(out[i]);
        if (isSjisLeadByte(byte)) {
            ++i;
        } else if (byte >= 'a' && byte <= 'z') {
            out[i] = static_cast<char>(byte - 'a' + 'A');
        }
    }
    return out;
}

std::string foldCaseAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

namespace {

bool pathExists(const fs::path& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

// One component within dir: exact bytes, exact UTF-8 form, then either form without case.
std::optional<fs::path> matchComponent(const fs::path& dir, const std::string& componentSjis) {
    if (componentSjis == "." || componentSjis == "..") {
        return dir / componentSjis;
    }
    const fs::path raw = dir / componentSjis;
    if (pathExists(raw)) {
        return raw;
    }
    const std::string utf8 = sjisToUtf8(componentSjis);
    const bool hasUtf8Form = utf8ToSjis(utf8) == componentSjis;
    if (hasUtf8Form && utf8 != componentSjis && pathExists(dir / utf8)) {
        return dir / utf8;
    }
    const std::string foldedSjis = foldCaseSjis(componentSjis);
    const std::string foldedUtf8 = foldCaseAscii(utf8);
    std::error_code ec;
    for (fs::directory_iterator it(dir.empty() ? fs::path(".") : dir, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        if (foldCaseSjis(entry) == foldedSjis || (hasUtf8Form && foldCaseAscii(entry) == foldedUtf8)) {
            return dir / entry;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<fs::path> resolveFileName(std::string_view nameSjis, const fs::path& baseDir) {
    const std::vector<std::string> parts = splitFileName(nameSjis);
    if (parts.empty()) {
        return std::nullopt;
    }
    fs::path current = baseDir;
    std::size_t first = 0;
    if (parts[0] == "/") {
        current = "/";
        first = 1;
    }
    for (std::size_t i = first; i < parts.size(); ++i) {
        auto next = matchComponent(current, parts[i]);
        if (!next) {
            return std::nullopt;
        }
        current = std::move(*next);
    }
    return current;
}

bool fileNameExists(std::string_view nameSjis, const fs::path& baseDir) {
    const auto path = resolveFileName(nameSjis, baseDir);
    std::error_code ec;
    return path && fs::is_regular_file(*path, ec);
}

std::optional<fs::path> findInDirectory(const fs::path& dir, const std::string& fileName) {
    return matchComponent(dir, fileName);
}

fs::path programDirectory(const char* argv0) {
    // The running executable, wherever it was started from.
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec && argv0 != nullptr) {
        self = fs::absolute(argv0, ec);
    }
    return self.parent_path() / "";
}

std::string pathToSjis(const fs::path& path) {
    const std::string native = path.string();
    if (auto sjis = utf8ToSjis(native)) {
        return *sjis;
    }
    return native;
}

}  // namespace vrk
