#include "story/script.h"

#include "common/errors.h"
#include "common/file_reading.h"

namespace vrk::story {

void ScriptReader::open(const std::filesystem::path& path) {
    openBytes(readRegularFile(path, "Script file", kMaxScriptBytes, OverLimit::Refuse), path.string());
}

void ScriptReader::openBytes(std::vector<char> bytes, std::string nameForErrors) {
    m_bytes = std::move(bytes);
    m_name = std::move(nameForErrors);
    m_position = 0;
    m_open = true;
}

void ScriptReader::close() {
    m_bytes.clear();
    m_bytes.shrink_to_fit();
    m_position = 0;
    m_open = false;
}

void ScriptReader::seek(std::int32_t offset) {
    if (!m_open) {
        throw ioError("File not open", m_name);
    }
    if (offset < 0) {
        throw ioError("Seek error", m_name);
    }
    m_position = static_cast<std::size_t>(offset);
}

void ScriptReader::readLine(std::string& line) {
    line.clear();
    if (!m_open) {
        throw ioError("File not open", m_name);
    }
    if (m_position >= m_bytes.size()) {
        throw ioError("Read beyond end of file", m_name);
    }
    const auto length = static_cast<unsigned char>(m_bytes[m_position]);
    ++m_position;
    const std::size_t available = m_bytes.size() - m_position;
    // The bytes that were there are kept: a short read fails after taking them.
    line.assign(m_bytes.data() + m_position, std::min<std::size_t>(length, available));
    m_position += line.size();
    if (line.size() < length) {
        throw ioError("Read beyond end of file", m_name);
    }
}

void LabelIndex::load(const std::filesystem::path& path) {
    clear();
    // Records past the last usable one are never read: a huge index costs no more than a full one.
    const std::vector<char> bytes =
        readRegularFile(path, "Label index", kMaxRecords * kRecordBytes, OverLimit::Truncate);
    loadBytes(bytes, path.string());
}

void LabelIndex::loadBytes(std::span<const char> bytes, const std::string& nameForErrors) {
    clear();
    std::size_t position = 0;
    while (position < bytes.size() && m_records.size() < kMaxRecords) {
        if (bytes.size() - position < kRecordBytes) {
            throw ioError("Read beyond end of file", nameForErrors);
        }
        const char* record = bytes.data() + position;
        const auto storedLength = static_cast<std::uint8_t>(record[0]);
        const std::size_t nameLength = std::min<std::size_t>(storedLength, kMaxLabelBytes);
        std::uint32_t offset = 0;
        for (int i = 3; i >= 0; --i) {
            offset = (offset << 8) | static_cast<unsigned char>(record[9 + i]);
        }
        m_records.push_back(
            {std::string(record + 1, nameLength), static_cast<std::int32_t>(offset), storedLength});
        if (storedLength <= kMaxLabelBytes) {
            m_firstOffsets.try_emplace(m_records.back().name, m_records.back().offset);
        }
        position += kRecordBytes;
    }
}

std::int32_t LabelIndex::findLabel(std::string_view name) const {
    const auto found = m_firstOffsets.find(std::string(name.substr(0, kMaxLabelBytes)));
    return found == m_firstOffsets.end() ? -1 : found->second;
}

std::optional<LabelRecord> LabelIndex::firstLabel() const {
    if (m_records.empty()) {
        return std::nullopt;
    }
    return m_records.front();
}

void appendScriptLine(std::vector<char>& script, std::string_view text) {
    script.push_back(static_cast<char>(static_cast<unsigned char>(text.size())));
    script.insert(script.end(), text.begin(), text.end());
}

void appendLabelRecord(std::vector<char>& index, std::string_view name, std::int32_t offset) {
    index.push_back(static_cast<char>(name.size()));
    for (std::size_t i = 0; i < kMaxLabelBytes; ++i) {
        index.push_back(i < name.size() ? name[i] : '\0');
    }
    const auto value = static_cast<std::uint32_t>(offset);
    for (int i = 0; i < 4; ++i) {
        index.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

}  // namespace vrk::story
