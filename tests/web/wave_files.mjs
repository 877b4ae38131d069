// Small WAVE files made in memory for the page's sound tests.

// A WAVE file of FORMAT with the given fmt fields after the first 16 bytes, and DATA.
export function wave({ format, channels = 1, rate = 8000, blockAlign, extra = [] }, data) {
  const fmt = new DataView(new ArrayBuffer(18 + 2 * extra.length));
  fmt.setUint16(0, format, true);
  fmt.setUint16(2, channels, true);
  fmt.setUint32(4, rate, true);
  fmt.setUint16(12, blockAlign, true);
  fmt.setUint16(14, 4, true);
  fmt.setUint16(16, 2 * extra.length, true);
  extra.forEach((value, i) => fmt.setInt16(18 + 2 * i, value, true));
  const parts = [
    ['fmt ', new Uint8Array(fmt.buffer)],
    ['data', Uint8Array.from(data)],
  ];
  const size = 4 + parts.reduce((sum, [, bytes]) => sum + 8 + bytes.length + (bytes.length & 1), 0);
  const out = new Uint8Array(8 + size);
  const view = new DataView(out.buffer);
  const tag = (at, text) => [...text].forEach((ch, i) => view.setUint8(at + i, ch.charCodeAt(0)));
  tag(0, 'RIFF');
  view.setUint32(4, size, true);
  tag(8, 'WAVE');
  let at = 12;
  for (const [name, bytes] of parts) {
    tag(at, name);
    view.setUint32(at + 4, bytes.length, true);
    out.set(bytes, at + 8);
    at += 8 + bytes.length + (bytes.length & 1);
  }
  return out;
}
