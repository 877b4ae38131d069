// The page's sound: MIDI through a synthesizer in the page, WAV and other audio through Web
// Audio. The engine's sound channel decides what plays; this only plays one file at a time.

/// Opens PATH (bytes in the player's files) for playing; false when it cannot be played.
export function openSound(path, bytes) {
  void path;
  void bytes;
  return false;
}

/// Plays what openSound opened; ONFINISHED() runs when it ends by itself.
export function playSound(onFinished) {
  void onFinished;
}

export function closeSound() {}
