// The canvas page's arithmetic that needs no browser: the font string and the face metrics, and
// the raster rule that puts the text image onto the page.

/// Points at the 96 pixels per inch the window's fonts are sized at, to the whole pixel the
/// window's hinted font engine draws them at.
export function pointsToPixels(points) {
  return Math.round(((Number(points) > 0 ? Number(points) : 16) * 96) / 72);
}

export function cssFont(options, pixels, family) {
  return `${options.italic ? 'italic ' : ''}${options.bold ? 'bold ' : ''}${pixels}px "${family}"`;
}

/// page := (page AND mask) OR text over one rectangle of the text image, clipped to the image
/// and to the text area: a text pixel of alpha 255 replaces the page's pixel, one of alpha 0 is
/// ORed into it. PAGE is RGBA of areaWidth x areaHeight; RECT is [sx, sy, w, h, x, y].
export function uncoverPixels(page, areaWidth, areaHeight, image, rect) {
  const [sx, sy, w, h, wx, wy] = rect;
  const left = Math.max(sx, 0, sx - wx);
  const top = Math.max(sy, 0, sy - wy);
  const right = Math.min(sx + w, image.width, sx - wx + areaWidth);
  const bottom = Math.min(sy + h, image.height, sy - wy + areaHeight);
  for (let y = top; y < bottom; ++y) {
    for (let x = left; x < right; ++x) {
      const from = 4 * (y * image.width + x);
      const to = 4 * ((wy + y - sy) * areaWidth + (wx + x - sx));
      const p = image.pixels;
      if (p[from + 3] === 255) {
        page[to] = p[from];
        page[to + 1] = p[from + 1];
        page[to + 2] = p[from + 2];
      } else {
        page[to] |= p[from];
        page[to + 1] |= p[from + 1];
        page[to + 2] |= p[from + 2];
      }
      page[to + 3] = 255;
    }
  }
}

/// uncoverPixels onto a 2D context: reads the rectangle's pixels, applies the rule, writes them.
export function uncoverInto(g, image, rect, areaWidth, areaHeight) {
  const [sx, sy, w, h, wx, wy] = rect;
  const x0 = Math.max(0, wx + Math.max(0, -sx));
  const y0 = Math.max(0, wy + Math.max(0, -sy));
  const x1 = Math.min(areaWidth, wx + Math.min(w, image.width - sx));
  const y1 = Math.min(areaHeight, wy + Math.min(h, image.height - sy));
  if (x1 <= x0 || y1 <= y0) return;
  const data = g.getImageData(x0, y0, x1 - x0, y1 - y0);
  uncoverPixels(data.data, x1 - x0, y1 - y0, image, [sx + (x0 - wx), sy + (y0 - wy), x1 - x0, y1 - y0, 0, 0]);
  g.putImageData(data, x0, y0);
}

/// The vertical metrics of a TrueType/OpenType face as the desktop's font engine takes them:
/// the OS/2 table's typographic ascent and descent when the face asks for them (fsSelection bit
/// 7), else its Windows ascent and descent, else the hhea table's. Null for bytes that are no face.
export function faceMetrics(bytes) {
  try {
    const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    const tables = tableOffsets(view);
    if (!tables.has('head') || !tables.has('hhea')) return null;
    const unitsPerEm = view.getUint16(tables.get('head') + 18);
    const hhea = tables.get('hhea');
    let ascent = view.getInt16(hhea + 4);
    let descent = -view.getInt16(hhea + 6);
    const os2 = tables.get('OS/2');
    if (os2 !== undefined && os2 + 78 <= bytes.byteLength) {
      const useTypo = (view.getUint16(os2 + 62) & 0x80) !== 0;
      const winAscent = view.getUint16(os2 + 74);
      const winDescent = view.getUint16(os2 + 76);
      if (useTypo) {
        ascent = view.getInt16(os2 + 68);
        descent = -view.getInt16(os2 + 70);
      } else if (winAscent + winDescent > 0) {
        ascent = winAscent;
        descent = winDescent;
      }
    }
    return unitsPerEm > 0 ? { unitsPerEm, ascent, descent } : null;
  } catch {
    return null;
  }
}

/// Ascent and height (ascent + descent, each rounded) in whole pixels at a pixel size.
export function lineMetrics(face, pixels) {
  const ascent = Math.round((face.ascent * pixels) / face.unitsPerEm);
  const descent = Math.round((face.descent * pixels) / face.unitsPerEm);
  return { ascent, height: ascent + descent };
}

// The table directory of a TrueType/OpenType face: tag -> offset.
function tableOffsets(view) {
  const tables = new Map();
  const count = view.getUint16(4);
  for (let i = 0; i < count; ++i) {
    const at = 12 + 16 * i;
    const tag = String.fromCharCode(
      view.getUint8(at),
      view.getUint8(at + 1),
      view.getUint8(at + 2),
      view.getUint8(at + 3),
    );
    tables.set(tag, view.getUint32(at + 8));
  }
  return tables;
}

// The glyph of a code point through a Unicode cmap subtable (format 4 or 12); 0 when it has none.
function glyphFinder(view, subtable) {
  const format = view.getUint16(subtable);
  if (format === 4) {
    const segments = view.getUint16(subtable + 6) / 2;
    const ends = subtable + 14;
    const starts = ends + 2 * segments + 2;
    const deltas = starts + 2 * segments;
    const rangeOffsets = deltas + 2 * segments;
    return (code) => {
      if (code > 0xffff) return 0;
      for (let i = 0; i < segments; ++i) {
        if (code > view.getUint16(ends + 2 * i)) continue;
        const start = view.getUint16(starts + 2 * i);
        if (code < start) return 0;
        const delta = view.getUint16(deltas + 2 * i);
        const rangeOffset = view.getUint16(rangeOffsets + 2 * i);
        if (rangeOffset === 0) return (code + delta) & 0xffff;
        const glyph = view.getUint16(rangeOffsets + 2 * i + rangeOffset + 2 * (code - start));
        return glyph === 0 ? 0 : (glyph + delta) & 0xffff;
      }
      return 0;
    };
  }
  if (format === 12) {
    const groups = view.getUint32(subtable + 12);
    return (code) => {
      for (let i = 0; i < groups; ++i) {
        const at = subtable + 16 + 12 * i;
        const start = view.getUint32(at);
        if (code >= start && code <= view.getUint32(at + 4)) return view.getUint32(at + 8) + code - start;
      }
      return 0;
    };
  }
  return null;
}

/// The horizontal advances of a face, in its own units, as its hmtx table gives them through its
/// Unicode cmap: { unitsPerEm, advance(codePoint) } with advance null for a character the face
/// does not have. These are the face's design widths, whatever bold or slant a browser
/// synthesizes over it. Null for bytes that are no such face.
export function faceAdvances(bytes) {
  try {
    const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    const tables = tableOffsets(view);
    for (const tag of ['head', 'hhea', 'hmtx', 'cmap']) {
      if (!tables.has(tag)) return null;
    }
    const unitsPerEm = view.getUint16(tables.get('head') + 18);
    const metricsCount = view.getUint16(tables.get('hhea') + 34);
    const hmtx = tables.get('hmtx');
    const cmap = tables.get('cmap');
    // The full repertoire (Windows, UCS-4) when the face has it, else its BMP subtable.
    let find = null;
    let rank = 0;
    for (let i = 0; i < view.getUint16(cmap + 2); ++i) {
      const at = cmap + 4 + 8 * i;
      const platform = view.getUint16(at);
      const encoding = view.getUint16(at + 2);
      const subtableRank =
        platform === 3 && encoding === 10 ? 3 : platform === 3 && encoding === 1 ? 2 : platform === 0 ? 1 : 0;
      if (subtableRank <= rank) continue;
      const candidate = glyphFinder(view, cmap + view.getUint32(at + 4));
      if (candidate) {
        find = candidate;
        rank = subtableRank;
      }
    }
    if (!find || unitsPerEm === 0 || metricsCount === 0) return null;
    const known = new Map();
    const advance = (code) => {
      if (!known.has(code)) {
        const glyph = find(code);
        known.set(code, glyph === 0 ? null : view.getUint16(hmtx + 4 * Math.min(glyph, metricsCount - 1)));
      }
      return known.get(code);
    };
    return { unitsPerEm, advance };
  } catch {
    return null;
  }
}

/// TEXT's width at a pixel size from the face's advances, rounded once for the whole text as
/// the window's font engine rounds it; null when the face lacks one of its characters (the
/// browser draws that one from another face).
export function advanceWidth(advances, text, pixels) {
  let units = 0;
  for (const character of text) {
    const advance = advances.advance(character.codePointAt(0));
    if (advance === null) return null;
    units += advance;
  }
  return Math.round((units * pixels) / advances.unitsPerEm);
}
