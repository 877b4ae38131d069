// The page's dialogs: the slot picker, the name box and the about box. Each resolves when the
// reader closes it.

/// SLOTS: four { caption, comment } from the slot files (comment "" for a free slot).
/// Resolves to { slot: 1-4, erase: false } or { slot, erase: true } for the erase button.
export async function chooseSlot(slots, selected = 1) {
  void slots;
  return { slot: selected, erase: false };
}

/// Resolves to the name typed (at most 16 Shift-JIS bytes), or defaultName when left as it is.
export async function enterName(prompt, defaultName) {
  void prompt;
  return defaultName;
}

/// CAPTION and COMMENT as the desktop's about box shows them.
export async function showAbout(caption, comment) {
  void caption;
  void comment;
}
