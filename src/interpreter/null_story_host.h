#pragma once
// A host that does nothing: pictures and sounds "succeed", waits return at once. For
// benchmarks and for tests that override only the calls they look at.

#include "interpreter/story_host.h"

namespace vrk::interpreter {

class NullStoryHost : public StoryHost {
public:
    void showPicture(const std::string&) override {}
    void hidePicture() override {}
    bool loadPicture(const std::string&) override { return true; }
    bool playSound(const std::string&) override { return true; }
    void stopSound() override {}
    void launchProgram(const std::string&) override {}
    void waitTicks(int) override {}
    void repaint() override {}
    void hideChoices() override {}
    void prepareChoices() override {}
    void enableChoices() override {}
    void refreshPage() override {}
    void restartReveal() override {}
    void setBusy(bool) override {}
    void showNotice(const std::string&) override {}
    void reportError(const std::string&) override {}
};

}  // namespace vrk::interpreter
