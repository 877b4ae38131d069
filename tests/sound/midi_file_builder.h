#pragma once
// Standard MIDI Files written event by event, for the sound tests.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace vrk::sound::test {

class MidiTrack {
public:
    /// An event delta ticks after the previous one: its status and data bytes as written
    /// (a data byte first makes it run on the previous status).
    MidiTrack& event(std::uint32_t delta, std::initializer_list<int> bytes) {
        quantity(delta);
        for (const int b : bytes) {
            m_bytes.push_back(static_cast<char>(b));
        }
        return *this;
    }
    MidiTrack& endOfTrack(std::uint32_t delta) { return event(delta, {0xFF, 0x2F, 0x00}); }
    const std::string& bytes() const { return m_bytes; }

private:
    void quantity(std::uint32_t value) {
        std::string out(1, static_cast<char>(value & 0x7F));
        while ((value >>= 7) != 0) {
            out.insert(out.begin(), static_cast<char>((value & 0x7F) | 0x80));
        }
        m_bytes += out;
    }
    std::string m_bytes;
};

inline std::string bigEndian(std::uint32_t value, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
    return out;
}

/// A format-1 file (format 0 for one track) of division ticks per quarter note; with no tempo
/// event a quarter note lasts half a second.
inline std::string midiFile(const std::vector<MidiTrack>& tracks, int division = 480) {
    std::string out = "MThd" + bigEndian(6, 4) + bigEndian(tracks.size() > 1 ? 1 : 0, 2) +
                      bigEndian(static_cast<std::uint32_t>(tracks.size()), 2) +
                      bigEndian(static_cast<std::uint32_t>(division), 2);
    for (const MidiTrack& track : tracks) {
        out += "MTrk" + bigEndian(static_cast<std::uint32_t>(track.bytes().size()), 4) + track.bytes();
    }
    return out;
}

}  // namespace vrk::sound::test
