// The reader's options in the browser: the desktop's vrk.ini entries under the same meaning,
// kept in local storage so that they outlive the page. What comes back from storage is read the
// way the desktop reads its file: a value that is missing or not a number keeps its default, the
// speed above 5 falls back to 2 and the line gap is held within 1.0-2.0.
export const kOptionsKey = 'vrk3.options';

export const kDefaultSpeed = 2;
export const kMaxSpeed = 5;
export const kDefaultGapTenths = 12;
export const kMinGapTenths = 10;
export const kMaxGapTenths = 20;
/// The font dialog's range; a stored size outside it is still used, as on the desktop.
export const kMinFontPoints = 8;
export const kMaxFontPoints = 48;
// The desktop hands out at most this many bytes of a text value; a longer name is no face.
const kMaxFontNameLength = 1023;

export const kDefaultOptions = Object.freeze({
  fontName: 'ＭＳ 明朝',
  fontSize: 16,
  bold: true,
  italic: true,
  mid: true,
  wav: true,
  other: true,
  oldExe: false,
  lowRes: false,
  contrast: false,
  revealSpeed: kDefaultSpeed,
  nonstop: false,
  gapTenths: kDefaultGapTenths,
  autoAdvance: false,
  speech: false,
});

const kFlags = ['bold', 'italic', 'mid', 'wav', 'other', 'oldExe', 'lowRes', 'contrast', 'nonstop', 'autoAdvance',
  'speech'];

/// A settings-file number: an integer, or text with an optional sign and decimal digits or
/// "0x" and hexadecimal digits (0xFFFFFFFF is -1), within 32 bits; null for anything else.
export function profileInteger(value) {
  if (typeof value === 'number') {
    return Number.isInteger(value) && value >= -0x80000000 && value <= 0x7fffffff ? value : null;
  }
  if (typeof value !== 'string') {
    return null;
  }
  const match = /^[ \t]*([-+]?)(?:(0[xX])([0-9a-fA-F]+)|([0-9]+))[ \t]*$/.exec(value);
  if (!match) {
    return null;
  }
  const [, sign, hexPrefix, hexDigits, decimalDigits] = match;
  let magnitude = hexPrefix ? Number.parseInt(hexDigits, 16) : Number.parseInt(decimalDigits, 10);
  // Hexadecimal may spell the full 32-bit pattern, decimal only what fits a signed number.
  if (magnitude > (hexPrefix ? 0xffffffff : 0x80000000)) {
    return null;
  }
  if (hexPrefix && magnitude > 0x7fffffff) {
    magnitude -= 0x100000000;
  }
  const result = sign === '-' ? -magnitude : magnitude;
  return result >= -0x80000000 && result <= 0x7fffffff ? result : null;
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
  const kept = stored !== null && typeof stored === 'object' && !Array.isArray(stored) ? stored : {};
  const options = { ...kDefaultOptions };
  for (const key of kFlags) {
    options[key] = flag(kept[key], kDefaultOptions[key]);
  }
  if (typeof kept.fontName === 'string' && kept.fontName.length <= kMaxFontNameLength) {
    options.fontName = kept.fontName;
  }
  // The desktop applies any positive size; zero or less leaves the face at its own size.
  const size = profileInteger(kept.fontSize);
  if (size !== null && size > 0) {
    options.fontSize = size;
  }
  const speed = profileInteger(kept.revealSpeed);
  if (speed !== null) {
    options.revealSpeed = speed >= 0 && speed <= kMaxSpeed ? speed : kDefaultSpeed;
  }
  const gap = profileInteger(kept.gapTenths);
  if (gap !== null) {
    options.gapTenths = Math.min(kMaxGapTenths, Math.max(kMinGapTenths, gap));
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
    return { ...kDefaultOptions };
  }
  try {
    return validateOptions(JSON.parse(text));
  } catch {
    return { ...kDefaultOptions };
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

// The menu rules for speed and line gap, the same as the desktop's: no speed item while nonstop
// is on, and each step stays within its range.

/// Which of slower, faster and standard speed are available.
export function speedItemsFor(revealSpeed, nonstop) {
  if (nonstop) {
    return { slow: false, fast: false, normal: false };
  }
  return { slow: revealSpeed < kMaxSpeed, fast: revealSpeed > 1, normal: revealSpeed !== kDefaultSpeed };
}

/// Tag 0 sets the standard speed; 1 (slower) and -1 (faster) are added.
export function applySpeedTag(revealSpeed, tag) {
  return tag === 0 ? kDefaultSpeed : revealSpeed + tag;
}

/// The speed submenu's caption: "描画速度(&P) N", or "描画速度(&P) 最速" while nonstop.
export function speedCaption(revealSpeed, nonstop) {
  return `描画速度(&P) ${nonstop ? '最速' : String(revealSpeed)}`;
}

/// Which of wider, narrower and standard gap are available.
export function gapItemsFor(gapTenths) {
  return { wide: gapTenths < kMaxGapTenths, narrow: gapTenths > kMinGapTenths, standard: gapTenths !== kDefaultGapTenths };
}

/// Tag 0 sets 1.2; 1 widens and -1 narrows by a tenth.
export function applyGapTag(gapTenths, tag) {
  return tag === 0 ? kDefaultGapTenths : gapTenths + tag;
}

/// The page's own fixed-pitch Japanese faces, the ones the font dialog offers.
export const kServedFonts = Object.freeze(['IPAGothic', 'IPAMincho']);

// Faces of stored settings that the page does not have, with the served face that stands in.
// Names are compared with full-width letters made half-width, spaces dropped and lower case.
const kCounterparts = new Map([
  ['ms明朝', 'IPAMincho'], ['msmincho', 'IPAMincho'], ['msp明朝', 'IPAMincho'], ['mspmincho', 'IPAMincho'],
  ['msゴシック', 'IPAGothic'], ['msgothic', 'IPAGothic'], ['mspゴシック', 'IPAGothic'], ['mspgothic', 'IPAGothic'],
  ['msuigothic', 'IPAGothic'], ['fixedsys', 'IPAGothic'], ['terminal', 'IPAGothic'],
  ['ipa明朝', 'IPAMincho'], ['ipamincho', 'IPAMincho'], ['ipaゴシック', 'IPAGothic'], ['ipagothic', 'IPAGothic'],
]);

function normalisedFace(name) {
  let out = '';
  for (const c of name) {
    let code = c.codePointAt(0);
    if (code >= 0xff01 && code <= 0xff5e) code -= 0xfee0;
    if (code === 0x20 || code === 0x3000) continue;
    out += String.fromCodePoint(code).toLowerCase();
  }
  return out;
}

/// The served face that draws a stored font name: its counterpart, the face itself when
/// served, else the first served face (fixed pitch, so the page's cell grid holds).
export function fontFamilyFor(fontName, served = kServedFonts) {
  const counterpart = kCounterparts.get(normalisedFace(fontName ?? ''));
  if (counterpart && served.includes(counterpart)) return counterpart;
  const own = served.find((face) => normalisedFace(face) === normalisedFace(fontName ?? ''));
  return own ?? served[0];
}
