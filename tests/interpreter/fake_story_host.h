#pragma once
// A StoryHost that writes down every call as one line of text ("playSound se.wav",
// "setBusy 0"), so a test states what a run asked of the window as a list. A few
// answers can be steered: pictures that fail to load, a media-device error, and a
// hook run from inside waitTicks, where the window would pump its messages.

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "interpreter/story_host.h"

namespace vrk::interpreter::test {

class FakeStoryHost : public StoryHost {
public:
    std::vector<std::string> calls;
    std::set<std::string> unloadablePictures;
    bool soundsPlay = true;
    std::function<void()> duringWait;

    void showPicture(const std::string& fileNameSjis) override { record("showPicture", fileNameSjis); }
    void hidePicture() override { record("hidePicture"); }
    bool loadPicture(const std::string& fileNameSjis) override {
        record("loadPicture", fileNameSjis);
        return unloadablePictures.count(fileNameSjis) == 0;
    }
    bool playSound(const std::string& fileNameSjis) override {
        record("playSound", fileNameSjis);
        return soundsPlay;
    }
    void stopSound() override { record("stopSound"); }
    void launchProgram(const std::string& commandLineSjis) override {
        record("launchProgram", commandLineSjis);
    }
    void waitTicks(int ticks) override {
        record("waitTicks", std::to_string(ticks));
        if (duringWait) {
            duringWait();
        }
    }
    void repaint() override { record("repaint"); }
    void hideChoices() override { record("hideChoices"); }
    void prepareChoices() override { record("prepareChoices"); }
    void enableChoices() override { record("enableChoices"); }
    void refreshPage() override { record("refreshPage"); }
    void restartReveal() override { record("restartReveal"); }
    void setBusy(bool busy) override { record("setBusy", busy ? "1" : "0"); }
    void showNotice(const std::string& noticeSjis) override { record("showNotice", noticeSjis); }
    void reportError(const std::string& messageSjis) override { record("reportError", messageSjis); }

    /// The calls whose name is name ("playSound"), in order, each with its argument.
    std::vector<std::string> callsTo(std::string_view name) const {
        std::vector<std::string> found;
        for (const std::string& call : calls) {
            if (call.substr(0, call.find(' ')) == name) {
                found.push_back(call);
            }
        }
        return found;
    }
    int countOf(std::string_view name) const { return static_cast<int>(callsTo(name).size()); }
    bool contains(std::string_view call) const {
        return std::find(calls.begin(), calls.end(), call) != calls.end();
    }

private:
    void record(std::string_view name) { calls.emplace_back(name); }
    void record(std::string_view name, std::string_view argument) {
        calls.push_back(std::string(name) + " " + std::string(argument));
    }
};

}  // namespace vrk::interpreter::test
