// The page's sound: MIDI through a synthesizer in the page (FluidSynth in WebAssembly with the
// TimGM6mb soundfont), WAV and other audio through Web Audio. The engine's sound channel decides
// what plays, which kinds are switched off and when music repeats; this plays one file at a time
// and says when it ended by itself.
//
// Browsers keep a page silent until the reader first clicks or presses a key on it. A sound asked
// for before then waits and starts at that first gesture, from its beginning; one stopped or
// replaced meanwhile is never heard. Until it starts the engine sees it playing, as it would a long
// sound: the music of a story opened before the reader touched the page is not lost, and the
// story goes on as it would. (Opening a story is a click itself, so usually nothing waits.)
//
// A project that holds sound files makes the audio context as it opens (expectSound), so that
// the reader's first gesture resumes it inside the gesture's own handler and the engine's first
// sound finds it running; one whose files hold MIDI loads the synthesizer and the soundfont then
// too, rather than at its first MIDI file, which would keep the music a second from the gesture
// that let it play in Firefox. A story without music never loads them.

import { decodeAdpcmWave } from './wave.mjs';

const kSoundFontFile = 'TimGM6mb.sf2';
const kSynthScripts = ['libfluidsynth.js', 'js-synthesizer.min.js'];
// About 93 ms at 44.1 kHz: enough that a page run on the same thread does not starve the music.
const kMidiBlockFrames = 4096;
const kGestures = ['pointerdown', 'keydown', 'touchend'];

function loadScript(url) {
  return new Promise((resolve, reject) => {
    const script = document.createElement('script');
    script.src = url;
    script.onload = resolve;
    script.onerror = () => reject(new Error(`cannot load ${url}`));
    document.head.append(script);
  });
}

// FluidSynth built for the web has no file system calls of its own: at the first soundfont and
// song it is handed it reports, as errors, that its file checks are stubs ("function
// fluid_file_test is a stub, always returning true", the same for fluid_stat). js-synthesizer
// hands it both from memory, where those checks have nothing to find, so these and only these
// are dropped; anything else it reports still reaches the console.
const kStubNotice = /^fluidsynth: error: function fluid_(file_test|stat) is a stub, always returning \S+$/;

/// The synthesizer's error printer: the two stub notices are dropped, the rest go to the console.
export function synthesizerErrors(text) {
  if (!kStubNotice.test(text)) console.error(text);
}

// The synthesizer's scripts are classic ones (its WebAssembly is inside the first); they make
// the global JSSynth. The first is an Emscripten module that takes its settings from the global
// Module it finds (and keeps that name); its error printer is the one set here.
async function loadSynthesizerScripts() {
  globalThis.Module = { ...globalThis.Module, printErr: synthesizerErrors };
  for (const file of kSynthScripts) {
    await loadScript(new URL(file, import.meta.url).href);
  }
  await globalThis.JSSynth.waitForReady();
  return globalThis.JSSynth;
}

async function fetchSoundFont() {
  const response = await fetch(new URL(kSoundFontFile, import.meta.url));
  if (!response.ok) {
    throw new Error(`${kSoundFontFile}: ${response.status}`);
  }
  return response.arrayBuffer();
}

const defaults = {
  createContext: () => (typeof AudioContext === 'undefined' ? null : new AudioContext()),
  loadSynthesizer: loadSynthesizerScripts,
  fetchSoundFont,
  gestureTarget: globalThis.document ?? null,
  now: () => performance.now(),
  // What fetching the synthesizer waits for (a published story's first text: holdSoundUntil).
  ready: () => Promise.resolve(),
};

let env = { ...defaults };
let context = null; // made at the first sound; null while none was asked for
let noAudio = false; // the browser has no Web Audio: everything plays silently
let runningWaiters = []; // starts waiting for the first gesture
let listening = false;
let synthesizer = null; // Promise of { synth, node } once the first MIDI file was opened
let current = null; // the open file: { path, kind, bytes, decoded, playback }
let rendering = null; // the MIDI playback the synthesizer renders
let stats = freshStats();
let volume = 1; // the engine's loudness for what plays, 0-1
let output = null; // the gain every sound goes through, made with the context
let outputContext = null;

// Music and effects go through one gain: the engine sets it for each playback as it starts.
function outputNode() {
  if (outputContext !== context) {
    outputContext = context;
    output = context.createGain();
    output.gain.value = volume;
    output.connect(context.destination);
  }
  return output;
}

function setVolume(level) {
  volume = Number.isFinite(level) ? Math.min(1, Math.max(0, level)) : 1;
  if (output && outputContext === context) output.gain.value = volume;
}

function freshStats() {
  return {
    starts: 0, // playbacks that began to sound
    ends: 0, // ends reported to the engine (by themselves or failed to start)
    endsTaken: 0, // of those, the ones the engine still waited for
    failures: 0, // playbacks that could not start
    midiStarts: 0,
    synthLoads: 0,
    soundFontFetches: 0,
    midiPeak: 0, // the loudest sample the synthesizer rendered
    firstMidiRequest: null,
    firstMidiSound: null,
    firstSound: null, // when the first playback began to sound (performance mark vrk:first-sound)
    lastStart: null, // when the last playback began to sound
    lastEnd: null, // when the last end was reported
  };
}

// The first playback to sound marks the performance timeline: how long music took from the
// reader's gesture is read from there, by the tests and by a site's own monitoring.
function markFirstSound() {
  if (stats.firstSound === null) {
    stats.firstSound = env.now();
    globalThis.performance?.mark?.('vrk:first-sound');
  }
}

function live(playback) {
  return current !== null && current.playback === playback && !playback.done;
}

function copyOf(bytes) {
  return bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.byteLength);
}

function finish(playback, completed) {
  if (!live(playback)) {
    return;
  }
  playback.done = true;
  stats.ends += 1;
  stats.lastEnd = env.now();
  if (!completed) {
    stats.failures += 1;
  }
  if (playback.onFinished && playback.onFinished(completed)) {
    stats.endsTaken += 1;
  }
}

function wakeWaiters() {
  if (context && context.state === 'running') {
    const waiters = runningWaiters;
    runningWaiters = [];
    waiters.forEach((wake) => wake());
    stopListening();
  }
}

function onGesture() {
  if (context && context.state !== 'running') {
    Promise.resolve(context.resume()).then(wakeWaiters, () => {});
  }
}

function startListening() {
  if (!listening && env.gestureTarget) {
    listening = true;
    kGestures.forEach((name) => env.gestureTarget.addEventListener(name, onGesture, { capture: true }));
  }
}

function stopListening() {
  if (listening) {
    listening = false;
    kGestures.forEach((name) => env.gestureTarget.removeEventListener(name, onGesture, { capture: true }));
  }
}

function audioContext() {
  if (!context && !noAudio) {
    context = env.createContext();
    noAudio = !context;
    if (context) {
      context.addEventListener('statechange', wakeWaiters);
      startListening();
      // Allowed already when the page has had its gesture (or the browser allows autoplay).
      Promise.resolve(context.resume()).then(wakeWaiters, () => {});
    }
  }
  return context;
}

function whenRunning() {
  if (context.state === 'running') {
    return Promise.resolve();
  }
  return new Promise((resolve) => runningWaiters.push(resolve));
}

function renderMidi(event, synth) {
  const left = event.outputBuffer.getChannelData(0);
  const right = event.outputBuffer.getChannelData(1);
  const playback = rendering;
  if (!playback || !live(playback)) {
    rendering = null;
    left.fill(0);
    right.fill(0);
    return;
  }
  if (playback.rendered && !synth.isPlayerPlaying()) {
    // Cut where the file ends, as the window's player does: the next block is silence.
    rendering = null;
    left.fill(0);
    right.fill(0);
    finish(playback, true);
    return;
  }
  synth.render([left, right]);
  if (!playback.rendered) {
    playback.rendered = true;
    // The player reads the file in its first block; one it could not read has stopped there,
    // and the window's player refuses such a file.
    if (!synth.isPlayerPlaying()) {
      rendering = null;
      finish(playback, false);
      return;
    }
    // Its first block is the music's first sound; the playback counted as started already.
    markFirstSound();
  }
  let peak = 0;
  for (let i = 0; i < left.length; ++i) {
    peak = Math.max(peak, Math.abs(left[i]), Math.abs(right[i]));
  }
  stats.midiPeak = Math.max(stats.midiPeak, peak);
  if (peak > 0 && stats.firstMidiSound === null) {
    stats.firstMidiSound = env.now();
  }
}

async function makeSynthesizer() {
  stats.synthLoads += 1;
  stats.soundFontFetches += 1;
  await env.ready();
  const [JSSynth, font] = await Promise.all([env.loadSynthesizer(), env.fetchSoundFont()]);
  const synth = new JSSynth.Synthesizer();
  synth.init(context.sampleRate);
  await synth.loadSFont(font);
  const node = context.createScriptProcessor(kMidiBlockFrames, 0, 2);
  node.onaudioprocess = (event) => renderMidi(event, synth);
  node.connect(outputNode());
  return { synth, node };
}

function ensureSynthesizer() {
  if (!synthesizer) {
    synthesizer = makeSynthesizer();
    // A failed load is tried again at the next MIDI file, not every time a music repeats.
    synthesizer.catch(() => {
      synthesizer = null;
    });
  }
  return synthesizer;
}

function stopPlayback(playback) {
  if (!playback) {
    return;
  }
  playback.done = true;
  if (playback.source) {
    playback.source.onended = null;
    try {
      playback.source.stop();
    } catch {
      // Never started: nothing sounds.
    }
  }
  if (rendering === playback) {
    rendering = null;
    playback.synth.stopPlayer();
  }
}

async function startMidi(entry, playback) {
  let made;
  try {
    made = await entry.synthesizer;
  } catch {
    finish(playback, false);
    return;
  }
  await whenRunning();
  if (!live(playback)) {
    return;
  }
  const { synth } = made;
  try {
    // The player's calls finish at once; each playback gets a player of its own.
    await synth.resetPlayer();
    await synth.addSMFDataToPlayer(copyOf(entry.bytes));
    await synth.playPlayer();
  } catch {
    finish(playback, false);
    return;
  }
  if (rendering && rendering !== playback) {
    rendering = null;
  }
  playback.synth = synth;
  rendering = playback;
  stats.starts += 1;
  stats.midiStarts += 1;
  stats.lastStart = env.now();
}

async function startDecoded(entry, playback) {
  const buffer = await entry.decoded;
  if (!buffer) {
    finish(playback, false);
    return;
  }
  await whenRunning();
  if (!live(playback)) {
    return;
  }
  const source = context.createBufferSource();
  source.buffer = buffer;
  source.connect(outputNode());
  source.onended = () => finish(playback, true);
  playback.source = source;
  source.start();
  stats.starts += 1;
  stats.lastStart = env.now();
  markFirstSound();
}

// The browser decodes what it knows; the ADPCM WAVE files it does not know, the page does.
function decode(ctx, bytes) {
  const adpcm = decodeAdpcmWave(bytes);
  if (!adpcm) {
    return ctx.decodeAudioData(copyOf(bytes));
  }
  const buffer = ctx.createBuffer(adpcm.channels.length, adpcm.channels[0].length, adpcm.sampleRate);
  adpcm.channels.forEach((samples, i) => buffer.copyToChannel(samples, i));
  return buffer;
}

function kindOf(bytes) {
  const midi = bytes.length >= 4 && bytes[0] === 0x4d && bytes[1] === 0x54 && bytes[2] === 0x68 && bytes[3] === 0x64;
  return midi ? 'midi' : 'other';
}

function open(owner, path, bytes, kind) {
  closeCurrent();
  const entry = { owner, path, kind, bytes, decoded: null, synthesizer: null, playback: null };
  current = entry;
  const ctx = audioContext();
  if (!ctx) {
    return true; // no Web Audio here: silent, like the window without a sound device
  }
  if (kind === 'midi') {
    if (stats.firstMidiRequest === null) {
      stats.firstMidiRequest = env.now();
    }
    entry.synthesizer = ensureSynthesizer();
    entry.synthesizer.catch(() => {});
  } else {
    // Decoded at once, so that an effect starts without waiting; music reuses it for each repeat.
    entry.decoded = Promise.resolve()
      .then(() => decode(ctx, bytes))
      .catch(() => null);
  }
  return true;
}

function play(onFinished) {
  stopPlayback(current.playback);
  const playback = { onFinished, done: false, source: null, synth: null, rendered: false };
  current.playback = playback;
  if (!context) {
    return; // silent: never ends by itself
  }
  (current.kind === 'midi' ? startMidi : startDecoded)(current, playback);
}

function closeCurrent() {
  if (current) {
    stopPlayback(current.playback);
    current = null;
  }
}

/// The three calls below for one player of the page. A player's calls act only on the file it
/// opened itself: a story left open when the next one opened can neither restart nor stop the
/// next story's sound (its music repeat may still be on its way).
export function createSoundPort() {
  const port = {};
  port.openSound = (path, bytes, kind = kindOf(bytes)) => open(port, path, bytes, kind);
  port.playSound = (onFinished) => {
    if (current && current.owner === port) {
      play(onFinished);
    }
  };
  port.closeSound = () => {
    if (current && current.owner === port) {
      closeCurrent();
    }
  };
  // LEVEL 0-1, for what plays and what plays next.
  port.setVolume = (level) => {
    if (!current || current.owner === port) {
      setVolume(level);
    }
  };
  return port;
}

const pagePort = createSoundPort();

/// Opens PATH (bytes in the player's files) for playing; false when it cannot be played. KIND is
/// 'midi', 'wav' or 'other' (told by the engine; from the bytes when not given).
export function openSound(path, bytes, kind = kindOf(bytes)) {
  return pagePort.openSound(path, bytes, kind);
}

/// Plays what openSound opened from its beginning; ONFINISHED(completed) runs once when it ends
/// by itself (true) or could not start (false), never after it was replaced or closed. Its answer
/// says whether the engine still waited for that end.
export function playSound(onFinished) {
  pagePort.playSound(onFinished);
}

/// Stops and drops the open file, whichever player opened it; its end is never reported.
export function closeSound() {
  closeCurrent();
}

/// Readies the sound for a project about to open: the audio context now, resumed by the reader's
/// first gesture if the page has had none yet; with MIDI, the synthesizer and the soundfont too
/// (still held by holdSoundUntil). Nothing for a project without sound files.
export function expectSound({ sound = false, midi = false } = {}) {
  if (!sound && !midi) {
    return;
  }
  if (audioContext() && midi) {
    ensureSynthesizer().catch(() => {});
  }
}

/// What the sound did so far, for tests and figures.
export function soundStats() {
  return { ...stats, contextState: context ? context.state : 'none', open: current !== null, volume };
}

/// Holds fetching the synthesizer and the soundfont until PROMISE settles: a page that opens a
/// story at once keeps its line for the first text.
export function holdSoundUntil(promise) {
  env.ready = () => promise;
}

/// Replaces the browser's parts (audio context, synthesizer scripts, soundfont, where gestures
/// are heard) and forgets everything played; for tests.
export function setSoundEnvironment(overrides = {}) {
  closeCurrent();
  stopListening();
  env = { ...defaults, ...overrides };
  context = null;
  noAudio = false;
  runningWaiters = [];
  synthesizer = null;
  rendering = null;
  stats = freshStats();
  volume = 1;
  output = null;
  outputContext = null;
}
