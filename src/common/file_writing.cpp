#include "common/file_writing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <random>
#include <vector>

#include "common/file_reading.h"

namespace fs = std::filesystem;

namespace vrk {
namespace {

constexpr std::string_view kTemporaryMark = ".vrk3tmp-";
constexpr std::size_t kTemporarySuffixLength = 8;
constexpr auto kStaleAge = std::chrono::seconds(60);

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { close(); }

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    bool close() {
        const int fd = m_fd;
        m_fd = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

fs::path directoryOf(const fs::path& path) {
    return path.has_parent_path() ? path.parent_path() : fs::path(".");
}

std::string randomSuffix() {
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 generator{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    std::string suffix;
    for (std::size_t i = 0; i < kTemporarySuffixLength; ++i) {
        suffix.push_back(kLetters[pick(generator)]);
    }
    return suffix;
}

// A new file beside target that nobody else can have prepared: O_EXCL refuses any
// existing name, link or not.
int createTemporary(const fs::path& target, fs::path& temporary) {
    // Appended piece by piece: "." + name inserts at the front, which GCC 12 at -O3 takes for
    // an overlapping copy (-Wrestrict).
    std::string stem = ".";
    stem += target.filename().string();
    stem += kTemporaryMark;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = stem;
        name += randomSuffix();
        temporary = directoryOf(target) / name;
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

void syncDirectory(const fs::path& dir) {
    Descriptor fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid()) {
        ::fsync(fd.get());
    }
}

// Rewrites an existing file where it is, for directories that take no new names. Written
// first and cut to length after, so a shorter save never passes through an empty file. Only the
// file that was looked at is written: a name swapped for another file since, or a file with a
// second hard link (whose other name would change with it), is left alone.
bool rewriteInPlace(const fs::path& target, std::string_view bytes, const struct stat& lookedAt) {
    Descriptor fd(::open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat info {};
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_dev != lookedAt.st_dev || info.st_ino != lookedAt.st_ino || info.st_nlink != 1) {
        return false;
    }
    return writeAll(fd.get(), bytes) && ::ftruncate(fd.get(), static_cast<off_t>(bytes.size())) == 0 &&
           ::fsync(fd.get()) == 0 && fd.close();
}

// Writes bytes to a new temporary beside target and renames it over target. existing is what
// stands at target now (a regular file the reader may write), or nothing.
bool replaceWith(const fs::path& target, std::string_view bytes, const std::optional<struct stat>& existing) {
    fs::path temporary;
    Descriptor fd(createTemporary(target, temporary));
    if (!fd.valid()) {
        return existing && rewriteInPlace(target, bytes, *existing);
    }
    bool written = writeAll(fd.get(), bytes);
    if (written && existing) {
        ::fchmod(fd.get(), existing->st_mode & 07777);
        if (existing->st_uid != ::geteuid() || existing->st_gid != ::getegid()) {
            // Only an administrator can give the file back to its owner; others keep theirs.
            [[maybe_unused]] const int owned = ::fchown(fd.get(), existing->st_uid, existing->st_gid);
        }
    }
    written = written && ::fsync(fd.get()) == 0;
    written = fd.close() && written;
    if (!written) {
        ::unlink(temporary.c_str());
        return false;
    }
    // rename replaces the name itself: whatever took its place since it was looked at (a link
    // included) is replaced, never written through.
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        // A sticky or append-only directory may refuse the rename where the file is writable.
        return existing && (error == EPERM || error == EACCES) && rewriteInPlace(target, bytes, *existing);
    }
    syncDirectory(directoryOf(target));
    return true;
}

// What stands at path: nothing (true, empty), a regular file this process may write (true, its
// status), or something never to be replaced (false): a link, a directory, a device, a file
// without write bits.
bool replaceable(const fs::path& path, std::optional<struct stat>& existing) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        existing.reset();
        return errno == ENOENT;
    }
    existing = info;
    return S_ISREG(info.st_mode) && fileIsWritable(path);
}

bool isLegacyTemporary(std::string_view name) {
    const std::size_t tmp = name.rfind(".tmp");
    if (tmp == std::string_view::npos || tmp + 4 == name.size() || tmp < 4) {
        return false;
    }
    for (char c : name.substr(tmp + 4)) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    std::string extension(name.substr(tmp - 4, 4));
    for (char& c : extension) {
        c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return extension == ".V01" || extension == ".V02" || extension == ".V03" || extension == ".V04" ||
           extension == ".VR$";
}

}  // namespace

bool fileIsWritable(const fs::path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || (info.st_mode & 0222) == 0) {
        return false;
    }
    if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) {
        return false;  // includes EROFS
    }
    struct statvfs fileSystem {};
    return ::statvfs(path.c_str(), &fileSystem) != 0 || (fileSystem.f_flag & ST_RDONLY) == 0;
}

bool replaceFile(const fs::path& path, std::string_view bytes) {
    std::optional<struct stat> existing;
    return replaceable(path, existing) && replaceWith(path, bytes, existing);
}

bool updateFile(const fs::path& path, std::size_t maxExistingBytes, const FileUpdate& update) {
    std::optional<struct stat> existing;
    if (!replaceable(path, existing)) {
        return false;
    }
    std::optional<std::vector<char>> kept;
    if (existing) {
        kept = tryReadRegularFile(path, maxExistingBytes, OverLimit::Refuse, FollowLinks::No);
        if (!kept) {
            return false;
        }
    }
    const std::optional<std::string> bytes =
        kept ? update(std::string_view(kept->data(), kept->size())) : update(std::nullopt);
    if (!bytes) {
        return false;
    }
    if (kept && std::string_view(kept->data(), kept->size()) == *bytes) {
        return true;
    }
    return replaceWith(path, *bytes, existing);
}

bool directoryTakesNewFiles(const fs::path& dir) {
    fs::path probe;
    Descriptor fd(createTemporary(dir / "vrk3-probe", probe));
    if (!fd.valid()) {
        return false;
    }
    ::unlink(probe.c_str());
    return true;
}

bool isTemporaryName(std::string_view fileName) {
    const std::size_t mark = fileName.rfind(kTemporaryMark);
    if (mark != std::string_view::npos && !fileName.empty() && fileName[0] == '.' &&
        fileName.size() == mark + kTemporaryMark.size() + kTemporarySuffixLength) {
        return true;
    }
    return isLegacyTemporary(fileName);
}

int removeStaleTemporaries(const fs::path& dir) {
    DIR* stream = ::opendir(dir.empty() ? "." : dir.c_str());
    if (stream == nullptr) {
        return 0;
    }
    const auto now = std::chrono::system_clock::now();
    int removed = 0;
    while (const dirent* entry = ::readdir(stream)) {
        const std::string_view name = entry->d_name;
        if (!isTemporaryName(name)) {
            continue;
        }
        struct stat info {};
        if (::fstatat(::dirfd(stream), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
            continue;
        }
        const auto modified = std::chrono::system_clock::from_time_t(info.st_mtim.tv_sec);
        if (now - modified >= kStaleAge && ::unlinkat(::dirfd(stream), entry->d_name, 0) == 0) {
            ++removed;
        }
    }
    ::closedir(stream);
    return removed;
}

}  // namespace vrk
