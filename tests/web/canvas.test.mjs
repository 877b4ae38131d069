// The canvas page's arithmetic: the raster rule that puts the text image onto the page, the
// pixels a point size takes and the line metrics of a face.
//
//   node --test tests/web/canvas.test.mjs
import assert from 'node:assert/strict';
import { existsSync, readFileSync } from 'node:fs';
import { test } from 'node:test';

import {
  advanceWidth,
  cssFont,
  faceAdvances,
  faceMetrics,
  lineMetrics,
  pointsToPixels,
  uncoverPixels,
} from '../../web/page/canvas.mjs';

// A w x h text image; PIXELS lists [x, y, r, g, b, a] to set.
function image(w, h, pixels) {
  const data = new Uint8Array(w * h * 4);
  for (const [x, y, r, g, b, a] of pixels) data.set([r, g, b, a], 4 * (y * w + x));
  return { width: w, height: h, pixels: data };
}

function page(w, h, fill) {
  const data = new Uint8ClampedArray(w * h * 4);
  for (let i = 0; i < w * h; ++i) data.set(fill, 4 * i);
  return data;
}

const at = (data, w, x, y) => Array.from(data.subarray(4 * (y * w + x), 4 * (y * w + x) + 4));

test('a masked pixel replaces the page, an unmasked one is ORed into it', () => {
  const text = image(2, 1, [
    [0, 0, 0x80, 0x00, 0x00, 255],
    [1, 0, 0x0f, 0x0f, 0x00, 0],
  ]);
  const target = page(2, 1, [0x30, 0x30, 0x30, 255]);
  uncoverPixels(target, 2, 1, text, [0, 0, 2, 1, 0, 0]);
  assert.deepEqual(at(target, 2, 0, 0), [0x80, 0x00, 0x00, 255]);
  assert.deepEqual(at(target, 2, 1, 0), [0x3f, 0x3f, 0x30, 255]);
});

test('an uncovered rectangle is clipped to the image and to the page, wherever it lies', () => {
  const text = image(3, 3, [
    [0, 0, 9, 9, 9, 255],
    [2, 2, 7, 7, 7, 255],
  ]);
  // Placed at (1, 1) on a 3 x 3 page: only the image's top-left 2 x 2 lands, the rest falls off.
  const target = page(3, 3, [1, 1, 1, 255]);
  uncoverPixels(target, 3, 3, text, [0, 0, 3, 3, 1, 1]);
  assert.deepEqual(at(target, 3, 1, 1), [9, 9, 9, 255]);
  assert.deepEqual(at(target, 3, 0, 0), [1, 1, 1, 255]);
  assert.equal(target.length, 36);
  // A rectangle reaching past the image's edge, or above the page, writes nothing outside.
  const shifted = page(3, 3, [1, 1, 1, 255]);
  uncoverPixels(shifted, 3, 3, text, [2, 2, 5, 5, -2, -2]);
  assert.deepEqual(Array.from(new Set(shifted)), [1, 255]);
  uncoverPixels(shifted, 3, 3, text, [1, 1, 5, 5, 0, 0]);
  assert.deepEqual(at(shifted, 3, 1, 1), [7, 7, 7, 255]);
  assert.deepEqual(at(shifted, 3, 2, 2), [1, 1, 1, 255]);
});

// Which face draws a stored name and the 4:3 balance are the window's rules, from the page's
// module (page_options.test.mjs).
test('points become the whole pixels the window draws at', () => {
  assert.equal(pointsToPixels(15), 20);
  assert.equal(pointsToPixels(16), 21, '21.33 pixels are drawn at 21, as the hinted engine does');
  assert.equal(pointsToPixels(0), pointsToPixels(16), 'a size of 0 is the default');
  assert.equal(cssFont({ bold: true, italic: true }, 20, 'IPAMincho'), 'italic bold 20px "IPAMincho"');
});

const kGothic = '/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf';
const kMincho = '/usr/share/fonts/opentype/ipafont-mincho/ipam.ttf';

// The figures the window's font engine gives for these faces (QFontMetrics ascent and height).
test(
  "line metrics come from the face's Windows ascent and descent, as on the desktop",
  {
    skip: existsSync(kGothic) && existsSync(kMincho) ? false : 'the IPA fonts are not installed',
  },
  () => {
    const gothic = faceMetrics(readFileSync(kGothic));
    const mincho = faceMetrics(readFileSync(kMincho));
    assert.deepEqual(lineMetrics(gothic, 20), { ascent: 18, height: 22 });
    assert.deepEqual(lineMetrics(gothic, 16), { ascent: 14, height: 17 });
    assert.deepEqual(lineMetrics(mincho, 16), { ascent: 14, height: 18 });
    assert.deepEqual(lineMetrics(mincho, 21), { ascent: 18, height: 23 });
  },
);

test('a face that asks for its typographic metrics gets them; bytes that are no face give null', () => {
  // head, hhea and OS/2 tables only, 1000 units per em.
  const bytes = new Uint8Array(12 + 3 * 16 + 54 + 36 + 78);
  const view = new DataView(bytes.buffer);
  view.setUint16(4, 3);
  const put = (i, tag, offset) => {
    for (let k = 0; k < 4; ++k) view.setUint8(12 + 16 * i + k, tag.charCodeAt(k));
    view.setUint32(12 + 16 * i + 8, offset);
  };
  const head = 60;
  const hhea = head + 54;
  const os2 = hhea + 36;
  put(0, 'head', head);
  put(1, 'hhea', hhea);
  put(2, 'OS/2', os2);
  view.setUint16(head + 18, 1000);
  view.setInt16(hhea + 4, 900);
  view.setInt16(hhea + 6, -100);
  view.setInt16(os2 + 68, 800);
  view.setInt16(os2 + 70, -200);
  view.setUint16(os2 + 74, 1000);
  view.setUint16(os2 + 76, 300);
  assert.deepEqual(faceMetrics(bytes), { unitsPerEm: 1000, ascent: 1000, descent: 300 });
  view.setUint16(os2 + 62, 0x80);
  assert.deepEqual(faceMetrics(bytes), { unitsPerEm: 1000, ascent: 800, descent: 200 });
  assert.equal(faceMetrics(new Uint8Array(10)), null);
  assert.equal(faceMetrics(new TextEncoder().encode('not a font at all, just text')), null);
});

// The window's samples ("漢字Sample", "襲") at the sizes its font engine gives them, for the
// fixed-pitch and a proportional face: its cell grid is (sample + 2) / 10 of these.
test(
  "text widths come from the face's own advances, rounded once, as the window measures them",
  {
    skip:
      existsSync(kGothic) && existsSync(kMincho.replace('ipam.ttf', 'ipamp.ttf'))
        ? false
        : 'the IPA fonts are not installed',
  },
  () => {
    const gothic = faceAdvances(readFileSync(kGothic));
    const proportional = faceAdvances(readFileSync(kMincho.replace('ipam.ttf', 'ipamp.ttf')));
    // 21 pixels: half-width letters of 10.5 pixels each, summed before rounding.
    assert.equal(advanceWidth(gothic, '漢字Sample', 21), 105);
    assert.equal(advanceWidth(gothic, '襲', 21), 21);
    assert.equal(advanceWidth(gothic, '漢字Sample', 20), 100);
    assert.equal(advanceWidth(gothic, '漢字Sample', 16), 80);
    assert.equal(advanceWidth(proportional, '漢字Sample', 20), 110);
    assert.equal(advanceWidth(proportional, '漢字Sample', 16), 88);
    assert.equal(advanceWidth(gothic, '', 21), 0);
    // Beyond the basic plane (the face's full repertoire) and a character it lacks.
    assert.equal(advanceWidth(gothic, '𠀋', 21), 21);
    assert.equal(advanceWidth(gothic, '漢\u{1F600}', 21), null);
    assert.equal(faceAdvances(new Uint8Array(10)), null);
    assert.equal(faceAdvances(new TextEncoder().encode('not a font at all, just text')), null);
  },
);
