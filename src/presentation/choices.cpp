#include "presentation/choices.h"

namespace vrk::presentation {

std::string choiceCaptionSjis(int button, int choiceCount, bool scriptOpen) {
    if (!scriptOpen) {
        return "\x8a\x4a\x82\xad";  // 開く
    }
    if (choiceCount <= 1) {
        return "Next";
    }
    return std::string(1, static_cast<char>('A' + choiceCount - button));
}

int slotForButton(int button, int choiceCount) {
    return choiceCount - button + 1;
}

std::optional<int> choiceKeySlot(int keyCode, bool scriptOpen, int visibleButtons) {
    if (!scriptOpen) {
        return std::nullopt;
    }
    const bool choiceKey = (keyCode >= '1' && keyCode <= '6') || (keyCode >= 'A' && keyCode <= 'F') ||
                           (keyCode >= 'a' && keyCode <= 'f');
    if (keyCode == kEnterKey) {
        if (visibleButtons >= 2) {
            return std::nullopt;
        }
        keyCode = '1';
    } else if (!choiceKey) {
        return std::nullopt;
    }
    const int slot = keyCode & 7;
    if (slot > visibleButtons) {
        return std::nullopt;
    }
    return slot;
}

Rect choiceButtonRect(int button, int clientWidth, int clientHeight, int scrollBarWidth) {
    return {clientWidth - kChoiceButtonPitch * button - scrollBarWidth, clientHeight - kChoiceButtonBottom,
            kChoiceButtonWidth, kChoiceButtonHeight};
}

}  // namespace vrk::presentation
