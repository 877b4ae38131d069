#include "common/sjis.h"

#include <iconv.h>

#include <cerrno>
#include <mutex>

namespace vrk {
namespace {

// One converter per direction; iconv_t carries shift state, so each call resets it.
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Converter() {
        if (m_cd != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(m_cd);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts one whole unit; false when iconv refuses any part of it.
    bool convert(std::string_view in, std::string& out) {
        std::lock_guard lock(m_mutex);
        if (m_cd == reinterpret_cast<iconv_t>(-1)) {
            return false;
        }
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char buffer[16];
        char* inPtr = const_cast<char*>(in.data());
        std::size_t inLeft = in.size();
        while (inLeft > 0) {
            char* outPtr = buffer;
            std::size_t outLeft = sizeof buffer;
            const std::size_t rc = iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft);
            out.append(buffer, outPtr);
            if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
                return false;
            }
        }
        return true;
    }

private:
    iconv_t m_cd;
    std::mutex m_mutex;
};

Converter& toUtf8() {
    static Converter converter("UTF-8", "CP932");
    return converter;
}

Converter& toSjis() {
    static Converter converter("CP932", "UTF-8");
    return converter;
}

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD REPLACEMENT CHARACTER

}  // namespace

std::string cutSjis(std::string_view sjis, std::size_t maxBytes) {
    std::size_t end = 0;
    while (end < sjis.size()) {
        const std::size_t width = isSjisLeadByte(static_cast<unsigned char>(sjis[end])) ? 2 : 1;
        if (end + width > maxBytes || end + width > sjis.size()) {
            break;
        }
        end += width;
    }
    return std::string(sjis.substr(0, end));
}

std::string sjisToUtf8(std::string_view sjis) {
    std::string out;
    out.reserve(sjis.size() * 3 / 2);
    std::size_t i = 0;
    while (i < sjis.size()) {
        const auto byte = static_cast<unsigned char>(sjis[i]);
        if (byte < 0x80) {
            out.push_back(static_cast<char>(byte));
            ++i;
            continue;
        }
        const std::size_t length = isSjisLeadByte(byte) && i + 1 < sjis.size() ? 2 : 1;
        std::string piece;
        if (toUtf8().convert(sjis.substr(i, length), piece)) {
            out += piece;
            i += length;
        } else {
            // A byte that does not begin a character is replaced on its own, so the
            // next byte gets its own chance to start one.
            out += kReplacement;
            ++i;
        }
    }
    return out;
}

std::size_t utf8SequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    if (lead >= 0xE0) {
        return lead <= 0xEF ? 3 : 1;
    }
    if (lead >= 0xC2) {
        return 2;
    }
    return 1;
}

namespace {

std::optional<std::string> convertToSjis(std::string_view utf8, bool lossy) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if (byte < 0x80) {
            out.push_back(static_cast<char>(byte));
            ++i;
            continue;
        }
        const std::size_t length = std::min(utf8SequenceLength(byte), utf8.size() - i);
        std::string piece;
        if (toSjis().convert(utf8.substr(i, length), piece)) {
            out += piece;
        } else if (lossy) {
            out.push_back('?');
        } else {
            return std::nullopt;
        }
        i += length;
    }
    return out;
}

}  // namespace

std::optional<std::string> utf8ToSjis(std::string_view utf8) {
    return convertToSjis(utf8, false);
}

std::string utf8ToSjisLossy(std::string_view utf8) {
    return *convertToSjis(utf8, true);
}

}  // namespace vrk
