// The reader's options in the browser: the desktop's vrk.ini entries under the same meaning,
// kept in local storage so that they outlive the page. What comes back from storage is read the
// way the desktop reads its file: a value that is missing or not a number keeps its default, the
// speed outside its range falls back to the standard one and the line gap and the volumes are
// held within their ranges. Defaults, ranges and the number parser are the desktop's own (the page model).
import { model } from './model.mjs';

export const kOptionsKey = 'vrk3.options';

/// The options as the window has them before any settings file.
export function defaultOptions() {
  return { ...model().defaults };
}

const kFlags = [
  'bold',
  'italic',
  'mid',
  'wav',
  'other',
  'oldExe',
  'lowRes',
  'contrast',
  'nonstop',
  'autoAdvance',
  'speech',
];

/// A settings-file number: an integer, or text as the settings file spells numbers, within 32
/// bits; null for anything else.
export function profileInteger(value) {
  if (typeof value === 'number') {
    return Number.isInteger(value) && value >= -0x80000000 && value <= 0x7fffffff ? value : null;
  }
  return typeof value === 'string' ? model().settingsNumber(value) : null;
}

function flag(value, fallback) {
  if (typeof value === 'boolean') {
    return value;
  }
  const number = profileInteger(value);
  return number === null ? fallback : number !== 0;
}

/// The options as the player uses them, from whatever was stored: unknown keys are dropped and
/// every known one is checked as the desktop checks its settings file.
export function validateOptions(stored) {
  const { defaults, limits } = model();
  const kept = stored !== null && typeof stored === 'object' && !Array.isArray(stored) ? stored : {};
  const options = { ...defaults };
  for (const key of kFlags) {
    options[key] = flag(kept[key], defaults[key]);
  }
  if (typeof kept.fontName === 'string' && kept.fontName.length <= limits.fontNameLength) {
    options.fontName = kept.fontName;
  }
  // The desktop applies any positive size; zero or less leaves the face at its own size.
  const size = profileInteger(kept.fontSize);
  if (size !== null && size > 0) {
    options.fontSize = size;
  }
  const speed = profileInteger(kept.revealSpeed);
  if (speed !== null) {
    const { min, max } = limits.revealSpeed;
    options.revealSpeed = speed >= min && speed <= max ? speed : defaults.revealSpeed;
  }
  for (const key of ['gapTenths', 'musicVolume', 'effectVolume']) {
    const value = profileInteger(kept[key]);
    if (value !== null) {
      const { min, max } = limits[key];
      options[key] = Math.min(max, Math.max(min, value));
    }
  }
  return options;
}

const listeners = new Set();

export function loadOptions(storage = globalThis.localStorage) {
  let text = null;
  try {
    text = storage?.getItem(kOptionsKey) ?? null;
  } catch {
    // Storage the browser refuses (a privacy setting) gives the defaults, like a missing file.
  }
  if (text === null) {
    return defaultOptions();
  }
  try {
    return validateOptions(JSON.parse(text));
  } catch {
    return defaultOptions();
  }
}

/// Keeps the options (checked first, so that storage only ever holds what loadOptions reads back
/// unchanged) and tells the listeners. False when the browser would not keep them; the page goes
/// on with them for this visit, as the desktop does with a settings file it cannot write.
export function saveOptions(options, storage = globalThis.localStorage) {
  const checked = validateOptions(options);
  let kept = true;
  try {
    storage?.setItem(kOptionsKey, JSON.stringify(checked));
  } catch {
    kept = false;
  }
  for (const listener of listeners) listener(checked);
  return kept;
}

/// LISTENER(options) runs after every saveOptions, with the options as they were kept, and when
/// the page open in another tab of the same site changes them.
export function onOptionsChanged(listener) {
  listeners.add(listener);
  return () => listeners.delete(listener);
}

globalThis.addEventListener?.('storage', (event) => {
  if (event.key === kOptionsKey) {
    const options = loadOptions();
    for (const listener of listeners) listener(options);
  }
});

/// The option a menu item changes, as its model entry says: a check mark turns its setting
/// over; a step item adds its step, or sets the standard value.
export function optionsAfter(item, options) {
  if (item.checkable && item.setting) {
    return { ...options, [item.setting]: !options[item.setting] };
  }
  if (item.step !== undefined && item.setting) {
    const value = item.setsStandard ? model().defaults[item.setting] : options[item.setting] + item.step;
    return { ...options, [item.setting]: value };
  }
  return options;
}
