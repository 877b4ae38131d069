#pragma once
// The compiled scenario script (.VRK) and its label index (.VRJ).
//
// A script is a flat run of lines, each a length byte (0-255) and that many
// Shift-JIS bytes. The label index is a table of 13-byte records: a name length,
// eight name bytes and a signed little-endian 32-bit offset into the script.
// The player only ever reads both files.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vrk::story {

constexpr std::size_t kMaxLineBytes = 255;
constexpr std::size_t kMaxLabelBytes = 8;
/// A script larger than this is refused: offsets are 32-bit, and no story comes near it.
constexpr std::size_t kMaxScriptBytes = std::size_t{64} << 20;

/// Reads script lines one at a time, with random access by byte offset.
/// The file is read whole when opened; later changes to it on disk are not seen.
class ScriptReader {
public:
    /// Opens the file; throws the I/O error when it is missing, unreadable, not a regular file
    /// or larger than kMaxScriptBytes.
    void open(const std::filesystem::path& path);
    /// Takes the script from memory (tests, benchmarks, the compiler).
    void openBytes(std::vector<char> bytes, std::string nameForErrors = "script");
    void close();
    bool isOpen() const { return m_open; }

    /// Positions the reader; a negative offset is an I/O error.
    void seek(std::int32_t offset);
    /// Reads the next line into line (the program's currentLine); a short read is an I/O error.
    void readLine(std::string& line);
    std::int32_t position() const { return static_cast<std::int32_t>(m_position); }
    std::size_t size() const { return m_bytes.size(); }
    /// The whole script as read (empty once closed).
    std::span<const char> bytes() const { return m_bytes; }

private:
    std::vector<char> m_bytes;
    std::size_t m_position = 0;
    std::string m_name;
    bool m_open = false;
};

struct LabelRecord {
    std::string name;  ///< 0-8 bytes
    std::int32_t offset = 0;
    /// The stored length byte; a record claiming more than 8 bytes names no label.
    std::uint8_t storedLength = 0;
};

/// The label index: records in file order, numbered from 1, at most 8002.
class LabelIndex {
public:
    static constexpr std::size_t kRecordBytes = 13;
    static constexpr std::size_t kMaxRecords = 8002;

    /// Frees the records, then loads the file. A missing file or one that is not a regular file
    /// throws the I/O error; a file whose size is not a multiple of 13 keeps its whole records
    /// and then throws. Bytes past the last usable record are never read.
    void load(const std::filesystem::path& path);
    /// As load, from bytes; nameForErrors names the file in the message.
    void loadBytes(std::span<const char> bytes, const std::string& nameForErrors = "label index");
    void clear() {
        m_records.clear();
        m_firstOffsets.clear();
    }

    /// Offset of the first record named by the first 8 bytes of name; -1 when there is none.
    std::int32_t findLabel(std::string_view name) const;
    /// Record 1, the story's start; nothing when the index is empty.
    std::optional<LabelRecord> firstLabel() const;
    std::size_t count() const { return m_records.size(); }
    const std::vector<LabelRecord>& records() const { return m_records; }

private:
    std::vector<LabelRecord> m_records;
    // The offset of the first record of each name: a chain of "@NOWAIT" hops looks a label
    // up on every hop, and a full index made a linear search thousands of times slower.
    std::unordered_map<std::string, std::int32_t> m_firstOffsets;
};

/// Writes one script line (the compiler's side); text must be at most 255 bytes.
void appendScriptLine(std::vector<char>& script, std::string_view text);
/// Writes one 13-byte label record; name must be at most 8 bytes.
void appendLabelRecord(std::vector<char>& index, std::string_view name, std::int32_t offset);

}  // namespace vrk::story
