#include "app/reading_history.h"

#include <algorithm>
#include <string_view>

#include "common/file_reading.h"
#include "common/file_writing.h"
#include "common/sjis.h"
#include "presentation/text_layout.h"
#include "story/script.h"

namespace vrk::app {
namespace {

// A line's own bytes and the string that holds them, so a page of many empty lines counts too.
std::size_t textBytes(const std::vector<std::string>& lines) {
    std::size_t bytes = 0;
    for (const std::string& line : lines) {
        bytes += line.size() + sizeof(std::string);
    }
    return bytes;
}

}  // namespace

void ReadingHistory::pageRunStarting(const story::StoryState& state, std::int32_t offset) {
    m_pending = PageRecord{{}, state, offset, false};
}

void ReadingHistory::pageShown(const std::vector<std::string>& textSjis, bool readBefore) {
    PageRecord record = m_pending ? std::move(*m_pending) : PageRecord{};
    m_pending.reset();
    record.textSjis = textSjis;
    record.readBefore = readBefore;
    m_textBytes += textBytes(record.textSjis);
    m_pages.push_back(std::move(record));
    trim();
}

void ReadingHistory::trim() {
    // The page on show always stays, however long it is.
    while (m_pages.size() > 1 && (m_pages.size() > kMaxPages || m_textBytes > kMaxTextBytes)) {
        m_textBytes -= textBytes(m_pages.front().textSjis);
        m_pages.pop_front();
    }
}

void ReadingHistory::forgetStates() {
    for (PageRecord& record : m_pages) {
        record.before.reset();
    }
    m_pending.reset();
}

void ReadingHistory::clear() {
    m_pages.clear();
    m_pending.reset();
    m_textBytes = 0;
}

bool ReadingHistory::canGoBack() const {
    return m_pages.size() >= 2 && m_pages[m_pages.size() - 2].before.has_value();
}

std::optional<PageRecord> ReadingHistory::takeBackStep() {
    if (!canGoBack()) {
        return std::nullopt;
    }
    m_textBytes -= textBytes(m_pages.back().textSjis);
    m_pages.pop_back();
    PageRecord previous = std::move(m_pages.back());
    m_textBytes -= textBytes(previous.textSjis);
    m_pages.pop_back();
    return previous;
}

std::size_t ReadingHistory::memoryBytes() const {
    std::size_t bytes = sizeof(*this);
    auto recordBytes = [](const PageRecord& record) {
        std::size_t n = sizeof(PageRecord) + record.textSjis.capacity() * sizeof(std::string);
        for (const std::string& line : record.textSjis) {
            n += line.capacity() + 1;
        }
        if (record.before) {
            const story::StoryState& s = *record.before;
            n += s.title.capacity() + s.currentLabel.capacity() + s.background.capacity();
            for (std::size_t i = 0; i < s.names.size(); ++i) {
                n += s.names[i].capacity() + s.namePrompts[i].capacity();
            }
        }
        return n;
    };
    for (const PageRecord& record : m_pages) {
        bytes += recordBytes(record);
    }
    if (m_pending) {
        bytes += recordBytes(*m_pending);
    }
    return bytes;
}

namespace {

// 8002 labels of up to 8 bytes, each on a line of its own, fit many times over; a longer file is
// not one the player wrote.
constexpr std::size_t kMaxReadMarksBytes = std::size_t{1} << 20;

// The marks of a file's bytes, or nothing when they do not read as marks: every line a label,
// but for one too long to be one. Earlier releases appended to the file, and a full disk could
// cut a line off and glue the next mark to it; that line is dropped, the others are kept.
std::optional<std::set<std::string>> parseMarks(std::string_view bytes) {
    std::set<std::string> labels;
    int overLong = 0;
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        std::string_view line = bytes.substr(0, end);
        bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.find('\0') != std::string_view::npos ||
            (line.size() > story::kMaxLabelBytes && ++overLong > 1)) {
            return std::nullopt;
        }
        if (!line.empty() && line.size() <= story::kMaxLabelBytes) {
            labels.emplace(line);
        }
    }
    return labels;
}

std::string formatMarks(const std::set<std::string>& labels) {
    std::string out;
    for (const std::string& label : labels) {
        out += label;
        out += "\r\n";
    }
    return out;
}

}  // namespace

void ReadMarks::load(const std::filesystem::path& file) {
    m_file = file;
    m_labels.clear();
    if (const auto bytes = tryReadRegularFile(file, kMaxReadMarksBytes, OverLimit::Refuse)) {
        if (auto labels = parseMarks(std::string_view(bytes->data(), bytes->size()))) {
            m_labels = std::move(*labels);
        }
    }
}

bool ReadMarks::mark(const std::string& labelSjis) {
    // A label with a line end in it could not be read back as one mark.
    if (labelSjis.empty() || labelSjis.size() > story::kMaxLabelBytes ||
        labelSjis.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos ||
        !m_labels.insert(labelSjis).second) {
        return false;
    }
    if (!m_file.empty()) {
        // The file is written whole, as every other: a cut-off line can only be the previous
        // file's. What another window on the same story marked meanwhile is kept, so the file
        // stays one set of labels whoever writes it.
        updateFile(m_file, kMaxReadMarksBytes, [this](std::optional<std::string_view> existing) {
            std::optional<std::set<std::string>> kept =
                existing ? parseMarks(*existing) : std::set<std::string>{};
            if (!kept) {
                return std::optional<std::string>();
            }
            m_labels.merge(*kept);
            return std::optional<std::string>(formatMarks(m_labels));
        });
    }
    return true;
}

int autoAdvanceDelayMs(const std::vector<std::string>& pageTextSjis) {
    constexpr int kBaseMs = 1000;
    constexpr int kPerCharacterMs = 60;
    constexpr int kMaxMs = 20000;
    int characters = 0;
    for (const std::string& line : pageTextSjis) {
        for (std::size_t i = 0; i < line.size(); i += presentation::characterBytes(line, i)) {
            if (line[i] != ' ') {
                ++characters;
            }
        }
    }
    return std::min(kMaxMs, kBaseMs + characters * kPerCharacterMs);
}

std::string pageTextUtf8(const std::vector<std::string>& pageTextSjis) {
    std::string out;
    for (const std::string& line : pageTextSjis) {
        out += sjisToUtf8(line);
        out += '\n';
    }
    return out;
}

}  // namespace vrk::app
