// Drawing the page as the window's page view does: the text measured in the served faces, the
// text image a band at a time from the host's composition, the background and the picture window,
// the choice buttons, the scroll bar, full screen; and applying what the host reports after each
// command or tick.
import {
  advanceWidth,
  cssFont,
  faceAdvances,
  faceMetrics,
  lineMetrics,
  pointsToPixels,
  uncoverInto,
} from './canvas.mjs';
import { closeBacklog, speakPage } from './comforts.mjs';
import { model } from './model.mjs';
import { markFirstText, publishedFace } from './published.mjs';
import { clickButton, showNotices } from './opening.mjs';
import {
  announcer,
  canvas,
  choiceBar,
  loadButton,
  pageText,
  pictureCanvas,
  saveButton,
  scroller,
  scrollSpace,
  shared,
  sizer,
  stage,
} from './page_state.mjs';

let backgroundImage = null;

// --- Measuring and drawing text -------------------------------------------------------------

const measureContext = document.createElement('canvas').getContext('2d');

// The face a stored font name gets: the desktop's counterpart rule, among the faces the page
// serves (the page model).
let fontFamily = '';

export function resolveFamily() {
  fontFamily = model().servedFamily(shared.options.fontName);
}

function fontAt(scale) {
  return cssFont(shared.options, pointsToPixels(shared.options.fontSize) * scale, fontFamily);
}

// The metrics of the served faces, read from their files as the desktop's font engine reads
// them: the vertical ones (browsers take other tables, and their line would be shorter) and the
// advances (a browser's synthesized bold may add to them, and its lines would break elsewhere).
const faces = new Map();

async function loadFace(family) {
  // A published story's faces are cut; their measures came with it.
  const published = publishedFace(family);
  if (published !== undefined) {
    faces.set(family, published);
    return;
  }
  const file = model().faces.find((face) => face.family === family)?.file;
  if (faces.has(family) || !file) return;
  try {
    const response = await fetch(file);
    const bytes = response.ok ? new Uint8Array(await response.arrayBuffer()) : null;
    faces.set(family, bytes && { lines: faceMetrics(bytes), advances: faceAdvances(bytes) });
  } catch {
    faces.set(family, null);
  }
}

// Widths are the face's own advances, rounded once for the whole text as the window's are; the
// canvas measures only a face the page does not serve, or a character its face lacks.
export const measure = {
  width(text, scale) {
    const advances = faces.get(fontFamily)?.advances;
    const width = advances ? advanceWidth(advances, text, pointsToPixels(shared.options.fontSize) * scale) : null;
    if (width !== null) return width;
    measureContext.font = fontAt(scale);
    return Math.round(measureContext.measureText(text).width);
  },
  lines(scale) {
    const face = faces.get(fontFamily)?.lines;
    if (face) return lineMetrics(face, pointsToPixels(shared.options.fontSize) * scale);
    measureContext.font = fontAt(scale);
    const m = measureContext.measureText('漢字Sample');
    const ascent = Math.round(m.fontBoundingBoxAscent);
    return { ascent, height: ascent + Math.round(m.fontBoundingBoxDescent) };
  },
  height(text, scale) {
    return this.lines(scale).height;
  },
  ascent(scale) {
    return this.lines(scale).ascent;
  },
};

// The text image, in bands of rows drawn the first time the reveal or a scroll reaches them, so a
// long page costs only what is looked at: the characters in white give their coverage, which the
// host composes into the outlined text and its mask.
const kBandRows = 256;
const kBandsKept = 24;

function renderLayout() {
  const info = JSON.parse(shared.host.layoutJson());
  shared.layout = { ...info, width: Math.max(0, info.width), height: Math.max(0, info.height), bands: new Map() };
}

function band(index) {
  const kept = shared.layout.bands.get(index);
  if (kept) {
    shared.layout.bands.delete(index); // most recently used last
    shared.layout.bands.set(index, kept);
    return kept;
  }
  const { width, lineHeight } = shared.layout;
  const top = index * kBandRows;
  const bottom = Math.min(shared.layout.height, top + kBandRows);
  const coverageTop = Math.max(0, top - 2);
  const rows = bottom - coverageTop;
  const coverage = document.createElement('canvas');
  coverage.width = width;
  coverage.height = rows;
  const g = coverage.getContext('2d', { willReadFrequently: true });
  g.font = fontAt(shared.ratio);
  g.fillStyle = '#fff';
  g.textBaseline = 'alphabetic';
  const ascent = measure.ascent(shared.ratio);
  // A line's glyphs may reach beyond its own rows: every line near the band is drawn.
  const reach = 2 * lineHeight + 8;
  for (const line of shared.layout.lines) {
    if (line.top + reach <= coverageTop || line.top - reach >= bottom) continue;
    for (const [x, text] of line.chars) g.fillText(text, x, line.top + ascent - coverageTop);
  }
  const rgba = g.getImageData(0, 0, width, rows).data;
  const alpha = new Uint8Array(width * rows);
  for (let i = 0; i < alpha.length; ++i) alpha[i] = rgba[4 * i + 3];
  // The host's answer is a view of the module's memory, copied before the next call.
  const made = { top, width, height: bottom - top, pixels: shared.host.composeText(alpha, top, bottom).slice() };
  shared.layout.bands.set(index, made);
  if (shared.layout.bands.size > kBandsKept) shared.layout.bands.delete(shared.layout.bands.keys().next().value);
  return made;
}

// A picture is taken from the module a band of about this many bytes at a time, straight from
// its memory into the canvas: a picture as large as the player takes (64 Mi pixels) is then held
// once by the module and once by the canvas, never copied whole in between.
const kPictureBandBytes = 4 << 20;

function putPicture(which, target, width, height) {
  target.width = width;
  target.height = height;
  const g = target.getContext('2d');
  const rows = Math.max(1, Math.floor(kPictureBandBytes / (4 * width)));
  for (let top = 0; top < height; top += rows) {
    const count = Math.min(rows, height - top);
    const view = shared.host.picturePixels(which, top, count);
    const pixels = new Uint8ClampedArray(view.buffer, view.byteOffset, width * count * 4);
    g.putImageData(new ImageData(pixels, width, count), 0, top);
  }
  return target;
}

function pictureCanvasOf(which, width, height) {
  return putPicture(which, document.createElement('canvas'), width, height);
}

const rgb = ([r, g, b]) => `rgb(${r},${g},${b})`;

// The watermark font: bold, sized so that its cell (ascent + descent) is 20 pixels.
function watermarkFont() {
  const family = '"Arial", "Liberation Sans", sans-serif';
  measureContext.font = `bold 20px ${family}`;
  const m = measureContext.measureText('VRK System');
  const cell = Math.round(m.fontBoundingBoxAscent) + Math.round(m.fontBoundingBoxDescent);
  const size = cell > 0 && cell !== 20 ? Math.max(1, Math.round(400 / cell)) : 20;
  measureContext.font = `bold ${size}px ${family}`;
  return {
    font: measureContext.font,
    ascent: Math.round(measureContext.measureText('VRK System').fontBoundingBoxAscent),
  };
}

// The watermark as the window draws it, without smoothing: each device pixel is the mark's
// colour or untouched, never a blend. The canvas always smooths text, so the marks are drawn
// apart and every pixel at least half covered is taken whole. Kept while nothing it shows changes.
let watermarkKept = null;

function watermarkLayer(background) {
  const key = JSON.stringify([
    background.width,
    background.height,
    background.watermark,
    background.marks,
    shared.ratio,
  ]);
  if (watermarkKept?.key === key) return watermarkKept.layer;
  const layer = document.createElement('canvas');
  layer.width = Math.max(1, Math.round(background.width * shared.ratio));
  layer.height = Math.max(1, Math.round(background.height * shared.ratio));
  const g = layer.getContext('2d', { willReadFrequently: true });
  g.setTransform(shared.ratio, 0, 0, shared.ratio, 0, 0);
  const mark = watermarkFont();
  g.font = mark.font;
  g.fillStyle = rgb(background.watermark);
  g.textBaseline = 'alphabetic';
  for (const [x, y] of background.marks) {
    g.save();
    g.translate(x, y);
    g.rotate(-Math.PI / 4);
    g.fillText('VRK System', 0, mark.ascent);
    g.restore();
  }
  const image = g.getImageData(0, 0, layer.width, layer.height);
  const [r, gr, b] = background.watermark;
  const pixels = image.data;
  for (let i = 0; i < pixels.length; i += 4) {
    const covered = pixels[i + 3] >= 128;
    pixels[i] = r;
    pixels[i + 1] = gr;
    pixels[i + 2] = b;
    pixels[i + 3] = covered ? 255 : 0;
  }
  g.putImageData(image, 0, 0);
  watermarkKept = { key, layer };
  return layer;
}

function paintBackground(g, background) {
  g.save();
  g.setTransform(shared.ratio, 0, 0, shared.ratio, 0, 0);
  g.beginPath();
  g.rect(0, 0, background.width, background.height);
  g.clip();
  if (background.kind === 'colour') {
    g.fillStyle = rgb(background.colour);
    g.fillRect(0, 0, background.width, background.height);
    g.imageSmoothingEnabled = false;
    g.drawImage(watermarkLayer(background), 0, 0, background.width, background.height);
  } else if (background.kind === 'tiled') {
    g.fillStyle = g.createPattern(backgroundImage, 'repeat');
    g.fillRect(0, 0, background.width, background.height);
  } else {
    g.fillStyle = rgb(background.barColour);
    for (const [l, t, r, b] of background.bars) g.fillRect(l, t, r - l, b - t);
    const [l, t, r, b] = background.picture;
    g.imageSmoothingEnabled = false;
    g.drawImage(backgroundImage, l, t, r - l, b - t);
  }
  g.restore();
}

// Each band the rectangle reaches uncovers its part.
function uncover(g, rect) {
  if (!shared.layout || shared.layout.width === 0 || shared.layout.height === 0) return;
  const [sx, sy, w, h, wx, wy] = rect;
  const first = Math.max(0, sy);
  const last = Math.min(shared.layout.height, sy + h);
  for (let index = Math.floor(first / kBandRows); index * kBandRows < last; ++index) {
    const part = band(index);
    const r0 = Math.max(first, part.top);
    const r1 = Math.min(last, part.top + part.height);
    if (r1 > r0) {
      const textRight = canvas.width - Math.round(shared.scrollBarWidth * shared.ratio);
      uncoverInto(g, part, [sx, r0 - part.top, w, r1 - r0, wx, wy + (r0 - sy)], textRight, canvas.height);
      if (w > 0) markFirstText();
    }
  }
}

// The picture window beside the page, by the window's rules with the viewport as the screen:
// left of the page, above it, right of it, below it, else the corner; cut to the viewport.
export function placePicture(picture) {
  if (!picture.shown) return;
  const page = stage.getBoundingClientRect();
  const frame = 4; // the border on both sides
  const [x, y, width, height] = shared.player.picturePlace(
    Math.round(page.left),
    Math.round(page.top),
    Math.round(page.width),
    Math.round(page.height),
    picture.width,
    picture.height,
    frame,
    window.innerWidth,
    window.innerHeight,
  );
  Object.assign(pictureCanvas.style, {
    left: `${x}px`,
    top: `${y}px`,
    width: `${width}px`,
    height: `${height}px`,
  });
}

window.addEventListener('resize', () => {
  if (shared.lastState) placePicture(shared.lastState.picture);
});

// --- Applying the host's state ----------------------------------------------------------------

function placeButtons(choices) {
  const wanted = choices.captions.length;
  while (choiceBar.children.length > wanted) choiceBar.lastElementChild.remove();
  while (choiceBar.children.length < wanted) {
    const button = document.createElement('button');
    button.type = 'button';
    button.addEventListener('click', () => clickButton(Number(button.dataset.k)));
    // A button the reader focused is the one a gamepad's press takes.
    button.addEventListener('focus', () => shared.host?.setChoiceFocus(Number(button.dataset.k)));
    choiceBar.append(button);
  }
  // Left to right: the leftmost button in use is the highest number, the first choice.
  for (let i = 0; i < wanted; ++i) {
    const k = wanted - i;
    const button = choiceBar.children[i];
    const [left, top, width, height] = choices.rects[k - 1];
    button.dataset.k = String(k);
    button.textContent = choices.captions[k - 1];
    // The caption is the key's letter; a screen reader reads the choice it takes too.
    button.setAttribute('aria-label', choices.names[k - 1]);
    button.disabled = !choices.enabled;
    Object.assign(button.style, { left: `${left}px`, top: `${top}px`, width: `${width}px`, height: `${height}px` });
  }
}

// A new page is announced once by the polite live region. Its text goes in as a new paragraph,
// so that a page whose text is the one before's (a page shown again) is still an addition.
function announce(text) {
  const paragraph = document.createElement('p');
  paragraph.textContent = text.trim();
  announcer.replaceChildren(paragraph);
}

// The desktop's cursors over the page: waiting while a run (or its pause) goes on, busy while the
// page is revealed and its choices wait.
function showCursor(state) {
  stage.style.cursor = state.held ? 'wait' : state.choices.enabled ? '' : 'progress';
}

export function applyState() {
  if (!shared.host) return;
  const state = JSON.parse(shared.host.state());
  shared.lastState = state;
  showNotices(state);
  const g = canvas.getContext('2d');
  if (state.background.version !== shared.backgroundVersion) {
    shared.backgroundVersion = state.background.version;
    const { pictureWidth, pictureHeight } = state.background;
    backgroundImage = pictureWidth > 0 ? pictureCanvasOf(0, pictureWidth, pictureHeight) : null;
  }
  if (state.layoutVersion !== shared.layout?.version) renderLayout();
  if (state.paint.full) {
    g.fillStyle = '#000';
    g.fillRect(0, 0, canvas.width, canvas.height);
    paintBackground(g, state.background);
  }
  for (const rect of state.paint.rects) uncover(g, rect);
  if (state.picture.version !== shared.pictureVersion) {
    shared.pictureVersion = state.picture.version;
    if (state.picture.shown) {
      putPicture(1, pictureCanvas, state.picture.width, state.picture.height);
    }
    placePicture(state.picture);
  }
  pictureCanvas.hidden = !state.picture.shown;
  placeButtons(state.choices);
  if (state.focusChanged) choiceBar.querySelector(`[data-k="${state.focus}"]`)?.focus();
  shared.scrollFromHost = true;
  scrollSpace.style.height = `${shared.pageHeight + state.scroll.max / shared.ratio}px`;
  scroller.scrollTop = state.scroll.value / shared.ratio;
  scroller.classList.toggle('disabled', !state.scroll.enabled);
  shared.scrollFromHost = false;
  canvas.setAttribute('aria-label', state.text.trim());
  if (pageText.textContent !== state.readable) pageText.textContent = state.readable;
  saveButton.disabled = !state.scriptOpen;
  loadButton.disabled = !state.quickLoad;
  document.body.dataset.revealed = String(state.revealed);
  if (state.caption) document.title = state.caption;
  showCursor(state);
  if (state.pagesShown !== shared.pagesShown) {
    shared.pagesShown = state.pagesShown;
    closeBacklog();
    speakPage();
    announce(state.announcement);
  }
  return state;
}

// Full screen keeps the page's own size and layout and scales it up to the screen, its aspect
// kept; the canvas draws at the screen's pixels so that the text stays sharp.

export function placeFullScreen() {
  const full = Boolean(document.fullscreenElement);
  document.body.classList.toggle('vrk-full', full);
  shared.fullScale = full ? Math.min(window.innerWidth / shared.pageWidth, window.innerHeight / shared.pageHeight) : 1;
  if (!(shared.fullScale > 0)) shared.fullScale = 1;
  Object.assign(
    stage.style,
    full
      ? {
          position: 'fixed',
          left: `${Math.round((window.innerWidth - shared.pageWidth * shared.fullScale) / 2)}px`,
          top: `${Math.round((window.innerHeight - shared.pageHeight * shared.fullScale) / 2)}px`,
          transform: `scale(${shared.fullScale})`,
          transformOrigin: '0 0',
        }
      : { position: '', left: '', top: '', transform: '', transformOrigin: '' },
  );
  closeBacklog();
  sizeCanvas();
  if (shared.host) {
    shared.host.setPageSize(shared.pageWidth, shared.pageHeight, shared.ratio);
    applyState();
    placePicture(shared.lastState.picture);
  }
}

document.addEventListener('fullscreenchange', placeFullScreen);
window.addEventListener('resize', () => {
  if (document.fullscreenElement) placeFullScreen();
});

export function sizeCanvas() {
  shared.ratio = (window.devicePixelRatio || 1) * shared.fullScale;
  for (const box of [sizer, stage]) {
    box.style.width = `${shared.pageWidth}px`;
    box.style.height = `${shared.pageHeight}px`;
  }
  canvas.style.width = `${shared.pageWidth}px`;
  canvas.style.height = `${shared.pageHeight}px`;
  canvas.width = Math.round(shared.pageWidth * shared.ratio);
  canvas.height = Math.round(shared.pageHeight * shared.ratio);
}

export async function fontsReady() {
  await loadFace(fontFamily);
  try {
    await document.fonts.load(fontAt(1), '漢字Sample');
  } catch {
    // an unknown face falls back like any other
  }
}

export function resizePage(width, height) {
  shared.pageSized = true;
  const { minPageWidth, minPageHeight } = model().window;
  shared.pageWidth = Math.max(minPageWidth, width);
  shared.pageHeight = Math.max(minPageHeight, height);
  sizeCanvas();
  if (shared.host) {
    shared.host.setPageSize(shared.pageWidth, shared.pageHeight, shared.ratio);
    applyState();
    placePicture(shared.lastState.picture);
  }
}
