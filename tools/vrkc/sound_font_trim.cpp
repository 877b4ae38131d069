#include "vrkc/sound_font_trim.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

#include "sound/midi_programs.h"

namespace vrk::publish {

namespace {

constexpr int kPercussionChannel = 9;
constexpr int kPercussionBank = 128;

}  // namespace

std::set<Preset> midiPresets(std::string_view midi) {
    const sound::MidiProgramUse use = sound::midiProgramUse(midi);
    std::set<Preset> presets;
    for (int channel = 0; channel < 16; ++channel) {
        if (!use.firstNote[channel]) {
            continue;
        }
        const bool percussion = channel == kPercussionChannel;
        int bank = 0;
        int program = 0;
        auto add = [&] {
            // The synthesizer selects by the bank's high byte (its GS mode) and falls back to
            // the program in bank 0, and on the percussion channel to the standard kit.
            if (percussion) {
                presets.insert({kPercussionBank, program});
                presets.insert({kPercussionBank, 0});
            } else {
                presets.insert({bank, program});
                presets.insert({0, program});
            }
        };
        add();
        for (const sound::MidiProgramEvent& event : use.events) {
            if (event.channel != channel) {
                continue;
            }
            if (event.kind == sound::MidiProgramEvent::Kind::BankMsb) {
                bank = event.value;
            } else if (event.kind == sound::MidiProgramEvent::Kind::Program) {
                program = event.value;
                add();
            }
        }
    }
    return presets;
}

namespace {

std::uint16_t get16(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

std::uint32_t get32(std::string_view bytes, std::size_t at) {
    return get16(bytes, at) | (static_cast<std::uint32_t>(get16(bytes, at + 2)) << 16);
}

void set16(std::string& bytes, std::size_t at, std::uint32_t value) {
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}

void set32(std::string& bytes, std::size_t at, std::uint32_t value) {
    set16(bytes, at, value & 0xFFFF);
    set16(bytes, at + 2, value >> 16);
}

std::string chunk(std::string_view id, std::string_view body) {
    std::string out(id);
    out.resize(8);
    set32(out, 4, static_cast<std::uint32_t>(body.size()));
    out += body;
    if (body.size() % 2 != 0) {
        out += '\0';
    }
    return out;
}

// The chunks of a RIFF list body, by id (the first of each).
std::optional<std::map<std::string, std::string_view>> chunks(std::string_view body) {
    std::map<std::string, std::string_view> found;
    for (std::size_t at = 0; at + 8 <= body.size();) {
        const std::uint32_t size = get32(body, at + 4);
        if (size > body.size() - at - 8) {
            return std::nullopt;
        }
        std::string id(body.substr(at, 4));
        if (id == "LIST" && size >= 4) {
            id = "LIST:" + std::string(body.substr(at + 8, 4));
            found.emplace(id, body.substr(at + 12, size - 4));
        } else {
            found.emplace(id, body.substr(at + 8, size));
        }
        at += 8 + size + (size % 2);
    }
    return found;
}

// One of the hydra's record arrays: COUNT records of SIZE bytes, the last a terminal one.
struct Records {
    std::string_view bytes;
    std::size_t size = 0;
    std::size_t count() const { return bytes.size() / size; }
    std::string_view at(std::size_t i) const { return bytes.substr(i * size, size); }
};

constexpr std::uint16_t kInstrumentGenerator = 41;
constexpr std::uint16_t kSampleGenerator = 53;
constexpr std::uint16_t kRomSample = 0x8000;

// Copies the zones of the kept items (presets or instruments) with their generators and
// modulators, the generator LINK (instrument or sample) renumbered through newIndex.
struct Level {
    Records headers, bags, modulators, generators;
    std::size_t bagField = 0;  // where a header holds its first bag
    std::uint16_t link = 0;
};

struct Rebuilt {
    std::string headers, bags, modulators, generators;
};

bool linkedItems(const Level& level, std::size_t item, std::set<std::size_t>& into) {
    const std::size_t firstBag = get16(level.headers.at(item), level.bagField);
    const std::size_t endBag = get16(level.headers.at(item + 1), level.bagField);
    if (firstBag > endBag || endBag >= level.bags.count()) {
        return false;
    }
    for (std::size_t bag = firstBag; bag < endBag; ++bag) {
        const std::size_t first = get16(level.bags.at(bag), 0);
        const std::size_t end = get16(level.bags.at(bag + 1), 0);
        if (first > end || end >= level.generators.count()) {
            return false;
        }
        for (std::size_t g = first; g < end; ++g) {
            if (get16(level.generators.at(g), 0) == level.link) {
                into.insert(get16(level.generators.at(g), 2));
            }
        }
    }
    return true;
}

std::optional<Rebuilt> rebuild(const Level& level, const std::vector<std::size_t>& kept,
                               const std::map<std::size_t, std::size_t>& newIndex) {
    Rebuilt out;
    std::size_t bags = 0;
    std::size_t generators = 0;
    std::size_t modulators = 0;
    for (std::size_t item : kept) {
        std::string header(level.headers.at(item));
        set16(header, level.bagField, static_cast<std::uint32_t>(bags));
        out.headers += header;
        const std::size_t firstBag = get16(level.headers.at(item), level.bagField);
        const std::size_t endBag = get16(level.headers.at(item + 1), level.bagField);
        for (std::size_t bag = firstBag; bag < endBag; ++bag) {
            std::string record(level.bags.at(bag));
            set16(record, 0, static_cast<std::uint32_t>(generators));
            set16(record, 2, static_cast<std::uint32_t>(modulators));
            out.bags += record;
            ++bags;
            const std::size_t g0 = get16(level.bags.at(bag), 0);
            const std::size_t g1 = get16(level.bags.at(bag + 1), 0);
            for (std::size_t g = g0; g < g1; ++g) {
                std::string generator(level.generators.at(g));
                if (get16(generator, 0) == level.link) {
                    const auto to = newIndex.find(get16(generator, 2));
                    if (to == newIndex.end()) {
                        return std::nullopt;
                    }
                    set16(generator, 2, static_cast<std::uint32_t>(to->second));
                }
                out.generators += generator;
                ++generators;
            }
            const std::size_t m0 = get16(level.bags.at(bag), 2);
            const std::size_t m1 = get16(level.bags.at(bag + 1), 2);
            if (m0 > m1 || m1 > level.modulators.count()) {
                return std::nullopt;
            }
            for (std::size_t m = m0; m < m1; ++m) {
                out.modulators += level.modulators.at(m);
                ++modulators;
            }
        }
    }
    // The terminal records: the last header names where its (empty) bags would start.
    std::string last(level.headers.at(level.headers.count() - 1));
    set16(last, level.bagField, static_cast<std::uint32_t>(bags));
    out.headers += last;
    std::string lastBag(4, '\0');
    set16(lastBag, 0, static_cast<std::uint32_t>(generators));
    set16(lastBag, 2, static_cast<std::uint32_t>(modulators));
    out.bags += lastBag;
    out.generators += std::string(4, '\0');
    out.modulators += std::string(10, '\0');
    return out;
}

}  // namespace

std::optional<std::string> trimSoundFont(std::string_view sf2, const std::set<Preset>& presets) {
    if (sf2.size() < 12 || sf2.substr(0, 4) != "RIFF" || sf2.substr(8, 4) != "sfbk") {
        return std::nullopt;
    }
    const std::uint32_t riffSize = get32(sf2, 4);
    if (riffSize < 4 || riffSize > sf2.size() - 8) {
        return std::nullopt;
    }
    const auto top = chunks(sf2.substr(12, riffSize - 4));
    if (!top || !top->contains("LIST:INFO") || !top->contains("LIST:sdta") || !top->contains("LIST:pdta")) {
        return std::nullopt;
    }
    const auto sdta = chunks(top->at("LIST:sdta"));
    const auto pdta = chunks(top->at("LIST:pdta"));
    if (!sdta || !pdta || !sdta->contains("smpl")) {
        return std::nullopt;
    }
    const std::array<std::pair<const char*, std::size_t>, 9> kSizes = {{{"phdr", 38},
                                                                        {"pbag", 4},
                                                                        {"pmod", 10},
                                                                        {"pgen", 4},
                                                                        {"inst", 22},
                                                                        {"ibag", 4},
                                                                        {"imod", 10},
                                                                        {"igen", 4},
                                                                        {"shdr", 46}}};
    std::map<std::string, Records> hydra;
    for (const auto& [id, size] : kSizes) {
        const auto found = pdta->find(id);
        if (found == pdta->end() || found->second.size() % size != 0 || found->second.size() < size) {
            return std::nullopt;
        }
        hydra[id] = Records{found->second, size};
    }
    const std::string_view samples = sdta->at("smpl");
    const Level presetLevel{hydra["phdr"],       hydra["pbag"], hydra["pmod"], hydra["pgen"], 24,
                            kInstrumentGenerator};
    const Level instrumentLevel{hydra["inst"],   hydra["ibag"], hydra["imod"], hydra["igen"], 20,
                                kSampleGenerator};
    const Records& sampleHeaders = hydra["shdr"];

    std::vector<std::size_t> keptPresets;
    for (std::size_t p = 0; p + 1 < presetLevel.headers.count(); ++p) {
        const std::string_view header = presetLevel.headers.at(p);
        if (presets.contains({get16(header, 22), get16(header, 20)})) {
            keptPresets.push_back(p);
        }
    }
    std::set<std::size_t> instruments;
    for (std::size_t p : keptPresets) {
        if (!linkedItems(presetLevel, p, instruments)) {
            return std::nullopt;
        }
    }
    std::set<std::size_t> sampleSet;
    for (std::size_t i : instruments) {
        if (i + 1 >= instrumentLevel.headers.count() || !linkedItems(instrumentLevel, i, sampleSet)) {
            return std::nullopt;
        }
    }
    // A stereo sample's other side sounds with it.
    for (std::size_t s : std::set<std::size_t>(sampleSet)) {
        if (s + 1 >= sampleHeaders.count()) {
            return std::nullopt;
        }
        const std::string_view header = sampleHeaders.at(s);
        const std::uint16_t type = get16(header, 44);
        if ((type & kRomSample) == 0 && (type & 0x0E) != 0 &&
            get16(header, 42) + 1u < sampleHeaders.count()) {
            sampleSet.insert(get16(header, 42));
        }
    }

    std::map<std::size_t, std::size_t> instrumentIndex;
    for (std::size_t i : instruments) {
        instrumentIndex.emplace(i, instrumentIndex.size());
    }
    std::map<std::size_t, std::size_t> sampleIndex;
    for (std::size_t s : sampleSet) {
        sampleIndex.emplace(s, sampleIndex.size());
    }
    const auto presetPart = rebuild(presetLevel, keptPresets, instrumentIndex);
    const auto instrumentPart = rebuild(
        instrumentLevel, std::vector<std::size_t>(instruments.begin(), instruments.end()), sampleIndex);
    if (!presetPart || !instrumentPart) {
        return std::nullopt;
    }

    // The kept samples' data, each followed by the 46 zero points the format asks for.
    std::string data;
    std::string headers;
    const std::size_t points = samples.size() / 2;
    for (std::size_t s : sampleSet) {
        std::string header(sampleHeaders.at(s));
        const std::uint32_t start = get32(header, 20);
        const std::uint32_t end = get32(header, 24);
        if ((get16(header, 44) & kRomSample) != 0 || start > end || end > points) {
            return std::nullopt;
        }
        const auto newStart = static_cast<std::uint32_t>(data.size() / 2);
        data += samples.substr(std::size_t{start} * 2, std::size_t{end - start} * 2);
        data += std::string(46 * 2, '\0');
        const auto shift = [&](std::size_t field) {
            set32(header, field, get32(header, field) - start + newStart);
        };
        shift(20);
        shift(24);
        shift(28);
        shift(32);
        if (const auto link = sampleIndex.find(get16(header, 42)); link != sampleIndex.end()) {
            set16(header, 42, static_cast<std::uint32_t>(link->second));
        } else {
            set16(header, 42, 0);
        }
        headers += header;
    }
    headers += sampleHeaders.at(sampleHeaders.count() - 1);

    const std::string pdtaBody =
        "pdta" + chunk("phdr", presetPart->headers) + chunk("pbag", presetPart->bags) +
        chunk("pmod", presetPart->modulators) + chunk("pgen", presetPart->generators) +
        chunk("inst", instrumentPart->headers) + chunk("ibag", instrumentPart->bags) +
        chunk("imod", instrumentPart->modulators) + chunk("igen", instrumentPart->generators) +
        chunk("shdr", headers);
    const std::string body = "sfbk" + chunk("LIST", "INFO" + std::string(top->at("LIST:INFO"))) +
                             chunk("LIST", "sdta" + chunk("smpl", data)) + chunk("LIST", pdtaBody);
    return chunk("RIFF", body);
}

}  // namespace vrk::publish
