// WAVE files in the two ADPCM forms of old Windows sound tools (IMA and Microsoft). The window's
// player reads them; browsers' decoders do not, so the page decodes them itself. A file cut off
// inside its data plays as far as it goes, as it does in the window.

const kImaSteps = [
  7, 8, 9, 10, 11, 12, 13, 14, 16, 17, 19, 21, 23, 25, 28, 31, 34, 37, 41, 45, 50, 55, 60, 66, 73, 80, 88, 97, 107, 118,
  130, 143, 157, 173, 190, 209, 230, 253, 279, 307, 337, 371, 408, 449, 494, 544, 598, 658, 724, 796, 876, 963, 1060,
  1166, 1282, 1411, 1552, 1707, 1878, 2066, 2272, 2499, 2749, 3024, 3327, 3660, 4026, 4428, 4871, 5358, 5894, 6484,
  7132, 7845, 8630, 9493, 10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767,
];
const kImaIndexMoves = [-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8];
const kMsAdaptation = [230, 230, 230, 230, 307, 409, 512, 614, 768, 614, 512, 409, 307, 230, 230, 230];
const kFormatMsAdpcm = 0x0002;
const kFormatImaAdpcm = 0x0011;

const clamp16 = (value) => Math.max(-32768, Math.min(32767, value));

function chunks(view) {
  const found = new Map();
  const tag = (at) =>
    String.fromCharCode(view.getUint8(at), view.getUint8(at + 1), view.getUint8(at + 2), view.getUint8(at + 3));
  if (view.byteLength < 12 || tag(0) !== 'RIFF' || tag(8) !== 'WAVE') {
    return found;
  }
  let at = 12;
  while (at + 8 <= view.byteLength) {
    const size = view.getUint32(at + 4, true);
    const start = at + 8;
    if (!found.has(tag(at))) {
      found.set(tag(at), { start, size: Math.min(size, view.byteLength - start) });
    }
    at = start + size + (size & 1);
  }
  return found;
}

function imaBlock(view, at, end, channelCount, samplesPerBlock, out, offset) {
  const predictors = [];
  const indexes = [];
  for (let c = 0; c < channelCount; ++c) {
    predictors.push(view.getInt16(at, true));
    indexes.push(Math.min(88, view.getUint8(at + 2)));
    out[c][offset] = predictors[c];
    at += 4;
  }
  let written = 1;
  // Eight samples of each channel in turn, four bytes each, low nibble first.
  while (written < samplesPerBlock && at + 4 * channelCount <= end) {
    for (let c = 0; c < channelCount; ++c) {
      for (let i = 0; i < 8; ++i) {
        const byte = view.getUint8(at + (i >> 1));
        const nibble = i & 1 ? byte >> 4 : byte & 15;
        const step = kImaSteps[indexes[c]];
        let diff = step >> 3;
        if (nibble & 4) diff += step;
        if (nibble & 2) diff += step >> 1;
        if (nibble & 1) diff += step >> 2;
        predictors[c] = clamp16(nibble & 8 ? predictors[c] - diff : predictors[c] + diff);
        indexes[c] = Math.max(0, Math.min(88, indexes[c] + kImaIndexMoves[nibble]));
        if (written + i < samplesPerBlock) {
          out[c][offset + written + i] = predictors[c];
        }
      }
      at += 4;
    }
    written = Math.min(samplesPerBlock, written + 8);
  }
  return written;
}

function msBlock(view, at, end, channelCount, samplesPerBlock, coefficients, out, offset) {
  if (at + 7 * channelCount > end) {
    return 0;
  }
  const coef = [];
  const delta = [];
  const sample1 = [];
  const sample2 = [];
  for (let c = 0; c < channelCount; ++c) {
    coef.push(coefficients[Math.min(view.getUint8(at + c), coefficients.length - 1)]);
  }
  at += channelCount;
  for (const list of [delta, sample1, sample2]) {
    for (let c = 0; c < channelCount; ++c) {
      list.push(view.getInt16(at, true));
      at += 2;
    }
  }
  for (let c = 0; c < channelCount; ++c) {
    out[c][offset] = sample2[c];
    out[c][offset + 1] = sample1[c];
  }
  let written = 2;
  let channel = 0;
  // Each byte holds two samples, high nibble first; the channels take turns.
  for (; at < end && written < samplesPerBlock; ++at) {
    const byte = view.getUint8(at);
    for (const nibble of [byte >> 4, byte & 15]) {
      if (written >= samplesPerBlock) {
        break;
      }
      const c = channel;
      const predicted = Math.trunc((sample1[c] * coef[c][0] + sample2[c] * coef[c][1]) / 256);
      const value = clamp16(predicted + (nibble >= 8 ? nibble - 16 : nibble) * delta[c]);
      sample2[c] = sample1[c];
      sample1[c] = value;
      delta[c] = Math.max(16, Math.trunc((kMsAdaptation[nibble] * delta[c]) / 256));
      out[c][offset + written] = value;
      channel = (channel + 1) % channelCount;
      if (channel === 0) {
        written += 1;
      }
    }
  }
  return written;
}

/// Decodes an ADPCM WAVE file: { sampleRate, channels: [Float32Array, ...] } with samples in
/// [-1, 1), or null for any other file (which the browser decodes, or nobody can).
export function decodeAdpcmWave(bytes) {
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  const found = chunks(view);
  const fmt = found.get('fmt ');
  const data = found.get('data');
  if (!fmt || !data || fmt.size < 16) {
    return null;
  }
  const format = view.getUint16(fmt.start, true);
  const channelCount = view.getUint16(fmt.start + 2, true);
  const sampleRate = view.getUint32(fmt.start + 4, true);
  const blockAlign = view.getUint16(fmt.start + 12, true);
  if (
    (format !== kFormatImaAdpcm && format !== kFormatMsAdpcm) ||
    channelCount < 1 ||
    channelCount > 2 ||
    sampleRate === 0 ||
    blockAlign < 7 * channelCount
  ) {
    return null;
  }
  const extra = fmt.size >= 20 ? view.getUint16(fmt.start + 16, true) : 0;
  let samplesPerBlock = extra >= 2 ? view.getUint16(fmt.start + 18, true) : 0;
  let coefficients = null;
  if (format === kFormatImaAdpcm) {
    samplesPerBlock ||= ((blockAlign - 4 * channelCount) * 2) / channelCount + 1;
  } else {
    samplesPerBlock ||= ((blockAlign - 7 * channelCount) * 2) / channelCount + 2;
    const count = extra >= 4 ? view.getUint16(fmt.start + 20, true) : 0;
    if (count === 0 || 22 + 4 * count > fmt.size) {
      return null;
    }
    coefficients = [];
    for (let i = 0; i < count; ++i) {
      coefficients.push([view.getInt16(fmt.start + 22 + 4 * i, true), view.getInt16(fmt.start + 24 + 4 * i, true)]);
    }
  }
  const blocks = Math.ceil(data.size / blockAlign);
  const out = Array.from({ length: channelCount }, () => new Float32Array(blocks * samplesPerBlock));
  let length = 0;
  for (let at = data.start; at < data.start + data.size; at += blockAlign) {
    const end = Math.min(at + blockAlign, data.start + data.size);
    if (end - at < (format === kFormatImaAdpcm ? 4 : 7) * channelCount) {
      break;
    }
    length +=
      format === kFormatImaAdpcm
        ? imaBlock(view, at, end, channelCount, samplesPerBlock, out, length)
        : msBlock(view, at, end, channelCount, samplesPerBlock, coefficients, out, length);
  }
  if (length === 0) {
    return null;
  }
  return { sampleRate, channels: out.map((samples) => samples.subarray(0, length).map((s) => s / 32768)) };
}
