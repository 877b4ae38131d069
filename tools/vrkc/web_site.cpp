#include "vrkc/web_site.h"

#include <algorithm>
#include <array>
#include <map>
#include <system_error>

#include "common/errors.h"
#include "common/file_names.h"
#include "common/file_reading.h"
#include "common/file_writing.h"
#include "common/json_writer.h"
#include "common/messages.h"
#include "common/sjis.h"
#include "pictures/picture_loader.h"
#include "presentation/glyph_metrics.h"
#include "story/save_file.h"
#include "story/script.h"
#include "story/story_state.h"
#include "vrkc/sound_font_trim.h"
#include "vrkc/web_fonts.h"

namespace fs = std::filesystem;

namespace vrk::publish {

namespace {

// The player's own limits (picture_loader.h, media_checks.h, save_file.cpp): a file it would
// refuse is no use to a reader either.
constexpr std::size_t kMaxSlotBytes = std::size_t{1} << 20;
constexpr std::size_t kMaxNamedFileBytes = pictures::kMaxPictureFileBytes;
// The page's own files: the engine is a few megabytes, the manual and the soundfont less than 10.
constexpr std::size_t kMaxPageFileBytes = std::size_t{64} << 20;

// Files of a built page that a published story does without: the terminal player for node and
// the package file node reads it by, the faces and the soundfont, which the site carries cut to
// the story.
bool leftOutOfSite(std::string_view name) {
    static const std::array<std::string_view, 6> kLeftOut = {
        "vrk3.mjs", "vrk3-core.cjs", "vrk3-core.wasm", "story.json", "app.webmanifest", "package.json"};
    return std::find(kLeftOut.begin(), kLeftOut.end(), name) != kLeftOut.end() || name.ends_with(".ttf") ||
           name.ends_with(".sf2");
}

std::string upperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

std::string htmlText(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string asString(const std::vector<char>& bytes) {
    return std::string(bytes.data(), bytes.size());
}

// A path's name as the site spells it: UTF-8 as it is, or the Shift-JIS a file copied from
// Windows may still carry turned into UTF-8.
std::string siteSpelling(const fs::path& relative) {
    std::string out;
    for (const auto& part : relative) {
        const std::string raw = part.string();
        out += (out.empty() ? "" : "/") + (isValidUtf8(raw) ? raw : sjisToUtf8(raw));
    }
    return out;
}

// A site path as an address, spelled as the page's encodeURIComponent spells each part of it
// (a preload is used only by a request for the very same address).
std::string percentEncoded(std::string_view path) {
    std::string out;
    for (char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
            std::string_view("-._~!'()*/").find(c) != std::string_view::npos) {
            out += c;
        } else {
            char buffer[4];
            std::snprintf(buffer, sizeof buffer, "%%%02X", byte);
            out += buffer;
        }
    }
    return out;
}

bool isJapaneseText(char32_t c) {
    return (c >= 0x3000 && c <= 0x9FFF) || (c >= 0xFF00 && c <= 0xFFEF);
}

// The code points of UTF-8 text (the page's captions); malformed bytes are skipped. In a binary
// (the engine, whose page model holds the menus' captions), only runs of at least minRun
// Japanese characters (kana, ideographs, full-width forms) count: random bytes form such a
// character now and then, two in a row almost never, and a caption is rarely one character.
void addUtf8Characters(std::string_view text, std::set<char32_t>& into, std::size_t minRun = 1) {
    std::vector<char32_t> run;
    auto endRun = [&] {
        if (run.size() >= minRun) {
            into.insert(run.begin(), run.end());
        }
        run.clear();
    };
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = utf8SequenceLength(lead);
        if (length == 1 || i + length > text.size() || !isValidUtf8(text.substr(i, length))) {
            endRun();
            if (lead >= 0x20 && lead < 0x7F && minRun <= 1) {
                into.insert(lead);
            }
            ++i;
            continue;
        }
        char32_t c = lead & (0xFF >> (length + 1));
        for (std::size_t k = 1; k < length; ++k) {
            c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        if (minRun > 1 && !isJapaneseText(c)) {
            endRun();
        } else {
            run.push_back(c);
        }
        i += length;
    }
    endRun();
}

// The script's lines by offset, as the compiler lays them out: a length byte and that many bytes.
struct ScriptLine {
    std::int32_t at;
    std::string_view text;
};

std::vector<ScriptLine> scriptLines(std::span<const char> script) {
    std::vector<ScriptLine> lines;
    for (std::size_t at = 0; at < script.size();) {
        const std::size_t length = static_cast<unsigned char>(script[at]);
        const std::size_t end = std::min(script.size(), at + 1 + length);
        lines.push_back(
            {static_cast<std::int32_t>(at), std::string_view(script.data() + at + 1, end - at - 1)});
        at = end;
    }
    return lines;
}

class StoryReader {
public:
    explicit StoryReader(Story& story) : m_story(story) {}

    void add(const fs::path& path, std::int32_t at, bool start) {
        std::error_code ec;
        const fs::path real = fs::canonical(path, ec);
        if (ec || !fs::is_regular_file(real, ec)) {
            return;
        }
        const fs::path relative = real.lexically_relative(m_root);
        const std::string name = siteSpelling(relative);
        if (relative.empty() || *relative.begin() == ".." || !isSafeSiteName(name)) {
            m_story.notes.push_back(path.string() + ": outside the project folder, not published");
            return;
        }
        if (const auto known = m_index.find(real); known != m_index.end()) {
            m_story.files[known->second].start = m_story.files[known->second].start || start;
            return;
        }
        const std::uintmax_t size = fs::file_size(real, ec);
        if (ec) {
            return;
        }
        m_index.emplace(real, m_story.files.size());
        m_story.files.push_back({name, real, size, at, start});
    }

    // A name a command line gives, "%P%" put in front of it where the script asks, as the
    // player resolves it.
    void addNamed(std::string nameSjis, std::int32_t at, bool start) {
        std::string dir = pathToSjis(m_story.projectDir);
        if (!dir.empty() && dir.back() != '/') {
            dir.push_back('/');
        }
        for (std::size_t p = nameSjis.find("%P%"); p != std::string::npos;
             p = nameSjis.find("%P%", p + dir.size())) {
            nameSjis.replace(p, 3, dir);
        }
        if (const auto found = resolveFileName(nameSjis, m_story.projectDir)) {
            add(*found, at, start);
        } else {
            m_story.notes.push_back(sjisToUtf8(nameSjis) + ": named by the script, not found");
        }
    }

    void setRoot(const fs::path& root) { m_root = root; }

private:
    Story& m_story;
    fs::path m_root;
    std::map<fs::path, std::size_t> m_index;
};

}  // namespace

bool isSafeSiteName(std::string_view name) {
    if (name.empty() || name.front() == '/' || name.back() == '/' || !isValidUtf8(name)) {
        return false;
    }
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '\\' || c == ':') {
            return false;
        }
    }
    for (std::size_t start = 0; start <= name.size();) {
        const std::size_t end = std::min(name.find('/', start), name.size());
        const std::string_view part = name.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") {
            return false;
        }
        start = end + 1;
    }
    return true;
}

void addSjisCharacters(std::string_view sjis, std::set<char32_t>& into) {
    for (std::size_t i = 0; i < sjis.size(); ++i) {
        const auto byte = static_cast<unsigned char>(sjis[i]);
        std::optional<char32_t> c;
        if (isSjisLeadByte(byte) && i + 1 < sjis.size()) {
            c = sjisCharacter(byte, static_cast<unsigned char>(sjis[i + 1]));
            if (c) {
                ++i;
            }
        } else {
            c = sjisCharacter(byte);
        }
        if (c && *c >= 0x20 && *c != 0x7F) {
            into.insert(*c);
        }
    }
}

void addPageCharacters(std::string_view fileName, std::string_view bytes, std::set<char32_t>& into) {
    if (fileName == "index.html" || fileName.ends_with(".mjs") || fileName.ends_with(".js") ||
        fileName.ends_with(".css")) {
        addUtf8Characters(bytes, into);
    } else if (fileName.ends_with(".wasm")) {
        addUtf8Characters(bytes, into, 2);
    }
}

std::string storyTitle(std::span<const char> script, std::span<const char> index) {
    try {
        story::LabelIndex labels;
        labels.loadBytes(index);
        story::ScriptReader reader;
        reader.openBytes(std::vector<char>(script.begin(), script.end()));
        story::StoryState defaults;
        story::readDefaultsBlock(reader, labels, defaults);
        return sjisToUtf8(defaults.title);
    } catch (const Error&) {
        return {};
    }
}

std::optional<Story> readStory(const fs::path& projectFile, std::string* error) {
    Story story;
    std::error_code ec;
    story.projectDir = fs::canonical(fs::absolute(projectFile, ec).parent_path(), ec);
    if (ec) {
        *error = "cannot read " + projectFile.string();
        return std::nullopt;
    }
    const std::string fileName = projectFile.filename().string();
    const std::string base = fileName.substr(0, fileName.find('.'));
    const auto scriptPath = findInDirectory(story.projectDir, base + ".VRK");
    const auto indexPath = findInDirectory(story.projectDir, base + ".VRJ");
    std::optional<std::vector<char>> script;
    std::optional<std::vector<char>> index;
    if (scriptPath && indexPath) {
        script = tryReadRegularFile(*scriptPath, story::kMaxScriptBytes, OverLimit::Refuse);
        index =
            tryReadRegularFile(*indexPath, story::LabelIndex::kMaxRecords * story::LabelIndex::kRecordBytes,
                               OverLimit::Truncate);
    }
    if (!script || !index) {
        *error = "cannot read " + (story.projectDir / (base + ".VRK")).string() + " and its .VRJ";
        return std::nullopt;
    }
    story.projectFile = siteSpelling(scriptPath->filename());
    story.title = storyTitle(*script, *index);
    if (story.title.empty()) {
        story.title = base;
    }

    StoryReader reader(story);
    reader.setRoot(story.projectDir);
    reader.add(*scriptPath, -1, true);
    reader.add(*indexPath, -1, true);
    for (int n = 1; n <= 4; ++n) {
        if (const auto slot = findInDirectory(story.projectDir, base + ".V0" + std::to_string(n))) {
            reader.add(*slot, -1, true);
            if (const auto bytes = tryReadRegularFile(*slot, kMaxSlotBytes, OverLimit::Truncate)) {
                addSjisCharacters(asString(*bytes), story.characters);
            }
        }
    }

    // The first page runs from the first label to the next label after it.
    std::int32_t firstPage = 0;
    std::int32_t firstPageEnd = static_cast<std::int32_t>(script->size());
    story::LabelIndex labels;
    try {
        labels.loadBytes(*index);
    } catch (const Error&) {
        // the records read before the fault still say where the story starts
    }
    if (const auto first = labels.firstLabel()) {
        firstPage = first->offset;
        for (const auto& record : labels.records()) {
            if (record.offset > firstPage && record.offset < firstPageEnd) {
                firstPageEnd = record.offset;
            }
        }
    }
    for (const ScriptLine& line : scriptLines(*script)) {
        addSjisCharacters(line.text, story.characters);
        if (line.text.size() < 5 || line.text[0] != '>') {
            continue;
        }
        const std::string command = upperAscii(line.text.substr(1, 4));
        const std::string argument(line.text.substr(5));
        const bool start = line.at >= firstPage && line.at < firstPageEnd;
        if (command == "WAV=" || command == "BGM=") {
            reader.addNamed(argument, line.at, start);
        } else if (command == "BMP=" || command == "BAK=" || command == "TIL=") {
            // The player takes a JPEG of the same base name first, so either may be the picture.
            const std::string jpeg = pictures::jpegCandidateName(argument);
            if (jpeg != argument && resolveFileName(jpeg, story.projectDir)) {
                reader.addNamed(jpeg, line.at, start);
            } else {
                reader.addNamed(argument, line.at, start);
            }
        }
    }
    for (std::size_t i = 0; i < story.files.size(); ++i) {
        const std::string upper = upperAscii(story.files[i].name);
        if (upper.ends_with(".MID") || upper.ends_with(".MIDI") || upper.ends_with(".RMI")) {
            story.midiFiles.push_back(i);
        }
    }
    return story;
}

namespace {

struct FaceRule {
    std::string family;
    std::string stem;  ///< fonts/STEM.woff2 and its slices fonts/STEM-N.woff2
};

// index.html for the story: its title, the cut faces in place of the whole ones, the app manifest.
std::string publishedIndex(std::string html, const std::string& title,
                           const std::vector<std::string>& modules, const std::vector<std::string>& fetched,
                           const std::vector<std::string>& faces) {
    std::string out;
    std::size_t start = 0;
    while (start < html.size()) {
        const std::size_t end = std::min(html.find('\n', start), html.size());
        const std::string_view line(html.data() + start, end - start);
        if (line.find("@font-face") == std::string_view::npos) {
            out.append(line);
            out += '\n';
        }
        start = end + 1;
    }
    const std::size_t titleAt = out.find("<title>");
    const std::size_t titleEnd = out.find("</title>", titleAt);
    if (titleAt != std::string::npos && titleEnd != std::string::npos) {
        out.replace(titleAt + 7, titleEnd - titleAt - 7, htmlText(title));
    }
    const std::size_t head = out.find("</head>");
    if (head != std::string::npos) {
        // The meta element tells the page to open story.json (a page served alone asks for nothing).
        // What the first page needs is asked for at once, not as each module finds it needs it:
        // on a line with a long round trip the chain of imports, then the manifest, then the
        // story's files would cost a round trip each.
        std::string links =
            "<meta name=\"vrk3-story\" content=\"story.json\">\n"
            "<link rel=\"stylesheet\" href=\"fonts/faces.css\">\n"
            "<link rel=\"manifest\" href=\"app.webmanifest\">\n";
        // The text faces of the fixed-pitch families, which the reading draws in unless the
        // reader chose another: a face is otherwise asked for only once text needs it.
        for (const std::string& face : faces) {
            links += "<link rel=\"preload\" href=\"" + htmlText(face) +
                     "\" as=\"font\" type=\"font/woff2\" crossorigin>\n";
        }
        for (const std::string& module : modules) {
            links += "<link rel=\"modulepreload\" href=\"" + htmlText(module) + "\">\n";
        }
        for (const std::string& file : fetched) {
            // The engine is the largest of them and the last the first page waits for.
            const bool engine = file.ends_with(".wasm");
            links += "<link rel=\"preload\" href=\"" + htmlText(file) + "\" as=\"fetch\" crossorigin" +
                     (engine ? " fetchpriority=\"high\"" : "") + ">\n";
        }
        out.insert(head, links);
    }
    return out;
}

std::string measuresJson(const FaceMeasures& m) {
    std::string json = "{\"unitsPerEm\":" + std::to_string(m.unitsPerEm) +
                       ",\"ascent\":" + std::to_string(m.ascent) +
                       ",\"descent\":" + std::to_string(m.descent) +
                       ",\"fixedPitch\":" + (m.fixedPitch ? "true" : "false") + ",\"advances\":[";
    bool first = true;
    for (const auto& [from, to, advance] : m.advances) {
        json += (first ? "[" : ",[") + std::to_string(from) + "," + std::to_string(to) + "," +
                std::to_string(advance) + "]";
        first = false;
    }
    return json + "]}";
}

std::string faceRule(const std::string& family, const std::string& file, const CodeRanges& ranges) {
    return "@font-face { font-family: " + jsonQuoted(family) + "; src: url(\"" + file +
           "\") format(\"woff2\"); unicode-range: " + unicodeRange(ranges) + "; }\n";
}

}  // namespace

std::optional<std::vector<SiteEntry>> buildSite(const Story& story, const SiteOptions& options,
                                                std::string* error, std::vector<std::string>* notes) {
    std::vector<SiteEntry> site;
    std::error_code ec;
    // The page, as built: its top folder only (fonts/ is cut below).
    std::vector<fs::path> pageFiles;
    for (const auto& entry : fs::directory_iterator(options.pageDir, ec)) {
        if (entry.is_regular_file(ec) && !leftOutOfSite(entry.path().filename().string())) {
            pageFiles.push_back(entry.path());
        }
    }
    if (ec || pageFiles.empty()) {
        *error = "no page in " + options.pageDir.string() + " (make web builds it)";
        return std::nullopt;
    }
    std::sort(pageFiles.begin(), pageFiles.end());
    std::optional<fs::path> soundFont;
    for (const auto& entry : fs::directory_iterator(options.pageDir, ec)) {
        if (entry.is_regular_file(ec) && entry.path().extension() == ".sf2") {
            soundFont = entry.path();
        }
    }
    bool hasIndex = false;
    std::string indexHtml;
    std::vector<std::string> modules;
    std::vector<std::string> fetched = {"story.json", "fonts/faces.json"};
    std::set<char32_t> captions;
    for (const fs::path& path : pageFiles) {
        const std::string name = path.filename().string();
        auto bytes = tryReadRegularFile(path, kMaxPageFileBytes, OverLimit::Refuse);
        if (!bytes) {
            *error = "cannot read " + path.string();
            return std::nullopt;
        }
        std::string text = asString(*bytes);
        // Everything the page itself writes on screen is in its markup, its modules and the
        // engine's page model; the manual opens in a page of its own, in the browser's faces.
        addPageCharacters(name, text, captions);
        if (name == "index.html") {
            hasIndex = true;
            indexHtml = std::move(text);
            continue;  // written below, once the files its first page needs are known
        }
        if (name.ends_with(".mjs")) {
            modules.push_back(name);
        }
        site.push_back({name, std::move(text)});
    }
    if (!hasIndex) {
        *error = "no index.html in " + options.pageDir.string();
        return std::nullopt;
    }

    // The story's files, under story/.
    std::string files;
    std::set<Preset> presets;
    for (std::size_t i = 0; i < story.files.size(); ++i) {
        const StoryFile& file = story.files[i];
        auto bytes = tryReadRegularFile(file.source, kMaxNamedFileBytes, OverLimit::Refuse);
        if (!bytes) {
            notes->push_back(file.source.string() + ": cannot be read, not published");
            continue;
        }
        if (std::find(story.midiFiles.begin(), story.midiFiles.end(), i) != story.midiFiles.end()) {
            const auto played = midiPresets(std::string_view(bytes->data(), bytes->size()));
            presets.insert(played.begin(), played.end());
        }
        files += std::string(files.empty() ? "" : ",\n    ") + "{\"name\":" + jsonQuoted(file.name) +
                 ",\"size\":" + std::to_string(bytes->size()) +
                 (file.firstNamedAt >= 0 ? ",\"at\":" + std::to_string(file.firstNamedAt) : "") +
                 (file.start ? ",\"start\":true" : "") + "}";
        site.push_back({std::string(kStoryFolder) + file.name, asString(*bytes)});
        if (file.start) {
            fetched.push_back(percentEncoded(std::string(kStoryFolder) + file.name));
        }
    }

    // The soundfont, with only the instruments the story's music plays; none without music.
    if (soundFont && !story.midiFiles.empty()) {
        const auto whole = tryReadRegularFile(*soundFont, kMaxPageFileBytes, OverLimit::Refuse);
        if (!whole) {
            *error = "cannot read " + soundFont->string();
            return std::nullopt;
        }
        auto trimmed = trimSoundFont(asString(*whole), presets);
        if (!trimmed) {
            notes->push_back(soundFont->string() + ": not a soundfont that can be cut; published whole");
        }
        site.push_back({soundFont->filename().string(), trimmed ? std::move(*trimmed) : asString(*whole)});
    }

    // The faces, cut to the story's characters, ASCII and the page's captions.
    std::set<char32_t> shown = story.characters;
    for (char32_t c = 0x20; c < 0x7F; ++c) {
        shown.insert(c);
    }
    shown.insert(captions.begin(), captions.end());
    // The characters the layout measures the face by, and the player's own texts (a free slot's
    // comment, the name prompt), whatever the story holds.
    for (const std::string_view text :
         {presentation::kSampleSjis, presentation::kWideGlyphSjis, messages::kUnusedSlot,
          messages::kSlotInUse, messages::kUserDataUnwritable, messages::kEnterName, messages::kEraseConfirm,
          messages::kFullWidthSpace, messages::kOpenCaption, messages::kApplicationTitle}) {
        addSjisCharacters(text, shown);
    }
    std::string css =
        "/* The page's faces for this story: the characters it can show first, the rest of each face\n"
        "   in slices fetched only for a character typed outside them. */\n";
    std::string measures;
    std::vector<std::string> preloadedFaces;
    // Each face the page serves, under the family its own name table gives it.
    std::vector<fs::path> faceFiles;
    for (const auto& entry : fs::directory_iterator(options.pageDir / "fonts", ec)) {
        const std::string extension = upperAscii(entry.path().extension().string());
        if (entry.is_regular_file(ec) && (extension == ".TTF" || extension == ".OTF")) {
            faceFiles.push_back(entry.path());
        }
    }
    std::sort(faceFiles.begin(), faceFiles.end());
    if (faceFiles.empty()) {
        notes->push_back((options.pageDir / "fonts").string() +
                         ": no faces; the page draws in the reader's own fonts");
    }
    std::vector<std::string> faceBytes;
    std::vector<std::string> families;
    for (const fs::path& path : faceFiles) {
        const auto face = tryReadRegularFile(path, kMaxPageFileBytes, OverLimit::Refuse);
        faceBytes.push_back(face ? asString(*face) : std::string());
        families.push_back(faceFamily(faceBytes.back()));
    }
    const auto cuts = cutFaces(std::vector<std::string_view>(faceBytes.begin(), faceBytes.end()), shown,
                               options.fontEffort);
    for (std::size_t i = 0; i < faceFiles.size(); ++i) {
        const fs::path& path = faceFiles[i];
        const std::string& family = families[i];
        const auto& cut = cuts[i];
        if (!cut || family.empty()) {
            notes->push_back(path.string() + ": no face to cut; the page falls back to the reader's fonts");
            continue;
        }
        const FaceRule rule{family, path.stem().string()};
        for (std::size_t n = 0; n < cut->slices.size(); ++n) {
            const std::string file = rule.stem + "-" + std::to_string(n + 1) + ".woff2";
            css += faceRule(rule.family, file, cut->slices[n].ranges);
            site.push_back({"fonts/" + file, cut->slices[n].bytes});
        }
        css += faceRule(rule.family, rule.stem + ".woff2", cut->text.ranges);
        if (cut->measures.fixedPitch) {
            preloadedFaces.push_back("fonts/" + rule.stem + ".woff2");
        }
        site.push_back({"fonts/" + rule.stem + ".woff2", cut->text.bytes});
        measures += std::string(measures.empty() ? "" : ",\n") + jsonQuoted(rule.family) + ":" +
                    measuresJson(cut->measures);
    }
    site.push_back({"fonts/faces.css", css});
    site.push_back({"fonts/faces.json", "{" + measures + "}\n"});

    std::error_code wasmError;
    if (fs::is_regular_file(options.pageDir / "vrk3-page.wasm", wasmError)) {
        fetched.push_back("vrk3-page.wasm");
    }
    site.push_back({"index.html", publishedIndex(indexHtml, story.title, modules, fetched, preloadedFaces)});

    // Installable: the story's name, the program's icons, the site's own folder as its start.
    std::string icons;
    for (const auto& [file, size] : {std::pair{"vrk3.png", "32x32"}, std::pair{"vrk3-256.png", "256x256"}}) {
        const std::string name = file;  // clang 14 lets no lambda take a structured binding
        if (std::any_of(site.begin(), site.end(), [&](const SiteEntry& e) { return e.name == name; })) {
            icons += std::string(icons.empty() ? "" : ",") + "{\"src\":\"" + file + "\",\"sizes\":\"" + size +
                     "\",\"type\":\"image/png\"}";
        }
    }
    site.push_back({"app.webmanifest",
                    "{\"name\":" + jsonQuoted(story.title) + ",\"short_name\":" + jsonQuoted(story.title) +
                        ",\"start_url\":\"./\",\"scope\":\"./\",\"display\":\"standalone\","
                        "\"background_color\":\"#000000\",\"theme_color\":\"#222222\","
                        "\"lang\":\"ja\",\"icons\":[" +
                        icons + "]}\n"});

    // The manifest the page opens the story from, with every file of the site for the offline copy.
    std::string all;
    for (const SiteEntry& entry : site) {
        all += std::string(all.empty() ? "" : ",") + jsonQuoted(entry.name);
    }
    all += std::string(all.empty() ? "" : ",") + jsonQuoted("story.json");
    site.push_back({"story.json", "{\"title\":" + jsonQuoted(story.title) +
                                      ",\n  \"project\":" + jsonQuoted(story.projectFile) +
                                      ",\n  \"folder\":" + jsonQuoted(kStoryFolder) +
                                      ",\n  \"faces\":\"fonts/faces.json\",\n  \"files\":[\n    " + files +
                                      "],\n  \"site\":[" + all + "]}\n"});

    if (site.size() > kMaxSiteFiles) {
        *error = "the site would hold " + std::to_string(site.size()) + " files, more than " +
                 std::to_string(kMaxSiteFiles);
        return std::nullopt;
    }
    for (const SiteEntry& entry : site) {
        if (!isSafeSiteName(entry.name)) {
            *error = "refused to write " + entry.name + ": it would leave the site's folder";
            return std::nullopt;
        }
    }
    return site;
}

bool writeSite(const std::vector<SiteEntry>& entries, const fs::path& outDir, std::string* error) {
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(outDir, ec))) {
        *error = outDir.string() + " is a symbolic link";
        return false;
    }
    if (fs::exists(fs::symlink_status(outDir, ec))) {
        if (!fs::is_directory(outDir, ec)) {
            *error = outDir.string() + " is not a folder";
            return false;
        }
        if (!fs::is_empty(outDir, ec) &&
            !fs::is_regular_file(fs::symlink_status(outDir / "story.json", ec))) {
            *error = outDir.string() + " holds other files (only a new or empty folder, or a site vrkc made)";
            return false;
        }
    }
    fs::create_directories(outDir, ec);
    if (ec) {
        *error = "cannot make " + outDir.string();
        return false;
    }
    for (const SiteEntry& entry : entries) {
        if (!isSafeSiteName(entry.name)) {
            *error = "refused to write " + entry.name + ": it would leave " + outDir.string();
            return false;
        }
        // Every folder on the way is made here or was a folder already, never a link.
        fs::path at = outDir;
        const fs::path relative = fs::path(entry.name).parent_path();
        for (const auto& part : relative) {
            at /= part;
            const auto status = fs::symlink_status(at, ec);
            if (fs::is_symlink(status) || (fs::exists(status) && !fs::is_directory(status))) {
                *error = "refused to write " + entry.name + ": " + at.string() + " is not a folder";
                return false;
            }
            if (!fs::exists(status)) {
                fs::create_directory(at, ec);
            }
        }
        if (!replaceFile(outDir / entry.name, entry.bytes)) {
            *error = "cannot write " + (outDir / entry.name).string();
            return false;
        }
    }
    return true;
}

namespace {

std::uint32_t crc32(std::string_view bytes) {
    static const auto kTable = [] {
        std::array<std::uint32_t, 256> table{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            table[n] = c;
        }
        return table;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (char c : bytes) {
        crc = kTable[(crc ^ static_cast<unsigned char>(c)) & 0xFF] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFu;
}

void put16(std::string& out, std::uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void put32(std::string& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

}  // namespace

std::string zipSite(const std::vector<SiteEntry>& entries, std::string_view folder) {
    // Stored members: the faces, pictures and sounds are compressed already, and a host
    // compresses the rest on the way to the reader. Times are the DOS epoch, so one site gives
    // one archive.
    constexpr std::uint32_t kDosDate = (0 << 9) | (1 << 5) | 1;
    constexpr std::uint16_t kUtf8Names = 1 << 11;
    std::string zip;
    std::string directory;
    for (const SiteEntry& entry : entries) {
        const std::string name = folder.empty() ? entry.name : std::string(folder) + "/" + entry.name;
        const std::uint32_t crc = crc32(entry.bytes);
        const auto size = static_cast<std::uint32_t>(entry.bytes.size());
        const auto offset = static_cast<std::uint32_t>(zip.size());
        put32(zip, 0x04034b50);
        put16(zip, 10);
        put16(zip, kUtf8Names);
        put16(zip, 0);
        put16(zip, 0);
        put16(zip, kDosDate);
        put32(zip, crc);
        put32(zip, size);
        put32(zip, size);
        put16(zip, static_cast<std::uint32_t>(name.size()));
        put16(zip, 0);
        zip += name;
        zip += entry.bytes;

        put32(directory, 0x02014b50);
        put16(directory, (3 << 8) | 20);  // made on Unix
        put16(directory, 10);
        put16(directory, kUtf8Names);
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, kDosDate);
        put32(directory, crc);
        put32(directory, size);
        put32(directory, size);
        put16(directory, static_cast<std::uint32_t>(name.size()));
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0);
        put32(directory, 0100644u << 16);
        put32(directory, offset);
        directory += name;
    }
    const auto directoryAt = static_cast<std::uint32_t>(zip.size());
    zip += directory;
    put32(zip, 0x06054b50);
    put16(zip, 0);
    put16(zip, 0);
    put16(zip, static_cast<std::uint32_t>(entries.size()));
    put16(zip, static_cast<std::uint32_t>(entries.size()));
    put32(zip, static_cast<std::uint32_t>(directory.size()));
    put32(zip, directoryAt);
    put16(zip, 0);
    return zip;
}

std::optional<fs::path> findPageDir(const fs::path& programDir) {
    std::error_code ec;
    auto holdsPage = [&](const fs::path& dir) {
        return fs::is_regular_file(dir / "index.html", ec) && fs::is_regular_file(dir / "vrk3-page.wasm", ec);
    };
    // Installed: PREFIX/bin/vrkc and PREFIX/share/vrk3/web.
    const fs::path installed = programDir.parent_path().parent_path() / "share" / "vrk3" / "web";
    if (!programDir.empty() && holdsPage(installed)) {
        return installed;
    }
    // A build folder inside the source tree (build/tools/vrkc/vrkc): web/dist a few folders up.
    fs::path dir = programDir.parent_path();
    for (int up = 0; up < 5 && !dir.empty(); ++up) {
        if (holdsPage(dir / "web" / "dist")) {
            return dir / "web" / "dist";
        }
        if (dir == dir.parent_path()) {
            break;
        }
        dir = dir.parent_path();
    }
    return std::nullopt;
}

}  // namespace vrk::publish
