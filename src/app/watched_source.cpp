#include "app/watched_source.h"

#include <sys/stat.h>

#include <cstdlib>
#include <string_view>
#include <system_error>
#include <vector>

#include "common/errors.h"
#include "common/file_reading.h"
#include "common/file_writing.h"
#include "common/sjis.h"
#include "vrkc/story_compiler.h"

namespace vrk::app {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSlotExtensions[] = {".V01", ".V02", ".V03", ".V04"};

}  // namespace

WatchedSource::WatchedSource(fs::path source) {
    std::error_code ec;
    m_source = fs::absolute(source, ec);
    if (ec) {
        m_source = std::move(source);
    }
    // tale.txt plays as the project "tale", as the player names a project by its file.
    const std::string fileName = m_source.filename().string();
    m_baseName = fileName.substr(0, fileName.find('.'));
    if (m_baseName.empty()) {
        m_baseName = "STORY";
    }
}

WatchedSource::~WatchedSource() {
    if (m_dir.empty()) {
        return;
    }
    // The slots are read-only; the folder itself is ours, so removing them needs no write bit.
    std::error_code ec;
    fs::remove_all(m_dir, ec);
}

bool WatchedSource::prepare(std::string* error) {
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    if (ec) {
        *error = "no folder for temporary files: " + ec.message();
        return false;
    }
    // mkdtemp makes a folder nobody else could have prepared, readable by this user alone.
    std::string pattern = (base / "vrk3-watch-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        *error = "cannot make a folder in " + base.string();
        return false;
    }
    m_dir = fs::path(pattern) / "";
    return true;
}

WatchedSource::Outcome WatchedSource::compile() {
    const auto faulty = [](int line, std::string message) {
        return Outcome{Outcome::Faulty, Fault{line, std::move(message)}};
    };
    std::vector<char> bytes;
    try {
        bytes = readRegularFile(m_source, "Source file", compiler::kMaxInputBytes, OverLimit::Refuse);
    } catch (const Error& e) {
        // Not kept as the last source: the file may be back at the next change.
        m_lastSource.reset();
        return faulty(0, sjisToUtf8(e.messageSjis()));
    }
    if (m_lastSource == bytes) {
        return Outcome{Outcome::Unchanged, {}};
    }
    m_lastSource = bytes;
    if (m_dir.empty()) {
        return faulty(0, "no folder to compile into");
    }
    compiler::CompileError compileError;
    const auto story =
        compiler::compileStory(std::string_view(bytes.data(), bytes.size()), false, &compileError);
    if (!story) {
        return faulty(compileError.line, compileError.message);
    }
    const auto slot = compiler::initialSlot(*story);
    if (!slot) {
        return faulty(0,
                      "the story has no VRKALTER block (the names and the title a new reading starts with)");
    }
    const fs::path base = m_dir / m_baseName;
    if (!replaceFile(fs::path(base.string() + ".VRK"),
                     std::string_view(story->script.data(), story->script.size())) ||
        !replaceFile(fs::path(base.string() + ".VRJ"),
                     std::string_view(story->index.data(), story->index.size()))) {
        m_lastSource.reset();
        return faulty(0, "cannot write the compiled story into " + m_dir.string());
    }
    for (const char* extension : kSlotExtensions) {
        const fs::path path(base.string() + extension);
        std::error_code ec;
        if (fs::exists(fs::symlink_status(path, ec))) {
            continue;
        }
        // Without write bits, so that the saves go to the reader's own folder for this story.
        if (!replaceFile(path, *slot) || ::chmod(path.c_str(), 0444) != 0) {
            m_lastSource.reset();
            return faulty(0, "cannot write the story's slots into " + m_dir.string());
        }
    }
    return Outcome{Outcome::Compiled, {}};
}

}  // namespace vrk::app
