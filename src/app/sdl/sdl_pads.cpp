#include "app/sdl/sdl_pads.h"

#include <SDL.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <utility>

namespace vrk::app {

namespace {

// SDL's buttons by place, as the mapping names them.
constexpr std::array<std::pair<SDL_GameControllerButton, PadButton>, kPadButtonCount> kButtons{{
    {SDL_CONTROLLER_BUTTON_DPAD_UP, PadButton::Up},
    {SDL_CONTROLLER_BUTTON_DPAD_DOWN, PadButton::Down},
    {SDL_CONTROLLER_BUTTON_DPAD_LEFT, PadButton::Left},
    {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, PadButton::Right},
    {SDL_CONTROLLER_BUTTON_A, PadButton::South},
    {SDL_CONTROLLER_BUTTON_B, PadButton::East},
    {SDL_CONTROLLER_BUTTON_X, PadButton::West},
    {SDL_CONTROLLER_BUTTON_Y, PadButton::North},
    {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, PadButton::LeftShoulder},
    {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, PadButton::RightShoulder},
    {SDL_CONTROLLER_BUTTON_START, PadButton::Start},
    {SDL_CONTROLLER_BUTTON_BACK, PadButton::Back},
}};

std::uint32_t bitOf(int sdlButton) {
    for (const auto& [sdl, pad] : kButtons) {
        if (sdl == sdlButton) {
            return padBit(pad);
        }
    }
    return 0;
}

double axis(SDL_GameController* pad, SDL_GameControllerAxis which) {
    return SDL_GameControllerGetAxis(pad, which) / 32767.0;
}

}  // namespace

struct SdlPads::Impl {
    bool tried = false;
    bool started = false;
    std::map<SDL_JoystickID, SDL_GameController*> pads;
    PadInput input;

    void open(int deviceIndex) {
        if (!SDL_IsGameController(deviceIndex)) {
            return;
        }
        const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(deviceIndex);
        if (id < 0 || pads.contains(id)) {
            return;
        }
        if (SDL_GameController* pad = SDL_GameControllerOpen(deviceIndex)) {
            pads[id] = pad;
        }
    }
    void close(SDL_JoystickID id) {
        if (const auto found = pads.find(id); found != pads.end()) {
            SDL_GameControllerClose(found->second);
            pads.erase(found);
        }
    }
};

SdlPads::SdlPads() : m_impl(std::make_unique<Impl>()) {}

SdlPads::~SdlPads() {
    if (!m_impl->started) {
        return;
    }
    for (const auto& [id, pad] : m_impl->pads) {
        SDL_GameControllerClose(pad);
    }
    SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
}

bool SdlPads::start() {
    if (m_impl->tried) {
        return m_impl->started;
    }
    m_impl->tried = true;
    // The window's own toolkit handles the signals that end the program.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // Buttons by place, not by the letters printed on them: South takes the page on every pad.
    SDL_SetHint(SDL_HINT_GAMECONTROLLER_USE_BUTTON_LABELS, "0");
    // The window has the input focus, not SDL: pads are read whichever window is in front.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
        return false;
    }
    m_impl->started = true;
    for (int i = 0; i < SDL_NumJoysticks(); ++i) {
        m_impl->open(i);
    }
    return true;
}

bool SdlPads::started() const {
    return m_impl->started;
}

int SdlPads::count() const {
    return static_cast<int>(m_impl->pads.size());
}

std::vector<PadButton> SdlPads::poll() {
    if (!m_impl->started) {
        return {};
    }
    // A press and its release both between two polls still count, from the events.
    std::uint32_t held = 0;
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) {
        switch (event.type) {
            case SDL_CONTROLLERDEVICEADDED:
                m_impl->open(event.cdevice.which);
                break;
            case SDL_CONTROLLERDEVICEREMOVED:
                m_impl->close(event.cdevice.which);
                break;
            case SDL_CONTROLLERBUTTONDOWN:
                held |= bitOf(event.cbutton.button);
                break;
            default:
                break;
        }
    }
    double stickX = 0;
    double stickY = 0;
    for (const auto& [id, pad] : m_impl->pads) {
        for (const auto& [sdl, button] : kButtons) {
            if (SDL_GameControllerGetButton(pad, sdl) != 0) {
                held |= padBit(button);
            }
        }
        // The stick pushed furthest leads, whichever pad it is on.
        const double x = axis(pad, SDL_CONTROLLER_AXIS_LEFTX);
        const double y = axis(pad, SDL_CONTROLLER_AXIS_LEFTY);
        if (std::max(std::abs(x), std::abs(y)) > std::max(std::abs(stickX), std::abs(stickY))) {
            stickX = x;
            stickY = y;
        }
    }
    if (m_impl->pads.empty()) {
        m_impl->input.reset();
        return {};
    }
    return m_impl->input.update(held, stickX, stickY);
}

}  // namespace vrk::app
