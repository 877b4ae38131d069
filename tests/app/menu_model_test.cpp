#include "app/menu_model.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace vrk::app {
namespace {

TEST(MenuModel, TreeIsInOrderAndEveryItemSitsInAMenuShownBeforeIt) {
    std::set<std::string> names;
    std::set<std::string> keys;
    std::size_t index = 0;
    for (const MenuEntry& entry : menuEntries()) {
        SCOPED_TRACE(std::string(entry.name));
        EXPECT_EQ(menuIndex(entry.id), index++);
        const MenuEntry& parent = menuEntry(entry.parent);
        EXPECT_EQ(parent.kind, MenuEntry::Kind::Menu);
        EXPECT_LE(menuIndex(entry.parent), menuIndex(entry.id));
        if (entry.kind == MenuEntry::Kind::Separator) {
            EXPECT_TRUE(entry.caption.empty());
            continue;
        }
        // The window finds its actions and the page its buttons by these names.
        EXPECT_TRUE(names.insert(std::string(entry.name)).second) << "twice: " << entry.name;
        EXPECT_FALSE(entry.caption.empty());
        for (const Shortcut& shortcut : entry.shortcuts) {
            const std::string text = shortcutText(shortcut);
            if (!text.empty()) {
                // A key that two items claimed would run only the first.
                EXPECT_TRUE(keys.insert(text).second) << "twice: " << text;
            }
        }
        // A check mark or a step always says which setting it changes; skip and full screen
        // follow the reading and the window instead.
        if (entry.setting != MenuSetting::None) {
            EXPECT_FALSE(settingName(entry.setting).empty());
        }
    }
    EXPECT_EQ(index, kMenuIdCount);
    EXPECT_TRUE(menuEntry(MenuId::FileMenu).isTop());
    EXPECT_FALSE(menuEntry(MenuId::SpeedMenu).isTop());
    EXPECT_EQ(menuEntry(MenuId::SpeedMenu).parent, MenuId::SettingsMenu);
    EXPECT_EQ(menuEntry(MenuId::Balance).parent, MenuId::SettingsMenu);
}

TEST(MenuModel, ShortcutsAreWrittenAsBrowsersNameTheirKeys) {
    EXPECT_EQ(shortcutText(menuEntry(MenuId::CopyText).shortcuts[0]), "Ctrl+Shift+C");
    EXPECT_EQ(shortcutText(menuEntry(MenuId::Backlog).shortcuts[0]), "PageUp");
    EXPECT_EQ(shortcutText(menuEntry(MenuId::FullScreen).shortcuts[0]), "F11");
    EXPECT_EQ(shortcutText(menuEntry(MenuId::FullScreen).shortcuts[1]), "Alt+Enter");
    EXPECT_EQ(shortcutText(menuEntry(MenuId::StandardGap).shortcuts[0]), "");
    EXPECT_EQ(shortcutText({Shortcut::Key::Letter, 'X', true, true, true}), "Ctrl+Alt+Shift+X");
}

TEST(MenuModel, PlainCaptionsDropTheAccelerator) {
    EXPECT_EQ(plainCaption("一時保存(&T)"), "一時保存");
    EXPECT_EQ(plainCaption("標準(2)(&N)"), "標準(2)");
    EXPECT_EQ(plainCaption("&Open"), "Open");
    EXPECT_EQ(plainCaption("ローレゾ"), "ローレゾ");
    EXPECT_EQ(plainCaption("(&"), "(");
}

TEST(MenuModel, StepItemsStopAtTheEndsOfTheirRanges) {
    SessionFacts s;
    const FrontEndFacts f;
    const auto enabled = [&](MenuId id) { return menuItemState(id, s, f).enabled; };
    s.lineGapTenths = presentation::kMaxLineGap;
    EXPECT_FALSE(enabled(MenuId::WiderGap));
    EXPECT_TRUE(enabled(MenuId::NarrowerGap));
    s.lineGapTenths = presentation::kMinLineGap;
    EXPECT_TRUE(enabled(MenuId::WiderGap));
    EXPECT_FALSE(enabled(MenuId::NarrowerGap));
    EXPECT_TRUE(enabled(MenuId::StandardGap));
    s.lineGapTenths = presentation::kStandardLineGap;
    EXPECT_FALSE(enabled(MenuId::StandardGap));

    s.revealSpeed = presentation::kSlowestRevealSpeed;
    EXPECT_FALSE(enabled(MenuId::Slower));
    EXPECT_TRUE(enabled(MenuId::Faster));
    s.revealSpeed = 1;
    EXPECT_FALSE(enabled(MenuId::Faster));
    EXPECT_TRUE(enabled(MenuId::NormalSpeed));
    EXPECT_EQ(menuItemState(MenuId::SpeedMenu, s, f).caption, "描画速度(&P) 1");
    // Nonstop takes every speed step away and names itself in the menu's caption.
    s.options.revealAtOnce = true;
    EXPECT_FALSE(enabled(MenuId::Slower));
    EXPECT_FALSE(enabled(MenuId::NormalSpeed));
    EXPECT_TRUE(menuItemState(MenuId::Nonstop, s, f).checked);
    EXPECT_EQ(menuItemState(MenuId::SpeedMenu, s, f).caption, "描画速度(&P) 最速");

    EXPECT_EQ(menuEntry(MenuId::WiderGap).step, presentation::SettingStep::Up);
    EXPECT_EQ(menuEntry(MenuId::Faster).step, presentation::SettingStep::Down);
    EXPECT_TRUE(menuEntry(MenuId::NormalSpeed).setsStandard);
    EXPECT_FALSE(menuEntry(MenuId::Slower).setsStandard);
}

TEST(MenuModel, VolumesStepByTenthsWithinSilenceAndFullAndNameTheirLevel) {
    SessionFacts s;
    const FrontEndFacts f;
    const auto enabled = [&](MenuId id) { return menuItemState(id, s, f).enabled; };
    EXPECT_FALSE(enabled(MenuId::LouderMusic)) << "full already";
    EXPECT_FALSE(enabled(MenuId::StandardEffects));
    EXPECT_TRUE(enabled(MenuId::QuieterEffects));
    EXPECT_EQ(menuItemState(MenuId::MusicVolumeMenu, s, f).caption, "音楽の音量(&M) 100%");
    s.musicVolume = 0;
    s.effectVolume = 40;
    EXPECT_FALSE(enabled(MenuId::QuieterMusic));
    EXPECT_TRUE(enabled(MenuId::LouderMusic));
    EXPECT_TRUE(enabled(MenuId::StandardMusic));
    EXPECT_TRUE(enabled(MenuId::LouderEffects)) << "each volume has its own limits";
    EXPECT_EQ(menuItemState(MenuId::EffectVolumeMenu, s, f).caption, "効果音の音量(&E) 40%");

    using presentation::SettingStep;
    EXPECT_EQ(steppedVolume(40, SettingStep::Up), 50);
    EXPECT_EQ(steppedVolume(95, SettingStep::Up), 100) << "a stored odd volume still stops at full";
    EXPECT_EQ(steppedVolume(5, SettingStep::Down), 0);
    EXPECT_EQ(steppedVolume(0, SettingStep::Standard), 100);
    // The page adds what a press adds: a tenth of the volume, a single step of the others.
    EXPECT_EQ(stepAmount(menuEntry(MenuId::QuieterEffects).setting, menuEntry(MenuId::QuieterEffects).step),
              -10);
    EXPECT_EQ(stepAmount(MenuSetting::LineGap, SettingStep::Up), 1);
    // Both sit in the view menu, each a menu of its own.
    EXPECT_EQ(menuEntry(MenuId::MusicVolumeMenu).parent, MenuId::ViewMenu);
    EXPECT_EQ(menuEntry(MenuId::StandardEffects).parent, MenuId::EffectVolumeMenu);
    EXPECT_TRUE(menuEntry(MenuId::LouderMusic).isStep());
}

TEST(MenuModel, ItemsFollowTheReadingAndTheFrontEnd) {
    SessionFacts s;
    FrontEndFacts f;
    const auto state = [&](MenuId id) { return menuItemState(id, s, f); };
    // Nothing open yet.
    for (const MenuId id :
         {MenuId::Reopen, MenuId::ExportSaves, MenuId::ImportSaves, MenuId::QuickSave, MenuId::QuickLoad,
          MenuId::Back, MenuId::Backlog, MenuId::CopyText, MenuId::ReaderMap}) {
        SCOPED_TRACE(std::string(menuEntry(id).name));
        EXPECT_FALSE(state(id).enabled);
    }
    EXPECT_TRUE(state(MenuId::Open).enabled);
    EXPECT_TRUE(state(MenuId::Exit).enabled);
    s.projectKnown = true;
    s.quickSaveEnabled = true;
    s.canGoBack = true;
    s.hasPageText = true;
    EXPECT_TRUE(state(MenuId::Reopen).enabled);
    EXPECT_TRUE(state(MenuId::ReaderMap).enabled);
    EXPECT_TRUE(state(MenuId::ImportSaves).enabled);
    EXPECT_TRUE(state(MenuId::QuickSave).enabled);
    EXPECT_FALSE(state(MenuId::QuickLoad).enabled);
    EXPECT_TRUE(state(MenuId::Back).enabled);
    EXPECT_TRUE(state(MenuId::CopyText).enabled);

    // The backlog's key belongs to it only at the top of the page; below, PageUp scrolls.
    s.backlogAvailable = true;
    f.pageAtTop = false;
    EXPECT_TRUE(state(MenuId::Backlog).enabled);
    EXPECT_FALSE(state(MenuId::Backlog).shortcutActive);
    EXPECT_TRUE(state(MenuId::Back).shortcutActive);

    EXPECT_TRUE(state(MenuId::Balance).enabled);
    f.sizeLocked = true;
    EXPECT_FALSE(state(MenuId::Balance).enabled);

    EXPECT_FALSE(state(MenuId::FullScreen).checked);
    f.fullScreen = true;
    f.speech = true;
    s.skipping = true;
    s.options.playMidi = false;
    s.options.brightOutline = true;
    EXPECT_TRUE(state(MenuId::FullScreen).checked);
    EXPECT_TRUE(state(MenuId::Speech).checked);
    EXPECT_TRUE(state(MenuId::Skip).checked);
    EXPECT_FALSE(state(MenuId::Midi).checked);
    EXPECT_TRUE(state(MenuId::Wav).checked);
    EXPECT_TRUE(state(MenuId::Contrast).checked);
    EXPECT_FALSE(state(MenuId::AutoAdvance).checked);
    // An item that is no check mark is never checked, whatever the facts.
    EXPECT_FALSE(state(MenuId::Back).checked);
}

}  // namespace
}  // namespace vrk::app
