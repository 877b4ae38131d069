#include "sound/sound_kinds.h"

#include "common/file_names.h"

namespace vrk::sound {

std::string soundExtensionSjis(std::string_view fileNameSjis) {
    const std::size_t dot = fileNameSjis.rfind('.');
    if (dot == std::string_view::npos) {
        return {};
    }
    return foldCaseSjis(fileNameSjis.substr(dot));
}

bool soundKindAllowed(std::string_view fileNameSjis, const interpreter::PlayerOptions& options) {
    const std::string extension = soundExtensionSjis(fileNameSjis);
    if (extension == ".MID") {
        return options.mid;
    }
    if (extension == ".WAV") {
        return options.wav;
    }
    return options.other;
}

bool isWaveFile(std::string_view fileNameSjis) {
    return soundExtensionSjis(fileNameSjis) == ".WAV";
}

}  // namespace vrk::sound
