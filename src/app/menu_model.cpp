#include "app/menu_model.h"

#include "common/sjis.h"
#include "presentation/reading_settings.h"

namespace vrk::app {

namespace {

using Kind = MenuEntry::Kind;
using Key = Shortcut::Key;
using presentation::SettingStep;

constexpr Shortcut ctrl(char letter) {
    return {Key::Letter, letter, true, false, false};
}
constexpr Shortcut key(Key k) {
    return {k, 0, false, false, false};
}

struct Builder {
    std::array<MenuEntry, kMenuIdCount> entries{};
    MenuId menu{};

    MenuEntry& add(Kind kind, MenuId id, MenuId parent, std::string_view name, std::string_view caption) {
        MenuEntry& e = entries[menuIndex(id)];
        e.kind = kind;
        e.id = id;
        e.parent = parent;
        e.name = name;
        e.caption = caption;
        return e;
    }
    MenuEntry& top(MenuId id, std::string_view name, std::string_view caption) {
        menu = id;
        return add(Kind::Menu, id, id, name, caption);
    }
    MenuEntry& sub(MenuId parent, MenuId id, std::string_view name, std::string_view caption) {
        menu = id;
        return add(Kind::Menu, id, parent, name, caption);
    }
    MenuEntry& item(MenuId id, std::string_view name, std::string_view caption, Shortcut shortcut = {}) {
        MenuEntry& e = add(Kind::Item, id, menu, name, caption);
        e.shortcuts[0] = shortcut;
        return e;
    }
    MenuEntry& check(MenuId id, std::string_view name, std::string_view caption, Shortcut shortcut,
                     MenuSetting setting) {
        MenuEntry& e = item(id, name, caption, shortcut);
        e.checkable = true;
        e.setting = setting;
        return e;
    }
    MenuEntry& step(MenuId id, std::string_view name, std::string_view caption, Shortcut shortcut,
                    MenuSetting setting, SettingStep step) {
        MenuEntry& e = item(id, name, caption, shortcut);
        e.setting = setting;
        e.step = step;
        e.setsStandard = step == SettingStep::Standard;
        return e;
    }
    MenuEntry& separator(MenuId id, std::string_view name = {}) {
        return add(Kind::Separator, id, menu, name, {});
    }
};

std::array<MenuEntry, kMenuIdCount> buildEntries() {
    Builder b;
    b.top(MenuId::FileMenu, "fileMenu", "ファイル(&F)");
    b.item(MenuId::Open, "openAction", "開く(&O)", ctrl('O'));
    b.item(MenuId::OpenFolder, "openFolderAction", "フォルダを開く(&D)").pageOnly = true;
    b.item(MenuId::Reopen, "reopenAction", "開き直す(&R)", ctrl('R'));
    b.item(MenuId::QuickSave, "quickSaveAction", "一時保存(&T)", ctrl('S'));
    b.item(MenuId::QuickLoad, "quickLoadAction", "一時保存を開く(&Y)", ctrl('T'));
    b.separator(MenuId::PageSeparator).pageOnly = true;
    b.item(MenuId::ExportSaves, "exportAction", "セーブを書き出す(&E)").pageOnly = true;
    b.item(MenuId::ImportSaves, "importAction", "セーブを取り込む(&I)").pageOnly = true;
    b.separator(MenuId::FileSeparator, "fileSeparator");
    b.item(MenuId::Exit, "exitAction", "終了(&X)", ctrl('Q'));

    b.top(MenuId::SettingsMenu, "settingsMenu", "設定(&O)");
    b.item(MenuId::Font, "fontAction", "フォント(&F)", ctrl('F'));
    b.sub(MenuId::SettingsMenu, MenuId::LineGapMenu, "lineGapMenu", "行間隔(&G)");
    b.step(MenuId::WiderGap, "widerGapAction", "広く(&W)", ctrl('W'), MenuSetting::LineGap, SettingStep::Up);
    b.step(MenuId::NarrowerGap, "narrowerGapAction", "狭く(&N)", ctrl('N'), MenuSetting::LineGap,
           SettingStep::Down);
    b.step(MenuId::StandardGap, "standardGapAction", "標準(&S)", {}, MenuSetting::LineGap,
           SettingStep::Standard);
    b.sub(MenuId::SettingsMenu, MenuId::SpeedMenu, "speedMenu", "描画速度(&P)");
    b.step(MenuId::Slower, "slowerAction", "遅く(&S)", ctrl('H'), MenuSetting::RevealSpeed, SettingStep::Up);
    b.step(MenuId::Faster, "fasterAction", "速く(&F)", ctrl('J'), MenuSetting::RevealSpeed,
           SettingStep::Down);
    b.step(MenuId::NormalSpeed, "normalSpeedAction", "標準(2)(&N)", ctrl('K'), MenuSetting::RevealSpeed,
           SettingStep::Standard);
    b.check(MenuId::Nonstop, "nonstopAction", "最速(&Z)", ctrl('L'), MenuSetting::Nonstop);
    b.sub(MenuId::SettingsMenu, MenuId::SoundMenu, "soundMenu", "音声(&S)");
    b.check(MenuId::Midi, "midiAction", "Midファイル", {}, MenuSetting::Mid);
    b.check(MenuId::Wav, "wavAction", "Wavファイル", {}, MenuSetting::Wav);
    b.check(MenuId::OtherMedia, "otherMediaAction", "その他のファイル", {}, MenuSetting::Other);
    b.sub(MenuId::SettingsMenu, MenuId::CompatibilityMenu, "compatibilityMenu", "互換性(&C)");
    b.check(MenuId::OldExe, "oldExeAction", "旧形式外部EXE", {}, MenuSetting::OldExe);
    b.check(MenuId::LowRes, "lowResAction", "ローレゾ", ctrl('C'), MenuSetting::LowRes);
    b.check(MenuId::Contrast, "contrastAction", "高輝度ふち取り", ctrl('E'), MenuSetting::Contrast);
    b.menu = MenuId::SettingsMenu;
    b.item(MenuId::Balance, "balanceAction", "4:3バランス", ctrl('B'));

    b.top(MenuId::ViewMenu, "viewMenu", "表示(&V)");
    b.item(MenuId::Backlog, "backlogAction", "バックログ(&B)", key(Key::PageUp)).shortcutAtTopOnly = true;
    b.item(MenuId::Back, "backAction", "1ページ戻る(&P)", ctrl('Z'));
    b.item(MenuId::CopyText, "copyTextAction", "本文をコピー(&C)", {Key::Letter, 'C', true, true, false});
    b.item(MenuId::ReaderMap, "readerMapAction", "読んだ道筋(&M)");
    b.separator(MenuId::ViewSeparator);
    b.check(MenuId::AutoAdvance, "autoAdvanceAction", "自動送り(&A)", ctrl('A'), MenuSetting::AutoAdvance);
    b.check(MenuId::Skip, "skipAction", "既読スキップ(&S)", ctrl('D'), MenuSetting::None);
    b.check(MenuId::FullScreen, "fullScreenAction", "全画面表示(&U)", key(Key::F11), MenuSetting::None)
        .shortcuts[1] = {Key::Enter, 0, false, false, true};
    b.separator(MenuId::SpeechSeparator);
    b.check(MenuId::Speech, "speechAction", "読み上げ(&R)", ctrl('Y'), MenuSetting::Speech);
    b.separator(MenuId::VolumeSeparator);
    b.sub(MenuId::ViewMenu, MenuId::MusicVolumeMenu, "musicVolumeMenu", "音楽の音量(&M)");
    b.step(MenuId::LouderMusic, "louderMusicAction", "大きく(&L)", {}, MenuSetting::MusicVolume,
           SettingStep::Up);
    b.step(MenuId::QuieterMusic, "quieterMusicAction", "小さく(&Q)", {}, MenuSetting::MusicVolume,
           SettingStep::Down);
    b.step(MenuId::StandardMusic, "standardMusicAction", "標準 100%(&S)", {}, MenuSetting::MusicVolume,
           SettingStep::Standard);
    b.sub(MenuId::ViewMenu, MenuId::EffectVolumeMenu, "effectVolumeMenu", "効果音の音量(&E)");
    b.step(MenuId::LouderEffects, "louderEffectsAction", "大きく(&L)", {}, MenuSetting::EffectVolume,
           SettingStep::Up);
    b.step(MenuId::QuieterEffects, "quieterEffectsAction", "小さく(&Q)", {}, MenuSetting::EffectVolume,
           SettingStep::Down);
    b.step(MenuId::StandardEffects, "standardEffectsAction", "標準 100%(&S)", {}, MenuSetting::EffectVolume,
           SettingStep::Standard);

    b.top(MenuId::HelpMenu, "helpMenu", "説明(&H)");
    b.item(MenuId::HelpContents, "helpContentsAction", "目次(&I)", key(Key::F1));
    b.item(MenuId::About, "aboutAction", "バージョン情報(&A)");
    return b.entries;
}

const std::array<MenuEntry, kMenuIdCount> kEntries = buildEntries();

}  // namespace

std::string shortcutText(const Shortcut& shortcut) {
    std::string name;
    switch (shortcut.key) {
        case Key::None:
            return {};
        case Key::Letter:
            name = std::string(1, shortcut.letter);
            break;
        case Key::PageUp:
            name = "PageUp";
            break;
        case Key::Enter:
            name = "Enter";
            break;
        case Key::F1:
            name = "F1";
            break;
        case Key::F11:
            name = "F11";
            break;
    }
    // The order a browser's and Qt's key names take: Ctrl, Alt, Shift.
    return std::string(shortcut.ctrl ? "Ctrl+" : "") + (shortcut.alt ? "Alt+" : "") +
           (shortcut.shift ? "Shift+" : "") + name;
}

std::string_view settingName(MenuSetting setting) {
    switch (setting) {
        case MenuSetting::None:
            return {};
        case MenuSetting::Mid:
            return "mid";
        case MenuSetting::Wav:
            return "wav";
        case MenuSetting::Other:
            return "other";
        case MenuSetting::OldExe:
            return "oldExe";
        case MenuSetting::LowRes:
            return "lowRes";
        case MenuSetting::Contrast:
            return "contrast";
        case MenuSetting::Nonstop:
            return "nonstop";
        case MenuSetting::AutoAdvance:
            return "autoAdvance";
        case MenuSetting::Speech:
            return "speech";
        case MenuSetting::LineGap:
            return "gapTenths";
        case MenuSetting::RevealSpeed:
            return "revealSpeed";
        case MenuSetting::MusicVolume:
            return "musicVolume";
        case MenuSetting::EffectVolume:
            return "effectVolume";
    }
    return {};
}

bool MenuEntry::isStep() const {
    return setting == MenuSetting::LineGap || setting == MenuSetting::RevealSpeed ||
           setting == MenuSetting::MusicVolume || setting == MenuSetting::EffectVolume;
}

int stepAmount(MenuSetting setting, presentation::SettingStep step) {
    const int sign = static_cast<int>(step);
    return setting == MenuSetting::MusicVolume || setting == MenuSetting::EffectVolume ? sign * kVolumeStep
                                                                                       : sign;
}

int steppedVolume(int percent, presentation::SettingStep step) {
    if (step == presentation::SettingStep::Standard) {
        return sound::kFullVolume;
    }
    return sound::heldVolume(percent + stepAmount(MenuSetting::MusicVolume, step));
}

std::span<const MenuEntry, kMenuIdCount> menuEntries() {
    return kEntries;
}

const MenuEntry& menuEntry(MenuId id) {
    return kEntries[menuIndex(id)];
}

std::string plainCaption(std::string_view caption) {
    std::string out(caption);
    // "一時保存(&T)": the letter in brackets at the end goes; "&Open": only the mark goes.
    if (out.size() >= 4 && out.ends_with(")") && out[out.size() - 4] == '(' && out[out.size() - 3] == '&') {
        out.resize(out.size() - 4);
    } else if (const std::size_t at = out.find('&'); at != std::string::npos) {
        out.erase(at, 1);
    }
    return out;
}

MenuItemState menuItemState(MenuId id, const SessionFacts& s, const FrontEndFacts& f) {
    MenuItemState state;
    state.caption = std::string(menuEntry(id).caption);
    const presentation::GapItems gap = presentation::gapItemsFor(s.lineGapTenths);
    const presentation::SpeedItems speed = presentation::speedItemsFor(s.revealSpeed, s.options.revealAtOnce);
    switch (id) {
        case MenuId::Reopen:
        case MenuId::ReaderMap:
        case MenuId::ExportSaves:
        case MenuId::ImportSaves:
            state.enabled = s.projectKnown;
            break;
        case MenuId::QuickSave:
            state.enabled = s.quickSaveEnabled;
            break;
        case MenuId::QuickLoad:
            state.enabled = s.quickLoadEnabled;
            break;
        case MenuId::WiderGap:
            state.enabled = gap.wide;
            break;
        case MenuId::NarrowerGap:
            state.enabled = gap.narrow;
            break;
        case MenuId::StandardGap:
            state.enabled = gap.standard;
            break;
        case MenuId::SpeedMenu:
            state.caption = sjisToUtf8(presentation::speedCaptionSjis(s.revealSpeed, s.options.revealAtOnce));
            break;
        case MenuId::Slower:
            state.enabled = speed.slow;
            break;
        case MenuId::Faster:
            state.enabled = speed.fast;
            break;
        case MenuId::NormalSpeed:
            state.enabled = speed.normal;
            break;
        case MenuId::Nonstop:
            state.checked = s.options.revealAtOnce;
            break;
        case MenuId::Midi:
            state.checked = s.options.playMidi;
            break;
        case MenuId::Wav:
            state.checked = s.options.playWave;
            break;
        case MenuId::OtherMedia:
            state.checked = s.options.playOtherMedia;
            break;
        case MenuId::OldExe:
            state.checked = s.options.linesRunAsPrograms;
            break;
        case MenuId::LowRes:
            state.checked = s.options.lowColour;
            break;
        case MenuId::Contrast:
            state.checked = s.options.brightOutline;
            break;
        case MenuId::Balance:
            state.enabled = !f.sizeLocked;
            break;
        case MenuId::Backlog:
            state.enabled = s.backlogAvailable;
            state.shortcutActive = f.pageAtTop;
            break;
        case MenuId::Back:
            state.enabled = s.canGoBack;
            break;
        case MenuId::CopyText:
            state.enabled = s.hasPageText;
            break;
        case MenuId::AutoAdvance:
            state.checked = s.autoAdvance;
            break;
        case MenuId::Skip:
            state.checked = s.skipping;
            break;
        case MenuId::FullScreen:
            state.checked = f.fullScreen;
            break;
        case MenuId::Speech:
            state.checked = f.speech;
            break;
        // The volume menus name the volume they are at, as the speed menu names its speed.
        case MenuId::MusicVolumeMenu:
            state.caption += " " + std::to_string(s.musicVolume) + "%";
            break;
        case MenuId::EffectVolumeMenu:
            state.caption += " " + std::to_string(s.effectVolume) + "%";
            break;
        case MenuId::LouderMusic:
            state.enabled = s.musicVolume < sound::kFullVolume;
            break;
        case MenuId::QuieterMusic:
            state.enabled = s.musicVolume > 0;
            break;
        case MenuId::StandardMusic:
            state.enabled = s.musicVolume != sound::kFullVolume;
            break;
        case MenuId::LouderEffects:
            state.enabled = s.effectVolume < sound::kFullVolume;
            break;
        case MenuId::QuieterEffects:
            state.enabled = s.effectVolume > 0;
            break;
        case MenuId::StandardEffects:
            state.enabled = s.effectVolume != sound::kFullVolume;
            break;
        default:
            break;
    }
    return state;
}

}  // namespace vrk::app
