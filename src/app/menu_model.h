#pragma once
// The reader's menus, for every front end alike: the items with their captions, shortcuts and
// order, which are check marks and which only the web page shows, and the rules that enable and
// check them. The rules read plain facts (SessionFacts from the reading, FrontEndFacts from the
// front end's own window or page), so the window and the page cannot disagree about them.
//
//   menuEntries() --> the window builds its QMenus (menus.cpp), the page its menu bar (as JSON)
//   facts --> menuItemState(id) --> enabled, checked, and a caption that follows the facts

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "interpreter/engine_state.h"
#include "presentation/glyph_metrics.h"
#include "presentation/reading_settings.h"
#include "presentation/reveal.h"
#include "sound/sound_backend.h"

namespace vrk::app {

/// Every menu and item, in the order the menus show them.
enum class MenuId : std::uint8_t {
    FileMenu,
    Open,
    OpenFolder,
    Reopen,
    QuickSave,
    QuickLoad,
    PageSeparator,
    ExportSaves,
    ImportSaves,
    FileSeparator,
    Exit,
    SettingsMenu,
    Font,
    LineGapMenu,
    WiderGap,
    NarrowerGap,
    StandardGap,
    SpeedMenu,
    Slower,
    Faster,
    NormalSpeed,
    Nonstop,
    SoundMenu,
    Midi,
    Wav,
    OtherMedia,
    CompatibilityMenu,
    OldExe,
    LowRes,
    Contrast,
    Balance,
    ViewMenu,
    Backlog,
    Back,
    CopyText,
    ReaderMap,
    ViewSeparator,
    AutoAdvance,
    Skip,
    FullScreen,
    SpeechSeparator,
    Speech,
    VolumeSeparator,
    MusicVolumeMenu,
    LouderMusic,
    QuieterMusic,
    StandardMusic,
    EffectVolumeMenu,
    LouderEffects,
    QuieterEffects,
    StandardEffects,
    HelpMenu,
    HelpContents,
    About,
};
inline constexpr std::size_t kMenuIdCount = static_cast<std::size_t>(MenuId::About) + 1;

constexpr std::size_t menuIndex(MenuId id) {
    return static_cast<std::size_t>(id);
}

/// A key that carries out an item: Ctrl, Shift and Alt with a letter or a named key.
struct Shortcut {
    enum class Key : std::uint8_t { None, Letter, PageUp, Enter, F1, F11 };
    Key key = Key::None;
    char letter = 0;  ///< 'A'-'Z' for Key::Letter
    bool ctrl = false;
    bool shift = false;
    bool alt = false;
};

/// A shortcut as the menus write it and a browser names its keys: "Ctrl+Shift+C", "PageUp",
/// "Alt+Enter", "F11"; "" for none.
std::string shortcutText(const Shortcut& shortcut);

/// The setting an option item turns on and off, or steps.
enum class MenuSetting : std::uint8_t {
    None,
    Mid,
    Wav,
    Other,
    OldExe,
    LowRes,
    Contrast,
    Nonstop,
    AutoAdvance,
    Speech,
    LineGap,
    RevealSpeed,
    MusicVolume,
    EffectVolume,
};
/// The setting's name among the reader's options ("mid", "gapTenths", ...), "" for None.
std::string_view settingName(MenuSetting setting);

struct MenuEntry {
    enum class Kind : std::uint8_t { Menu, Item, Separator };
    Kind kind = Kind::Item;
    MenuId id{};
    /// The menu that holds it; a menu of the bar holds itself.
    MenuId parent{};
    /// Its name in the window's object tree and the page's document ("openAction").
    std::string_view name;
    /// UTF-8, the accelerator letter marked with "&".
    std::string_view caption;
    /// The key shown beside it, then any other that does the same.
    std::array<Shortcut, 2> shortcuts{};
    bool checkable = false;
    /// Shown by the web page only (it opens folders and keeps saves in the browser).
    bool pageOnly = false;
    /// What an option item changes: a check mark toggles its setting; a step item of the
    /// line gap, the speed or a volume makes `step`, and `setsStandard` says when that sets the
    /// standard value.
    MenuSetting setting = MenuSetting::None;
    presentation::SettingStep step = presentation::SettingStep::Standard;
    bool setsStandard = false;
    /// Its shortcut belongs to the item only while the page is scrolled to its top (PageUp:
    /// below the top it scrolls the page).
    bool shortcutAtTopOnly = false;

    bool isTop() const { return kind == Kind::Menu && parent == id; }
    /// A step item: its setting moves by `step` (stepAmount()) or goes back to its standard.
    bool isStep() const;
};

/// What one press of a step item adds to its setting: a tenth of the line gap, a step of the
/// speed, kVolumeStep of a volume.
int stepAmount(MenuSetting setting, presentation::SettingStep step);

/// A volume's step in the view menu, in percent.
inline constexpr int kVolumeStep = 10;
/// The volume after a press of a volume item: full, or a step louder or quieter within 0-100.
int steppedVolume(int percent, presentation::SettingStep step);

/// Every entry, in MenuId order: each menu before its items, items in the order shown.
std::span<const MenuEntry, kMenuIdCount> menuEntries();
const MenuEntry& menuEntry(MenuId id);

/// The caption without its accelerator, as a control elsewhere shows the item ("一時保存(&T)"
/// gives "一時保存").
std::string plainCaption(std::string_view caption);

/// How the reading stands, as the menus' rules need it; the reading session knows all of it.
struct SessionFacts {
    bool projectKnown = false;
    /// The story has not ended.
    bool scriptOpen = false;
    /// Enabled by the first opening and never disabled again.
    bool quickSaveEnabled = false;
    bool quickLoadEnabled = false;
    /// Going back one page is possible now (no run going on, a page to go back to).
    bool canGoBack = false;
    bool backlogAvailable = false;
    bool hasPageText = false;
    /// A run or the pause after it holds commands back.
    bool heldBack = false;
    bool autoAdvance = false;
    bool skipping = false;
    int revealSpeed = presentation::kStandardRevealSpeed;
    int lineGapTenths = presentation::kStandardLineGap;
    int musicVolume = sound::kFullVolume;
    int effectVolume = sound::kFullVolume;
    interpreter::EngineOptions options;
    bool operator==(const SessionFacts&) const = default;
};

/// What only the front end knows: its window or page.
struct FrontEndFacts {
    bool fullScreen = false;
    /// The reader cannot size the page now (maximised, minimised, full screen).
    bool sizeLocked = false;
    bool speech = false;
    /// The page is scrolled to its top (or cannot scroll).
    bool pageAtTop = true;
};

struct MenuItemState {
    bool enabled = true;
    bool checked = false;
    /// Its shortcut is the item's now.
    bool shortcutActive = true;
    /// The caption now: the speed menu names the speed it is at.
    std::string caption;
};

MenuItemState menuItemState(MenuId id, const SessionFacts& session, const FrontEndFacts& frontEnd);

/// The window's smallest size, in its own pixels.
inline constexpr int kMinWindowWidth = 320;
inline constexpr int kMinWindowHeight = 240;
/// The font dialog's range of sizes, in points; a stored size outside it is still used.
inline constexpr int kMinFontPoints = 8;
inline constexpr int kMaxFontPoints = 48;

}  // namespace vrk::app
