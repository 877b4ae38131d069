// The reader's options in the browser: the desktop's vrk.ini entries under the same meaning,
// kept in local storage so that they outlive the page.
export const kOptionsKey = 'vrk3.options';

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
  revealSpeed: 2,
  nonstop: false,
  gapTenths: 12,
  autoAdvance: false,
});

const listeners = new Set();

export function loadOptions(storage = globalThis.localStorage) {
  try {
    const kept = JSON.parse(storage?.getItem(kOptionsKey) ?? '{}');
    return { ...kDefaultOptions, ...kept };
  } catch {
    return { ...kDefaultOptions };
  }
}

export function saveOptions(options, storage = globalThis.localStorage) {
  storage?.setItem(kOptionsKey, JSON.stringify(options));
  for (const listener of listeners) listener(options);
}

/// LISTENER(options) runs after every saveOptions.
export function onOptionsChanged(listener) {
  listeners.add(listener);
  return () => listeners.delete(listener);
}
