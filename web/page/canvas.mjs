// The canvas page's arithmetic that needs no browser: the font string and the face metrics, the
// 4:3 balance, and the raster rule that puts the text image onto the page.

/// The faces the page serves (web/dist/fonts), the fixed-pitch ones first for a fallback.
export const kServedFamilies = Object.freeze(['IPAGothic', 'IPAMincho', 'IPAPGothic', 'IPAPMincho']);

/// A stored face name's family among the served ones: its counterpart, the name itself, or the
/// first fixed-pitch face, as the window falls back when a face is not installed.
export function fontFamilyFor(name, counterpart) {
  const served = (family) => kServedFamilies.find((f) => f.toLowerCase() === String(family ?? '').toLowerCase());
  return served(counterpart) ?? served(name) ?? kServedFamilies[0];
}

/// Points at the 96 pixels per inch the window's fonts are sized at, to the whole pixel the
/// window's hinted font engine draws them at.
export function pointsToPixels(points) {
  return Math.round(((Number(points) > 0 ? Number(points) : 16) * 96) / 72);
}

/// The served file of each face.
export const kFaceFiles = Object.freeze({
  IPAGothic: 'fonts/ipag.ttf', IPAPGothic: 'fonts/ipagp.ttf', IPAMincho: 'fonts/ipam.ttf', IPAPMincho: 'fonts/ipamp.ttf',
});

export function cssFont(options, pixels, family) {
  return `${options.italic ? 'italic ' : ''}${options.bold ? 'bold ' : ''}${pixels}px "${family}"`;
}

/// The page size the 4:3 balance sets from the text area W x H: a narrow area (W < 400) grows
/// its short side, a wide one shrinks its long side; the scroll bar is added to the width.
export function balanceTo4by3(width, height, scrollBarWidth) {
  const narrow = width < 400;
  const changeHeight = narrow ? 4 * height < 3 * width : 4 * height > 3 * width;
  if (changeHeight) return { width: width + scrollBarWidth, height: Math.trunc((3 * width) / 4) };
  return { width: Math.trunc((4 * height) / 3) + scrollBarWidth, height };
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
    const tables = new Map();
    const count = view.getUint16(4);
    for (let i = 0; i < count; ++i) {
      const at = 12 + 16 * i;
      const tag = String.fromCharCode(view.getUint8(at), view.getUint8(at + 1), view.getUint8(at + 2), view.getUint8(at + 3));
      tables.set(tag, view.getUint32(at + 8));
    }
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
