#include "common/file_names.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <unordered_map>

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

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
// A listing is kept while the directory's change time stays as it was. The file system
// takes that time from a clock that ticks coarsely (two seconds on FAT), so a listing read
// within one tick of the last change is not trusted: a file made later in that same tick
// would leave the time unchanged.
constexpr auto kFineTimestampGrain = std::chrono::milliseconds(50);
constexpr auto kCoarseTimestampGrain = std::chrono::seconds(2);
constexpr std::size_t kMaxCachedDirectories = 16;

std::chrono::system_clock::time_point systemNow() {
    return std::chrono::system_clock::now();
}

int systemStatus(const char* path, struct stat* info) {
    return ::stat(path, info);
}

bool pathExists(const fs::path& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

// The characters a Shift-JIS name stands for, as UTF-8; nothing when a byte forms none.
// NEC-selected and IBM codes of one character decode alike, so names compare by this.
std::optional<std::string> decodedName(std::string_view sjis) {
    std::string utf8 = sjisToUtf8(sjis);
    if (utf8.find(kReplacement) != std::string::npos) {
        return std::nullopt;
    }
    return utf8;
}

// The names of one directory, indexed by every key a script name is compared with; the
// first entry in directory order wins, as a scan would find it.
struct Listing {
    struct timespec modified {};
    struct timespec changed {};
    dev_t device = 0;
    ino_t inode = 0;
    std::chrono::system_clock::time_point taken;
    std::vector<std::string> names;
    std::unordered_map<std::string, std::size_t> bySjisKey;  // foldCaseSjis of the raw bytes
    std::unordered_map<std::string, std::size_t> byTextKey;  // foldCaseAscii of the characters

    void add(std::string name) {
        const std::size_t index = names.size();
        bySjisKey.try_emplace(foldCaseSjis(name), index);
        byTextKey.try_emplace(foldCaseAscii(name), index);
        if (!isValidUtf8(name)) {
            // A name kept in raw Shift-JIS on disk, compared by its characters too.
            if (auto decoded = decodedName(name)) {
                byTextKey.try_emplace(foldCaseAscii(*decoded), index);
            }
        }
        names.push_back(std::move(name));
    }

    std::optional<std::size_t> find(const std::string& sjisKey,
                                    const std::optional<std::string>& textKey) const {
        std::optional<std::size_t> best;
        if (auto it = bySjisKey.find(sjisKey); it != bySjisKey.end()) {
            best = it->second;
        }
        if (textKey) {
            if (auto it = byTextKey.find(*textKey); it != byTextKey.end() && (!best || it->second < *best)) {
                best = it->second;
            }
        }
        return best;
    }
};

class ListingCache {
public:
    // The directory's entry matching the keys, read from a listing that is still current.
    std::optional<std::string> find(const fs::path& dir, const std::string& sjisKey,
                                    const std::optional<std::string>& textKey) {
        std::lock_guard lock(m_mutex);
        struct stat info {};
        if (m_status(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            return std::nullopt;
        }
        const std::string key = dir.string();
        auto it = m_listings.find(key);
        if (it == m_listings.end() || !current(it->second, info)) {
            if (m_listings.size() >= kMaxCachedDirectories) {
                m_listings.clear();
            }
            it = m_listings.insert_or_assign(key, read(dir, info, m_now())).first;
        }
        const Listing& listing = it->second;
        if (auto index = listing.find(sjisKey, textKey)) {
            return listing.names[*index];
        }
        return std::nullopt;
    }

    void setSources(const ListingSources& sources) {
        std::lock_guard lock(m_mutex);
        m_now = sources.now != nullptr ? sources.now : &systemNow;
        m_status = sources.status != nullptr ? sources.status : &systemStatus;
        m_listings.clear();
    }

private:
    static bool same(const struct timespec& a, const struct timespec& b) {
        return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
    }

    static bool current(const Listing& listing, const struct stat& info) {
        const auto grain = info.st_ctim.tv_nsec == 0 ? std::chrono::nanoseconds(kCoarseTimestampGrain)
                                                     : std::chrono::nanoseconds(kFineTimestampGrain);
        const auto changed = std::chrono::system_clock::from_time_t(info.st_ctim.tv_sec) +
                             std::chrono::nanoseconds(info.st_ctim.tv_nsec);
        return listing.device == info.st_dev && listing.inode == info.st_ino &&
               same(listing.modified, info.st_mtim) && same(listing.changed, info.st_ctim) &&
               listing.taken > changed + grain;
    }

    // The time is taken before the directory is read: a change during the read must make the
    // listing untrusted, not look older than the listing.
    static Listing read(const fs::path& dir, const struct stat& info,
                        std::chrono::system_clock::time_point now) {
        Listing listing;
        listing.taken = now;
        listing.modified = info.st_mtim;
        listing.changed = info.st_ctim;
        listing.device = info.st_dev;
        listing.inode = info.st_ino;
        std::error_code ec;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            listing.add(it->path().filename().string());
        }
        return listing;
    }

    std::mutex m_mutex;
    std::chrono::system_clock::time_point (*m_now)() = &systemNow;
    int (*m_status)(const char*, struct stat*) = &systemStatus;
    std::unordered_map<std::string, Listing> m_listings;
};

ListingCache& listingCache() {
    static ListingCache cache;
    return cache;
}

// One component within dir: exact bytes, the characters it stands for spelled in UTF-8,
// then either form without case (and a raw Shift-JIS entry by its characters).
std::optional<fs::path> matchComponent(const fs::path& dir, const std::string& componentSjis) {
    if (componentSjis == "." || componentSjis == "..") {
        // Only a directory has them: "A.BMP/." names nothing, even though "A.BMP" exists.
        std::error_code ec;
        if (!fs::is_directory(dir.empty() ? fs::path(".") : dir, ec)) {
            return std::nullopt;
        }
        return dir / componentSjis;
    }
    const fs::path raw = dir / componentSjis;
    if (pathExists(raw)) {
        return raw;
    }
    const std::optional<std::string> utf8 = decodedName(componentSjis);
    if (utf8 && *utf8 != componentSjis && pathExists(dir / *utf8)) {
        return dir / *utf8;
    }
    const std::optional<std::string> textKey = utf8 ? std::optional(foldCaseAscii(*utf8)) : std::nullopt;
    if (auto entry =
            listingCache().find(dir.empty() ? fs::path(".") : dir, foldCaseSjis(componentSjis), textKey)) {
        return dir / *entry;
    }
    return std::nullopt;
}

// The native spelling of the project directory as it was put into a line: the directory's
// own bytes may not survive Shift-JIS (a wave dash, a minus or a yen sign map to other
// characters, and the yen sign even to a separator), so that part is taken as it is.
std::optional<std::size_t> baseDirPrefix(std::string_view nameSjis, const fs::path& baseDir) {
    if (!baseDir.is_absolute()) {
        return std::nullopt;
    }
    std::string prefix = pathToSjis(baseDir);
    if (prefix.empty() || prefix.back() != '/') {
        prefix.push_back('/');
    }
    if (nameSjis.substr(0, prefix.size()) != prefix) {
        return std::nullopt;
    }
    return prefix.size();
}

}  // namespace

std::optional<fs::path> resolveFileName(std::string_view nameSjis, const fs::path& baseDir) {
    const std::optional<std::size_t> prefix = baseDirPrefix(nameSjis, baseDir);
    if (prefix) {
        nameSjis.remove_prefix(*prefix);
        if (nameSjis.empty()) {
            return baseDir;
        }
        // A drive after the folder ("C:\GAME\C:\x.bmp") was no name at all there.
        if (nameSjis.size() >= 2 && nameSjis[1] == ':' &&
            std::isalpha(static_cast<unsigned char>(nameSjis[0]))) {
            return std::nullopt;
        }
    }
    const std::vector<std::string> parts = splitFileName(nameSjis);
    if (parts.empty()) {
        return std::nullopt;
    }
    fs::path current = baseDir;
    std::size_t first = 0;
    if (parts[0] == "/") {
        // What follows the project folder goes on inside it, as it did where stories were
        // written: there "C:\GAME\" + "\x.bmp" opened x.bmp in the folder, and a second whole
        // path (another "%P%", a drive) named a folder inside it, never a file of the system.
        // Read from the root, it would find the very file the name seems to miss.
        if (!prefix) {
            current = "/";
        }
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

std::size_t baseDirPrefixLength(std::string_view nameSjis, const fs::path& baseDir) {
    return baseDirPrefix(nameSjis, baseDir).value_or(0);
}

std::string nativeArgument(std::string_view argumentSjis, const fs::path& baseDir) {
    if (auto prefix = baseDirPrefix(argumentSjis, baseDir)) {
        std::string native = (baseDir / "").string();
        native += sjisToUtf8(argumentSjis.substr(*prefix));
        return native;
    }
    return sjisToUtf8(argumentSjis);
}

std::size_t programNameLength(std::string_view commandLineSjis, const fs::path& baseDir) {
    // The whole line first, then ever shorter parts ending before a blank: a folder with a
    // space in its name must not make the part before the space the program.
    // Nor may it end inside the project directory that "%P%" put there: that would be a
    // file beside the project's folder, never one the story names.
    const std::size_t shortest = baseDirPrefix(commandLineSjis, baseDir).value_or(1);
    std::size_t end = commandLineSjis.size();
    while (end >= shortest && end > 0) {
        if (fileNameExists(commandLineSjis.substr(0, end), baseDir)) {
            return end;
        }
        const std::size_t blank = commandLineSjis.find_last_of(" \t", end - 1);
        if (blank == std::string_view::npos) {
            break;
        }
        end = blank;
    }
    return std::string_view::npos;
}

std::optional<fs::path> findInDirectory(const fs::path& dir, const std::string& fileName) {
    return matchComponent(dir, fileName);
}

namespace {

// The program a bare name runs, as the shell finds it: the first executable regular file of
// that name in an entry of the PATH. Relative entries (including the empty one, which means
// the current folder) are passed over.
std::optional<fs::path> findOnSearchPath(std::string_view name, std::string_view searchPath) {
    std::size_t begin = 0;
    while (begin <= searchPath.size()) {
        const std::size_t end = std::min(searchPath.find(':', begin), searchPath.size());
        const fs::path entry(searchPath.substr(begin, end - begin));
        begin = end + 1;
        if (!entry.is_absolute()) {
            continue;
        }
        const fs::path candidate = entry / name;
        std::error_code ec;
        if (fs::is_regular_file(candidate, ec) && ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return std::nullopt;
}

}  // namespace

fs::path programDirectoryFrom(const std::optional<fs::path>& runningExecutable, const char* argv0,
                              std::string_view searchPath) {
    // The system's own answer is the program's real path already (even once the file has been
    // replaced and the name reads "... (deleted)").
    if (runningExecutable && runningExecutable->is_absolute()) {
        return runningExecutable->parent_path() / "";
    }
    std::optional<fs::path> program;
    if (argv0 != nullptr && *argv0 != '\0') {
        const std::string_view name(argv0);
        if (name.front() == '/') {
            program = fs::path(name);
        } else if (name.find('/') == std::string_view::npos) {
            program = findOnSearchPath(name, searchPath);
        }
    }
    if (!program) {
        return {};
    }
    std::error_code ec;
    const fs::path real = fs::canonical(*program, ec);
    if (ec) {
        return {};
    }
    return real.parent_path() / "";
}

fs::path programDirectory(const char* argv0) {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    const char* searchPath = std::getenv("PATH");
    return programDirectoryFrom(ec ? std::nullopt : std::optional<fs::path>(self), argv0,
                                searchPath != nullptr ? searchPath : "");
}

void setListingSourcesForTesting(const ListingSources& sources) {
    listingCache().setSources(sources);
}

std::string pathToSjis(const fs::path& path) {
    const std::string native = path.string();
    if (auto sjis = utf8ToSjis(native)) {
        return *sjis;
    }
    return native;
}

}  // namespace vrk
