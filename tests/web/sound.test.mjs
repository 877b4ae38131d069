// The page's sound (web/page/sound.mjs) on a fake Web Audio and a fake synthesizer: which kind
// goes where, when ends are reported, the first gesture, and what is fetched for MIDI.
import assert from 'node:assert/strict';
import { beforeEach, test } from 'node:test';

import {
  closeSound,
  createSoundPort,
  expectSound,
  openSound,
  playSound,
  setSoundEnvironment,
  soundStats,
  synthesizerErrors,
} from '../../web/page/sound.mjs';
import { wave } from './wave_files.mjs';

const bytes = (text) => new TextEncoder().encode(text);
// A fake MIDI file: its fifth byte says for how many blocks it sounds, 0 for one the player
// cannot read.
const midi = (blocks) => new Uint8Array([0x4d, 0x54, 0x68, 0x64, blocks]);

let gestureNow = false; // a fake browser allows audio only inside a reader's gesture

class FakeContext extends EventTarget {
  constructor(state) {
    super();
    this.state = state;
    this.sampleRate = 44100;
    this.destination = {};
    this.decoded = [];
    this.sources = [];
    this.processor = null;
  }
  resume() {
    if (this.state !== 'running' && gestureNow) {
      this.state = 'running';
      this.dispatchEvent(new Event('statechange'));
    }
    return Promise.resolve();
  }
  decodeAudioData(buffer) {
    const text = new TextDecoder().decode(buffer);
    this.decoded.push(text);
    return text.startsWith('RIFF') || text.startsWith('OggS')
      ? Promise.resolve({ text })
      : Promise.reject(new Error('EncodingError'));
  }
  createBufferSource() {
    const source = {
      buffer: null,
      onended: null,
      started: false,
      stopped: false,
      connectedTo: null,
      connect: (node) => {
        source.connectedTo = node;
      },
      start: () => {
        source.started = true;
        this.sources.push(source);
      },
      stop: () => {
        source.stopped = true;
      },
    };
    return source;
  }
  createGain() {
    this.gain = { gain: { value: 1 }, connectedTo: null, connect: (node) => (this.gain.connectedTo = node) };
    return this.gain;
  }
  createBuffer(channels, length, rate) {
    const buffer = { made: [channels, length, rate], copied: [], copyToChannel: (data, i) => buffer.copied.push(i) };
    return buffer;
  }
  createScriptProcessor(frames, inputs, outputs) {
    assert.equal(outputs, 2);
    this.processor = { frames, onaudioprocess: null, connect() {} };
    return this.processor;
  }
  // One block of the synthesizer's output; returns its loudest sample.
  renderBlock() {
    const channels = [new Float32Array(8), new Float32Array(8)];
    this.processor.onaudioprocess({ outputBuffer: { getChannelData: (i) => channels[i] } });
    return Math.max(...channels[0], ...channels[1]);
  }
}

class FakeSynth {
  static made = 0;
  constructor() {
    FakeSynth.made += 1;
    this.blocksLeft = 0;
    this.playing = false;
  }
  init(rate) {
    this.rate = rate;
  }
  loadSFont(font) {
    this.font = font;
    return Promise.resolve(1);
  }
  resetPlayer() {
    this.song = null;
    this.playing = false;
    return Promise.resolve();
  }
  addSMFDataToPlayer(buffer) {
    this.song = new Uint8Array(buffer);
    return Promise.resolve();
  }
  playPlayer() {
    this.playing = true;
    this.blocksLeft = this.song[4];
    return Promise.resolve();
  }
  isPlayerPlaying() {
    return this.playing;
  }
  stopPlayer() {
    this.playing = false;
  }
  render([left, right]) {
    const sounding = this.playing && this.blocksLeft > 0;
    left.fill(sounding ? 0.25 : 0);
    right.fill(sounding ? 0.25 : 0);
    this.blocksLeft -= 1;
    this.playing = this.blocksLeft > 0;
  }
}

let contexts;
let fetches;
let gestures;

function useEnvironment({ state = 'running', audio = true } = {}) {
  contexts = [];
  fetches = 0;
  gestures = new EventTarget();
  FakeSynth.made = 0;
  setSoundEnvironment({
    createContext: () => {
      if (!audio) {
        return null;
      }
      const context = new FakeContext(state);
      contexts.push(context);
      return context;
    },
    loadSynthesizer: async () => ({ Synthesizer: FakeSynth }),
    fetchSoundFont: async () => {
      fetches += 1;
      return new ArrayBuffer(16);
    },
    gestureTarget: gestures,
    now: () => 0,
  });
}

const settle = () => new Promise((resolve) => setTimeout(resolve, 0));

// Records the ends of one playback; answers as an engine that still waits for it.
function recorder() {
  const ends = [];
  const onFinished = (completed) => {
    ends.push(completed);
    return true;
  };
  return { ends, onFinished };
}

function gesture(name = 'pointerdown') {
  gestureNow = true;
  gestures.dispatchEvent(new Event(name));
  gestureNow = false;
}

beforeEach(() => useEnvironment());

test('WAV and other audio are decoded by the browser; only MIDI loads the synthesizer, once', async () => {
  for (const [name, content, kind] of [
    ['HIT.WAV', 'RIFF....', 'wav'],
    ['THEME.OGG', 'OggS....', 'other'],
  ]) {
    assert.equal(openSound(name, bytes(content), kind), true);
    const { ends, onFinished } = recorder();
    playSound(onFinished);
    await settle();
    const source = contexts[0].sources.at(-1);
    assert.equal(source.buffer.text, content);
    source.onended();
    assert.deepEqual(ends, [true]);
  }
  // ADPCM, which browsers cannot decode, the page decodes itself.
  openSound(
    'VOICE.WAV',
    wave({ format: 0x11, rate: 11025, blockAlign: 8, extra: [9] }, [0, 0, 0, 0, 1, 2, 3, 4]),
    'wav',
  );
  playSound(() => true);
  await settle();
  assert.deepEqual(contexts[0].sources.at(-1).buffer.made, [1, 9, 11025]);
  assert.deepEqual(contexts[0].decoded, ['RIFF....', 'OggS....']);
  assert.equal(contexts.length, 1, 'one audio context for the page');
  assert.equal(soundStats().soundFontFetches, 0, 'a story without MIDI fetches no soundfont');
  assert.equal(contexts[0].processor, null);

  for (const song of [midi(3), midi(2)]) {
    openSound('SONG.MID', song, 'midi');
    playSound(() => true);
    await settle();
  }
  assert.equal(fetches, 1);
  assert.equal(FakeSynth.made, 1);
  assert.equal(soundStats().synthLoads, 1);
  assert.equal(soundStats().midiStarts, 2);
  assert.equal(contexts[0].decoded.length, 2, 'MIDI is never given to the decoder');
  // The engine may leave the kind out; the bytes tell MIDI then.
  openSound('BGM', midi(2));
  playSound(() => true);
  await settle();
  assert.equal(soundStats().midiStarts, 3);
});

test('every sound goes through the gain the engine sets, held within silence and full', async () => {
  const port = createSoundPort();
  port.setVolume(0.3);
  assert.equal(port.openSound('HIT.WAV', bytes('RIFF....'), 'wav'), true);
  port.playSound(() => true);
  await settle();
  const [context] = contexts;
  assert.equal(context.sources[0].connectedTo, context.gain);
  assert.equal(context.gain.gain.value, 0.3);
  assert.equal(context.gain.connectedTo, context.destination);
  port.setVolume(4);
  assert.equal(context.gain.gain.value, 1, 'the sound playing follows at once');
  // A player whose file is no longer the open one sets nothing.
  const other = createSoundPort();
  other.openSound('THEME.OGG', bytes('OggS....'), 'other');
  port.setVolume(0);
  assert.equal(soundStats().volume, 1);
  other.setVolume(-2);
  assert.equal(soundStats().volume, 0);
});

test('a playback reports its own end once, never after it was replaced or closed', async () => {
  openSound('HIT.WAV', bytes('RIFF....'), 'wav');
  const first = recorder();
  playSound(first.onFinished);
  await settle();
  const firstSource = contexts[0].sources[0];
  // Played again (a music repeat): the first one stops without a word.
  const second = recorder();
  playSound(second.onFinished);
  await settle();
  assert.equal(firstSource.stopped, true);
  assert.equal(firstSource.onended, null);
  const secondSource = contexts[0].sources[1];
  secondSource.onended();
  secondSource.onended();
  assert.deepEqual(first.ends, []);
  assert.deepEqual(second.ends, [true]);

  const third = recorder();
  playSound(third.onFinished);
  await settle();
  closeSound();
  assert.equal(contexts[0].sources[2].stopped, true);
  assert.deepEqual(third.ends, []);

  // Closed before the decoder answered: never started at all.
  openSound('LATE.WAV', bytes('RIFF....'), 'wav');
  playSound(recorder().onFinished);
  closeSound();
  await settle();
  assert.equal(contexts[0].sources.length, 3);

  // A file the browser cannot decode ends at once, as not completed.
  openSound('BROKEN.WAV', bytes('garbage'), 'wav');
  const broken = recorder();
  playSound(broken.onFinished);
  await settle();
  assert.deepEqual(broken.ends, [false]);
  assert.equal(soundStats().failures, 1);
  assert.equal(soundStats().endsTaken, 2);
});

test('MIDI ends in the block after its last note; one the player cannot read fails', async () => {
  openSound('SONG.MID', midi(2), 'midi');
  const song = recorder();
  playSound(song.onFinished);
  await settle();
  const context = contexts[0];
  assert.equal(context.renderBlock(), 0.25);
  assert.equal(context.renderBlock(), 0.25);
  assert.deepEqual(song.ends, []);
  assert.equal(context.renderBlock(), 0, 'cut where the file ends');
  assert.deepEqual(song.ends, [true]);
  assert.equal(context.renderBlock(), 0);
  assert.deepEqual(song.ends, [true]);
  assert.equal(soundStats().midiPeak, 0.25);

  // Replaced by a WAV mid-song: the synthesizer falls silent and the song's end never comes.
  const cut = recorder();
  playSound(cut.onFinished);
  await settle();
  context.renderBlock();
  openSound('HIT.WAV', bytes('RIFF....'), 'wav');
  assert.equal(context.renderBlock(), 0);
  assert.deepEqual(cut.ends, []);

  openSound('BAD.MID', midi(0), 'midi');
  const bad = recorder();
  playSound(bad.onFinished);
  await settle();
  context.renderBlock();
  assert.deepEqual(bad.ends, [false]);
});

test('audio waits for the first gesture; what was replaced meanwhile is never heard', async () => {
  useEnvironment({ state: 'suspended' });
  openSound('OLD.WAV', bytes('RIFF.old'), 'wav');
  const old = recorder();
  playSound(old.onFinished);
  openSound('SONG.MID', midi(5), 'midi');
  playSound(() => true);
  await settle();
  const context = contexts[0];
  assert.equal(context.state, 'suspended', 'no gesture yet');
  assert.equal(context.sources.length, 0);
  assert.equal(soundStats().midiStarts, 0);
  openSound('NEW.WAV', bytes('RIFF.new'), 'wav');
  const waiting = recorder();
  playSound(waiting.onFinished);
  await settle();

  gesture('keydown');
  await settle();
  assert.equal(context.state, 'running');
  assert.deepEqual(
    context.sources.map((s) => s.buffer.text),
    ['RIFF.new'],
  );
  assert.equal(soundStats().midiStarts, 0, 'the replaced MIDI never started');
  assert.deepEqual(old.ends, []);
  context.sources[0].onended();
  assert.deepEqual(waiting.ends, [true]);

  // Once running, gestures are no longer listened to.
  context.state = 'suspended';
  gesture();
  assert.equal(context.state, 'suspended');
});

test('a project with MIDI readies the synthesizer as it opens, and the first gesture starts the music', async () => {
  useEnvironment({ state: 'suspended' });
  expectSound({ sound: false, midi: false });
  assert.equal(contexts.length, 0, 'a project without sound files makes no audio context');
  expectSound({ sound: true, midi: false });
  await settle();
  assert.equal(contexts.length, 1);
  assert.equal(fetches, 0, 'WAV alone needs no synthesizer');

  expectSound({ sound: true, midi: true });
  await settle();
  assert.equal(fetches, 1, 'the soundfont is fetched before any MIDI file is asked for');
  assert.equal(FakeSynth.made, 1);
  assert.notEqual(contexts[0].processor, null);

  performance.clearMarks('vrk:first-sound');
  openSound('SONG.MID', midi(4), 'midi');
  playSound(() => true);
  await settle();
  assert.equal(soundStats().firstSound, null);
  // The fake resumes only inside the gesture: the handler itself must resume the context.
  gesture('keydown');
  await settle();
  assert.equal(contexts[0].state, 'running');
  assert.equal(contexts[0].renderBlock(), 0.25);
  assert.notEqual(soundStats().firstSound, null);
  assert.equal(performance.getEntriesByName('vrk:first-sound').length, 1);
  contexts[0].renderBlock();
  openSound('AGAIN.MID', midi(2), 'midi');
  playSound(() => true);
  await settle();
  contexts[0].renderBlock();
  assert.equal(performance.getEntriesByName('vrk:first-sound').length, 1, 'only the first sound is marked');
  assert.equal(fetches, 1);
  assert.equal(soundStats().synthLoads, 1);
});

test("a player left open can neither restart nor stop the next player's sound", async () => {
  const before = createSoundPort();
  const next = createSoundPort();
  before.openSound('OLD.MID', midi(9), 'midi');
  before.playSound(() => true);
  next.openSound('HIT.WAV', bytes('RIFF....'), 'wav');
  const hit = recorder();
  next.playSound(hit.onFinished);
  await settle();
  // The old story's music repeat and its closing arrive late.
  const stray = recorder();
  before.playSound(stray.onFinished);
  before.closeSound();
  await settle();
  const context = contexts[0];
  assert.equal(context.sources.length, 1);
  assert.equal(context.sources[0].stopped, false);
  context.sources[0].onended();
  assert.deepEqual(hit.ends, [true]);
  assert.deepEqual(stray.ends, []);
  assert.equal(soundStats().midiStarts, 0);
});

test('without Web Audio files open and play silently, never ending by themselves', async () => {
  useEnvironment({ audio: false });
  assert.equal(openSound('HIT.WAV', bytes('RIFF....'), 'wav'), true);
  const hit = recorder();
  playSound(hit.onFinished);
  openSound('SONG.MID', midi(1), 'midi');
  playSound(hit.onFinished);
  await settle();
  assert.deepEqual(hit.ends, []);
  assert.equal(soundStats().soundFontFetches, 0);
  assert.equal(soundStats().contextState, 'none');
});

test("the synthesizer's notices of its stubbed file checks are dropped, and only those", () => {
  const printed = [];
  const { error } = console;
  console.error = (text) => printed.push(text);
  try {
    synthesizerErrors('fluidsynth: error: function fluid_file_test is a stub, always returning true');
    synthesizerErrors('fluidsynth: error: function fluid_stat is a stub, always returning -1');
    synthesizerErrors('fluidsynth: error: Not a SoundFont file');
    synthesizerErrors('fluidsynth: error: function fluid_stat is a stub, always returning -1 and more');
    synthesizerErrors('fluidsynth: error: function fluid_thread_create is a stub, always returning true');
  } finally {
    console.error = error;
  }
  assert.deepEqual(printed, [
    'fluidsynth: error: Not a SoundFont file',
    'fluidsynth: error: function fluid_stat is a stub, always returning -1 and more',
    'fluidsynth: error: function fluid_thread_create is a stub, always returning true',
  ]);
});
