#include "sound/midi_programs.h"

#include <algorithm>

namespace vrk::sound {

namespace {

std::uint32_t bigEndian(std::string_view bytes, std::size_t at, int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

class TrackReader {
public:
    explicit TrackReader(std::string_view track) : m_track(track) {}

    bool atEnd() const { return m_at >= m_track.size(); }
    std::optional<std::uint8_t> byte() {
        if (atEnd()) {
            return std::nullopt;
        }
        return static_cast<std::uint8_t>(m_track[m_at++]);
    }
    // A variable-length quantity of at most four bytes, as the format allows.
    std::optional<std::uint32_t> quantity() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const auto b = byte();
            if (!b) {
                return std::nullopt;
            }
            value = (value << 7) | (*b & 0x7Fu);
            if ((*b & 0x80u) == 0) {
                return value;
            }
        }
        return std::nullopt;
    }
    bool skip(std::uint64_t count) {
        if (count > m_track.size() - m_at) {
            return false;
        }
        m_at += static_cast<std::size_t>(count);
        return true;
    }

private:
    std::string_view m_track;
    std::size_t m_at = 0;
};

struct Timed {
    MidiProgramEvent event;
    std::size_t track;
    std::size_t order;
};

void readTrack(std::string_view track, std::size_t index, std::vector<Timed>& events, MidiProgramUse& use) {
    TrackReader in(track);
    std::uint64_t tick = 0;
    std::uint8_t running = 0;
    while (!in.atEnd()) {
        const auto delta = in.quantity();
        auto first = in.byte();
        if (!delta || !first) {
            return;
        }
        tick += *delta;
        std::uint8_t status = *first;
        std::optional<std::uint8_t> data1;
        if (status < 0x80) {
            if (running == 0) {
                return;  // data with no status to run on
            }
            data1 = status;
            status = running;
        }
        if (status == 0xFF) {
            const auto type = in.byte();
            const auto length = in.quantity();
            if (!type || !length || *type == 0x2F || !in.skip(*length)) {
                return;
            }
            continue;
        }
        if (status == 0xF0 || status == 0xF7) {
            const auto length = in.quantity();
            if (!length || !in.skip(*length)) {
                return;
            }
            running = 0;
            continue;
        }
        if (status >= 0xF0) {
            return;  // no other system message belongs in a file
        }
        running = status;
        if (!data1) {
            data1 = in.byte();
        }
        const std::uint8_t kind = status & 0xF0;
        const bool twoBytes = kind != 0xC0 && kind != 0xD0;
        const auto data2 = twoBytes ? in.byte() : std::optional<std::uint8_t>{0};
        if (!data1 || !data2) {
            return;
        }
        const std::uint8_t channel = status & 0x0F;
        std::optional<MidiProgramEvent::Kind> programKind;
        if (kind == 0x90 && *data2 != 0) {
            auto& earliest = use.firstNote[channel];
            auto& latest = use.lastNote[channel];
            earliest = earliest ? std::min(*earliest, tick) : tick;
            latest = latest ? std::max(*latest, tick) : tick;
        } else if (kind == 0xC0) {
            programKind = MidiProgramEvent::Kind::Program;
        } else if (kind == 0xB0 && *data1 == 0) {
            programKind = MidiProgramEvent::Kind::BankMsb;
        } else if (kind == 0xB0 && *data1 == 32) {
            programKind = MidiProgramEvent::Kind::BankLsb;
        }
        if (programKind) {
            if (events.size() >= kMaxMidiProgramEvents) {
                use.truncated = true;
            } else {
                const std::uint8_t value = kind == 0xC0 ? *data1 : *data2;
                events.push_back({{tick, channel, *programKind, static_cast<std::uint8_t>(value & 0x7F)},
                                  index,
                                  events.size()});
            }
        }
    }
}

}  // namespace

MidiProgramUse midiProgramUse(std::string_view bytes) {
    MidiProgramUse use;
    if (bytes.size() < 14 || bytes.substr(0, 4) != "MThd") {
        return use;
    }
    std::vector<Timed> events;
    std::size_t at = 8 + std::size_t{bigEndian(bytes, 4, 4)};
    std::size_t track = 0;
    while (at <= bytes.size() && bytes.size() - at >= 8) {
        const std::string_view id = bytes.substr(at, 4);
        const std::size_t length = bigEndian(bytes, at + 4, 4);
        const std::size_t body = at + 8;
        const std::size_t present = std::min(length, bytes.size() - body);
        if (id == "MTrk") {
            readTrack(bytes.substr(body, present), track++, events, use);
        }
        if (length > bytes.size() - body) {
            break;
        }
        at = body + length;
    }
    // The player sends each track's events up to the current tick, track by track.
    std::sort(events.begin(), events.end(), [](const Timed& a, const Timed& b) {
        if (a.event.tick != b.event.tick) {
            return a.event.tick < b.event.tick;
        }
        return a.track != b.track ? a.track < b.track : a.order < b.order;
    });
    use.events.reserve(events.size());
    for (const Timed& timed : events) {
        use.events.push_back(timed.event);
    }
    return use;
}

}  // namespace vrk::sound
