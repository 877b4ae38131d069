// What the page takes from the C++ side rather than deciding for itself (src/app/page_model.h):
// the menus and the rules that enable and check their items, the options' defaults and limits,
// the settings-file number parser, the faces the page serves and which one draws a stored face
// name, and the window's sizes. The page's module holds them; the page reads them once it is made.

let current = null;

/// Takes the model from a page module (createVrk3()); every later call reads it.
export function useModel(module) {
  const data = JSON.parse(module.pageModel());
  current = Object.freeze({
    ...data,
    /// { [item id]: { enabled, checked, shortcut, caption } } for the reading's facts and the page's own.
    menuStates: (session, frontEnd) => JSON.parse(module.menuStates(session, frontEnd)),
    /// A settings-file number (signed decimal or 0x hexadecimal within 32 bits), or null.
    settingsNumber: (text) => module.settingsNumber(text),
    /// The served family that draws a stored face name.
    servedFamily: (name) => module.servedFamily(name),
    /// The fixed-pitch family the font dialog shows chosen for a stored face name.
    offeredFamily: (name) => module.offeredFamily(name),
    /// The page size the 4:3 balance sets from the text area: { width, height }, the scroll bar's
    /// width added to the width.
    balance4to3: (width, height, scrollBar) => {
      const [w, h] = module.balance4to3(width, height, scrollBar);
      return { width: w, height: h };
    },
  });
  return current;
}

/// The model; an error until useModel has run, since nothing the page shows can do without it.
export function model() {
  if (!current) throw new Error('the page model is not loaded yet');
  return current;
}
