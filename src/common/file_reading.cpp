#include "common/file_reading.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <string>

#include "common/errors.h"

namespace vrk {
namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    int get() const { return m_fd; }

private:
    int m_fd;
};

std::string reason(std::string_view what, std::string_view problem) {
    std::string message(what);
    message += ' ';
    message += problem;
    return message;
}

// Fixed English texts, never the C library's: those follow the locale, and the report
// shows the message as Shift-JIS bytes.
std::string_view openProblem(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return "not found";
        case EACCES:
        case EPERM:
            return "cannot be opened (permission denied)";
        default:
            return "cannot be opened";
    }
}

}  // namespace

std::vector<char> readRegularFile(const std::filesystem::path& path, std::string_view what,
                                  std::size_t maxBytes, OverLimit overLimit, FollowLinks followLinks) {
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer for ever.
    const int noFollow = followLinks == FollowLinks::No ? O_NOFOLLOW : 0;
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | noFollow));
    if (fd.get() < 0) {
        throw ioError(reason(what, openProblem(errno)), path.string());
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        throw ioError(reason(what, "cannot be read"), path.string());
    }
    if (!S_ISREG(info.st_mode)) {
        throw ioError(reason(what, "is not a regular file"), path.string());
    }
    if (overLimit == OverLimit::Refuse && static_cast<std::uintmax_t>(info.st_size) > maxBytes) {
        throw ioError(reason(what, "is larger than " + std::to_string(maxBytes) + " bytes"), path.string());
    }
    std::vector<char> bytes;
    try {
        // The size on disk is only a hint: the file may change under the read.
        bytes.resize(std::min<std::uintmax_t>(static_cast<std::uintmax_t>(info.st_size), maxBytes) + 1);
    } catch (const std::bad_alloc&) {
        throw ioError(reason(what, "does not fit in memory"), path.string());
    }
    std::size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (filled > maxBytes) {
                break;
            }
            try {
                bytes.resize(std::min(bytes.size() * 2, maxBytes + 1));
            } catch (const std::bad_alloc&) {
                throw ioError(reason(what, "does not fit in memory"), path.string());
            }
        }
        const ssize_t got = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw ioError(reason(what, "cannot be read"), path.string());
        }
        if (got == 0) {
            break;
        }
        filled += static_cast<std::size_t>(got);
    }
    if (filled > maxBytes) {
        if (overLimit == OverLimit::Refuse) {
            throw ioError(reason(what, "is larger than " + std::to_string(maxBytes) + " bytes"),
                          path.string());
        }
        filled = maxBytes;
    }
    bytes.resize(filled);
    return bytes;
}

std::optional<std::vector<char>> tryReadRegularFile(const std::filesystem::path& path, std::size_t maxBytes,
                                                    OverLimit overLimit, FollowLinks followLinks) {
    try {
        return readRegularFile(path, "File", maxBytes, overLimit, followLinks);
    } catch (const Error&) {
        return std::nullopt;
    }
}

}  // namespace vrk
