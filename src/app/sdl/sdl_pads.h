#pragma once
// The game controllers plugged in, read through SDL: each poll takes SDL's controller events
// (pads plugged in and out, buttons pressed since the last poll) and the pads' state, and gives
// the presses of all the pads together, as one pad. SDL starts at the first start(), not with
// the window: looking for pads reads the input devices, and most readers have none.

#include <memory>
#include <vector>

#include "app/pad_mapping.h"

namespace vrk::app {

class SdlPads {
public:
    SdlPads();
    /// Closes the pads and stops SDL's controller part, if it started.
    ~SdlPads();
    SdlPads(const SdlPads&) = delete;
    SdlPads& operator=(const SdlPads&) = delete;

    /// Starts SDL's controller part and opens the pads present; false when SDL cannot start it
    /// (the pads then give nothing). Starting again does nothing.
    bool start();
    bool started() const;
    /// The presses since the last poll, in PadButton order; pads plugged in or out meanwhile
    /// are opened or closed first.
    std::vector<PadButton> poll();
    /// The pads open now.
    int count() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace vrk::app
