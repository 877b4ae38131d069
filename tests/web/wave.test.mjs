// ADPCM WAVE decoding (web/page/wave.mjs): the real IMA file against its PCM twin, and small
// Microsoft ADPCM blocks worked out by hand.
import assert from 'node:assert/strict';
import { existsSync, readFileSync } from 'node:fs';
import { dirname, join, resolve } from 'node:path';
import { test } from 'node:test';
import { fileURLToPath } from 'node:url';

import { decodeAdpcmWave } from '../../web/page/wave.mjs';
import { wave } from './wave_files.mjs';

const root = join(dirname(fileURLToPath(import.meta.url)), '..', '..');
const testdata = resolve(process.env.VRK_TESTDATA_DIR ?? join(root, '..', 'shared', 'testdata'));
const generated = join(testdata, 'sound', 'wav', 'generated');

const kMsCoefficients = [256, 0, 512, -256, 0, 0, 192, 64, 240, 0, 460, -208, 392, -232];
const ms = (channels, blockAlign, samplesPerBlock) => ({
  format: 2,
  channels,
  blockAlign,
  extra: [samplesPerBlock, 7, ...kMsCoefficients],
});
const int16 = (value) => [value & 0xff, (value >> 8) & 0xff];
const samples = (decoded) => decoded.channels.map((c) => Array.from(c, (s) => Math.round(s * 32768)));

test(
  'IMA ADPCM speech decodes to its PCM twin',
  { skip: existsSync(generated) ? false : `test data not found at ${generated}` },
  () => {
    const adpcm = decodeAdpcmWave(readFileSync(join(generated, 'espeak_en_22050_mono_ima_adpcm.wav')));
    const pcm = readFileSync(join(generated, 'espeak_en_22050_mono_s16.wav'));
    assert.equal(adpcm.sampleRate, 22050);
    assert.equal(adpcm.channels.length, 1);
    const view = new DataView(pcm.buffer, pcm.byteOffset + 44);
    const expected = Array.from({ length: (pcm.length - 44) >> 1 }, (_, i) => view.getInt16(2 * i, true) / 32768);
    const got = adpcm.channels[0];
    // The encoder pads the last block; every sample of the speech is there.
    assert.ok(
      got.length >= expected.length && got.length < expected.length + 505,
      `${got.length} vs ${expected.length}`,
    );
    let error = 0;
    let power = 0;
    for (let i = 0; i < expected.length; ++i) {
      error += (got[i] - expected[i]) ** 2;
      power += expected[i] ** 2;
    }
    assert.ok(error / power < 0.01, `noise ${(error / power).toFixed(4)} of the signal`);
    // Cut off in its data, the file plays as far as it goes.
    const whole = readFileSync(join(generated, 'espeak_en_22050_mono_ima_adpcm.wav'));
    const cut = decodeAdpcmWave(whole.subarray(0, 60 + 256 + 100)); // blocks of 256 bytes, 505 samples
    assert.equal(cut.channels[0].length, 505 + 1 + 8 * 24);
    assert.deepEqual(cut.channels[0], got.subarray(0, cut.channels[0].length));
  },
);

test('IMA ADPCM takes the low nibble first', () => {
  // Predictor 0, step index 0; nibble 7 then 0.
  const decoded = decodeAdpcmWave(wave({ format: 0x11, blockAlign: 8, extra: [3] }, [0, 0, 0, 0, 0x07, 0, 0, 0]));
  assert.deepEqual(samples(decoded), [[0, 11, 13]]);
});

test('Microsoft ADPCM blocks, mono and stereo', () => {
  // Predictor (256, 0), delta 16, sample1 100, sample2 50; nibbles 1, 2, -1, 0.
  const mono = decodeAdpcmWave(wave(ms(1, 9, 6), [0, ...int16(16), ...int16(100), ...int16(50), 0x12, 0xf0]));
  assert.deepEqual(samples(mono), [[50, 100, 116, 148, 132, 132]]);
  // Two blocks: the second starts again from its own header.
  const two = decodeAdpcmWave(
    wave(ms(1, 9, 6), [
      0,
      ...int16(16),
      ...int16(100),
      ...int16(50),
      0x12,
      0xf0,
      1,
      ...int16(16),
      ...int16(10),
      ...int16(4),
      0x00,
      0x00,
    ]),
  );
  assert.deepEqual(samples(two)[0].slice(6), [4, 10, 16, 22, 28, 34]);
  // Stereo: the nibbles of a byte go to left then right.
  const stereo = decodeAdpcmWave(
    wave(ms(2, 16, 4), [
      0,
      0,
      ...int16(16),
      ...int16(32),
      ...int16(100),
      ...int16(-100),
      ...int16(50),
      ...int16(-50),
      0x1f,
      0x20,
    ]),
  );
  assert.deepEqual(samples(stereo), [
    [50, 100, 116, 148],
    [-50, -100, -132, -132],
  ]);
});

test('other and broken files are left to the browser', () => {
  assert.equal(decodeAdpcmWave(wave({ format: 1, blockAlign: 2 }, [0, 0, 1, 0])), null);
  assert.equal(decodeAdpcmWave(new TextEncoder().encode('not a wave file at all')), null);
  assert.equal(
    decodeAdpcmWave(wave({ format: 0x11, blockAlign: 2 }, [0, 0, 0, 0])),
    null,
    'block smaller than its header',
  );
  assert.equal(
    decodeAdpcmWave(wave({ format: 2, blockAlign: 9, extra: [6, 0] }, [0, 0, 0, 0, 0, 0, 0])),
    null,
    'no coefficients',
  );
  assert.equal(decodeAdpcmWave(wave(ms(1, 9, 6), [0, 0, 0])), null, 'data shorter than one header');
});
