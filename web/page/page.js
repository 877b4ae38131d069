// The reading page: a project folder or zip goes into the player's in-memory files, the story
// runs in the page's host (WebStoryHost in the WebAssembly module), and this draws what the host
// lays out and reveals onto the canvas, as the window's page view does.
import {
  SaveStore, changedSlots, exportSlots, findProjectFile, importSlots, projectKey, readLooseFile, readSlots, readZipFile,
  restoreSlots, writeFiles,
} from './project.mjs';
import { chooseSlot, enterName, setHomePageAction, showAbout, showError } from './dialogs.mjs';
import { installDropTarget } from './drop.mjs';
import { buildMenuBar, menuItem } from './menu.mjs';
import { model, useModel } from './model.mjs';
import { loadOptions, onOptionsChanged, saveOptions } from './options.mjs';
import * as sound from './sound.mjs';
import {
  advanceWidth, balanceTo4by3, cssFont, faceAdvances, faceMetrics, lineMetrics, pointsToPixels, uncoverInto,
} from './canvas.mjs';

const canvas = document.getElementById('page');
const stage = document.getElementById('frame');
const sizer = document.getElementById('sizer');
const scroller = document.getElementById('scroll');
const scrollSpace = document.getElementById('scroll-space');
const pictureCanvas = document.getElementById('picture');
const status = document.getElementById('status');
const choiceBar = document.getElementById('choices');
const notice = document.getElementById('notice');
const backlogPanel = document.getElementById('backlog');
const slotShown = document.getElementById('slot');
const saveButton = document.getElementById('save');
const loadButton = document.getElementById('load');

const kTickMs = 55;
const kProjectDir = '/project';
const kProgramDir = '/';  // the player's own folder, "/", where saves go when a project ships none

let player = null;
let host = null;  // the module's WebStoryHost, once a project is open
let project = null;  // { key, fileName, baseName, slots } of the open story
let saves = null;
let options = null;  // the reader's options, once the page model has come with the module
// The page's size in CSS pixels, the scroll bar's included: the window's until the reader or
// an embedding page sizes it (takeWindowDefaults).
let pageWidth = 0;
let pageHeight = 0;
let pageSized = false;
let scrollBarWidth = 0;
let ratio = 1;
let layout = null;  // { version, ascent, text: RGBA with the replace/OR rule in alpha, ... }
let backgroundVersion = -1;
let backgroundImage = null;
let pictureVersion = -1;
let lastState = null;
let busy = false;  // the opening is asking the reader
let pauseTicks = false;  // a test holds the timer to look at a still page
let scrollFromHost = false;
let pagesShown = 0;  // the host's count of pages put on show, to notice a new one

// --- Measuring and drawing text -------------------------------------------------------------

const measureContext = document.createElement('canvas').getContext('2d');

// The face a stored font name gets: the desktop's counterpart rule, among the faces the page
// serves (the page model).
let fontFamily = '';

function resolveFamily() {
  fontFamily = model().servedFamily(options.fontName);
}

function fontAt(scale) {
  return cssFont(options, pointsToPixels(options.fontSize) * scale, fontFamily);
}

// The metrics of the served faces, read from their files as the desktop's font engine reads
// them: the vertical ones (browsers take other tables, and their line would be shorter) and the
// advances (a browser's synthesized bold may add to them, and its lines would break elsewhere).
const faces = new Map();

async function loadFace(family) {
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
const measure = {
  width(text, scale) {
    const advances = faces.get(fontFamily)?.advances;
    const width = advances ? advanceWidth(advances, text, pointsToPixels(options.fontSize) * scale) : null;
    if (width !== null) return width;
    measureContext.font = fontAt(scale);
    return Math.round(measureContext.measureText(text).width);
  },
  lines(scale) {
    const face = faces.get(fontFamily)?.lines;
    if (face) return lineMetrics(face, pointsToPixels(options.fontSize) * scale);
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
  const info = JSON.parse(host.layoutJson());
  layout = { ...info, width: Math.max(0, info.width), height: Math.max(0, info.height), bands: new Map() };
}

function band(index) {
  const kept = layout.bands.get(index);
  if (kept) {
    layout.bands.delete(index);  // most recently used last
    layout.bands.set(index, kept);
    return kept;
  }
  const { width, lineHeight } = layout;
  const top = index * kBandRows;
  const bottom = Math.min(layout.height, top + kBandRows);
  const coverageTop = Math.max(0, top - 2);
  const rows = bottom - coverageTop;
  const coverage = document.createElement('canvas');
  coverage.width = width;
  coverage.height = rows;
  const g = coverage.getContext('2d', { willReadFrequently: true });
  g.font = fontAt(ratio);
  g.fillStyle = '#fff';
  g.textBaseline = 'alphabetic';
  const ascent = measure.ascent(ratio);
  // A line's glyphs may reach beyond its own rows: every line near the band is drawn.
  const reach = 2 * lineHeight + 8;
  for (const line of layout.lines) {
    if (line.top + reach <= coverageTop || line.top - reach >= bottom) continue;
    for (const [x, text] of line.chars) g.fillText(text, x, line.top + ascent - coverageTop);
  }
  const rgba = g.getImageData(0, 0, width, rows).data;
  const alpha = new Uint8Array(width * rows);
  for (let i = 0; i < alpha.length; ++i) alpha[i] = rgba[4 * i + 3];
  // The host's answer is a view of the module's memory, copied before the next call.
  const made = { top, width, height: bottom - top, pixels: host.composeText(alpha, top, bottom).slice() };
  layout.bands.set(index, made);
  if (layout.bands.size > kBandsKept) layout.bands.delete(layout.bands.keys().next().value);
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
    const view = host.picturePixels(which, top, count);
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
  return { font: measureContext.font, ascent: Math.round(measureContext.measureText('VRK System').fontBoundingBoxAscent) };
}

// The watermark as the window draws it, without smoothing: each device pixel is the mark's
// colour or untouched, never a blend. The canvas always smooths text, so the marks are drawn
// apart and every pixel at least half covered is taken whole. Kept while nothing it shows changes.
let watermarkKept = null;

function watermarkLayer(background) {
  const key = JSON.stringify([background.width, background.height, background.watermark, background.marks, ratio]);
  if (watermarkKept?.key === key) return watermarkKept.layer;
  const layer = document.createElement('canvas');
  layer.width = Math.max(1, Math.round(background.width * ratio));
  layer.height = Math.max(1, Math.round(background.height * ratio));
  const g = layer.getContext('2d', { willReadFrequently: true });
  g.setTransform(ratio, 0, 0, ratio, 0, 0);
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
  g.setTransform(ratio, 0, 0, ratio, 0, 0);
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
  if (!layout || layout.width === 0 || layout.height === 0) return;
  const [sx, sy, w, h, wx, wy] = rect;
  const first = Math.max(0, sy);
  const last = Math.min(layout.height, sy + h);
  for (let index = Math.floor(first / kBandRows); index * kBandRows < last; ++index) {
    const part = band(index);
    const r0 = Math.max(first, part.top);
    const r1 = Math.min(last, part.top + part.height);
    if (r1 > r0) {
      const textRight = canvas.width - Math.round(scrollBarWidth * ratio);
      uncoverInto(g, part, [sx, r0 - part.top, w, r1 - r0, wx, wy + (r0 - sy)], textRight, canvas.height);
    }
  }
}

// The picture window beside the page, by the window's rules with the viewport as the screen:
// left of the page, above it, right of it, below it, else the corner; cut to the viewport.
function placePicture(picture) {
  if (!picture.shown) return;
  const page = stage.getBoundingClientRect();
  const frame = 4;  // the border on both sides
  const [x, y, width, height] = player.picturePlace(Math.round(page.left), Math.round(page.top),
    Math.round(page.width), Math.round(page.height), picture.width, picture.height, frame, window.innerWidth,
    window.innerHeight);
  Object.assign(pictureCanvas.style, {
    left: `${x}px`, top: `${y}px`, width: `${width}px`, height: `${height}px`,
  });
}

window.addEventListener('resize', () => {
  if (lastState) placePicture(lastState.picture);
});

// --- Applying the host's state ----------------------------------------------------------------

function placeButtons(choices) {
  const wanted = choices.captions.length;
  while (choiceBar.children.length > wanted) choiceBar.lastElementChild.remove();
  while (choiceBar.children.length < wanted) {
    const button = document.createElement('button');
    button.type = 'button';
    button.addEventListener('click', () => clickButton(Number(button.dataset.k)));
    choiceBar.append(button);
  }
  // Left to right: the leftmost button in use is the highest number, the first choice.
  for (let i = 0; i < wanted; ++i) {
    const k = wanted - i;
    const button = choiceBar.children[i];
    const [left, top, width, height] = choices.rects[k - 1];
    button.dataset.k = String(k);
    button.textContent = choices.captions[k - 1];
    button.disabled = !choices.enabled;
    Object.assign(button.style, { left: `${left}px`, top: `${top}px`, width: `${width}px`, height: `${height}px` });
  }
}

function showNotices(state) {
  if (state.programs.length > 0) {
    const names = state.programs.map((p) => `「${p.replaceAll(`${kProjectDir}/`, '')}」`);
    const before = notice.dataset.programs ? notice.dataset.programs.split('\n') : [];
    const all = [...before, ...names];
    notice.dataset.programs = all.join('\n');
    notice.textContent = `このお話は外部プログラム${all.join('、')}を起動しようとしました（ブラウザでは起動しません）`;
    notice.hidden = false;
  }
  // The engine names a story's files by their place in the page's memory; the reader knows them
  // by their place in the folder or archive opened.
  for (const error of state.errors.map((e) => e.replaceAll(`${kProjectDir}/`, ''))) {
    status.textContent = error;
    status.dataset.error = error;
    reportInBox(error);
  }
  for (const comment of state.abouts) showAbout(state.caption || 'Marivex Browser', comment);
}

// Errors are shown one box after another, as the window's modal boxes follow each other. A box
// opens once the input that caused it is over, so the Enter that chose does not also close it.
let errorBoxes = Promise.resolve();
function reportInBox(message) {
  errorBoxes = errorBoxes
    .then(() => new Promise((resolve) => setTimeout(resolve, 0)))
    .then(() => showError(message))
    .catch(() => {});
}

// The desktop's cursors over the page: waiting while a run (or its pause) goes on, busy while the
// page is revealed and its choices wait.
function showCursor(state) {
  stage.style.cursor = state.held ? 'wait' : state.choices.enabled ? '' : 'progress';
}

function applyState() {
  if (!host) return;
  const state = JSON.parse(host.state());
  lastState = state;
  showNotices(state);
  const g = canvas.getContext('2d');
  if (state.background.version !== backgroundVersion) {
    backgroundVersion = state.background.version;
    const { pictureWidth, pictureHeight } = state.background;
    backgroundImage = pictureWidth > 0 ? pictureCanvasOf(0, pictureWidth, pictureHeight) : null;
  }
  if (state.layoutVersion !== layout?.version) renderLayout();
  if (state.paint.full) {
    g.fillStyle = '#000';
    g.fillRect(0, 0, canvas.width, canvas.height);
    paintBackground(g, state.background);
  }
  for (const rect of state.paint.rects) uncover(g, rect);
  if (state.picture.version !== pictureVersion) {
    pictureVersion = state.picture.version;
    if (state.picture.shown) {
      putPicture(1, pictureCanvas, state.picture.width, state.picture.height);
    }
    placePicture(state.picture);
  }
  pictureCanvas.hidden = !state.picture.shown;
  placeButtons(state.choices);
  scrollFromHost = true;
  scrollSpace.style.height = `${pageHeight + state.scroll.max / ratio}px`;
  scroller.scrollTop = state.scroll.value / ratio;
  scroller.classList.toggle('disabled', !state.scroll.enabled);
  scrollFromHost = false;
  canvas.setAttribute('aria-label', state.text.trim());
  saveButton.disabled = !state.scriptOpen;
  loadButton.disabled = !state.quickLoad;
  document.body.dataset.revealed = String(state.revealed);
  if (state.caption) document.title = state.caption;
  showCursor(state);
  if (state.pagesShown !== pagesShown) {
    pagesShown = state.pagesShown;
    closeBacklog();
    speakPage();
  }
  return state;
}

// --- Saves ---------------------------------------------------------------------------------------

async function saveStore() {
  if (!saves) saves = await SaveStore.open();
  return saves;
}

// Whatever slot files the engine wrote are kept in the browser at once, so that a reload finds them.
async function keepSlots() {
  if (!project) return;
  const now = readSlots(player.FS, kProjectDir, kProgramDir, project.baseName);
  const changed = changedSlots(project.slots, now);
  project.slots = now;
  if (changed.size > 0) {
    await (await saveStore()).store(project.key, changed);
    status.dataset.saved = String(Number(status.dataset.saved ?? 0) + 1);
  }
}

// A command of the reader: the host acts, the page is drawn, the slots are kept.
function command(action) {
  if (!host || busy) return Promise.resolve();
  const result = action();
  applyState();
  return keepSlots().then(() => result);
}

// --- Opening -------------------------------------------------------------------------------------

// A fresh host of the current module with nothing open; the one before is written back first.
function newHost() {
  if (host) {
    host.flush();
    host.delete();
  }
  host = new player.WebStoryHost();
  return host;
}

// Full screen keeps the page's own size and layout and scales it up to the screen, its aspect
// kept; the canvas draws at the screen's pixels so that the text stays sharp.
let fullScale = 1;

function placeFullScreen() {
  const full = Boolean(document.fullscreenElement);
  document.body.classList.toggle('vrk-full', full);
  fullScale = full ? Math.min(window.innerWidth / pageWidth, window.innerHeight / pageHeight) : 1;
  if (!(fullScale > 0)) fullScale = 1;
  Object.assign(stage.style, full ? {
    position: 'fixed',
    left: `${Math.round((window.innerWidth - pageWidth * fullScale) / 2)}px`,
    top: `${Math.round((window.innerHeight - pageHeight * fullScale) / 2)}px`,
    transform: `scale(${fullScale})`,
    transformOrigin: '0 0',
  } : { position: '', left: '', top: '', transform: '', transformOrigin: '' });
  closeBacklog();
  sizeCanvas();
  if (host) {
    host.setPageSize(pageWidth, pageHeight, ratio);
    applyState();
    placePicture(lastState.picture);
  }
}

document.addEventListener('fullscreenchange', placeFullScreen);
window.addEventListener('resize', () => {
  if (document.fullscreenElement) placeFullScreen();
});

function sizeCanvas() {
  ratio = (window.devicePixelRatio || 1) * fullScale;
  for (const box of [sizer, stage]) {
    box.style.width = `${pageWidth}px`;
    box.style.height = `${pageHeight}px`;
  }
  canvas.style.width = `${pageWidth}px`;
  canvas.style.height = `${pageHeight}px`;
  canvas.width = Math.round(pageWidth * ratio);
  canvas.height = Math.round(pageHeight * ratio);
}

function passOptions() {
  const { mid, wav, other, oldExe, lowRes, contrast, nonstop } = options;
  host.setOptions({ mid, wav, other, oldExe, lowRes, contrast, nonstop });
  host.setRevealSpeed(options.revealSpeed);
  host.setLineGapTenths(options.gapTenths);
  host.setAutoAdvance(options.autoAdvance);
}

async function fontsReady() {
  await loadFace(fontFamily);
  try {
    await document.fonts.load(fontAt(1), '漢字Sample');
  } catch {
    // an unknown face falls back like any other
  }
}

// The slot picker as the window's: it stays open, describing each slot picked and arming then
// carrying out the erase button, until Ok; it cannot be cancelled. Then the names a fresh slot asks.
// Resolves to the slot loaded, or 0 when it could not be read. Slot 1 is offered first, as there.
async function pickSlotAndNames() {
  const describe = (n) => JSON.parse(host.describeSlot(n));
  const slots = [1, 2, 3, 4].map(describe);
  // The engine's comment as the window shows it ("未使用ファイルです。" for a free slot too).
  const view = ({ caption, comment, fresh }) => ({ caption, comment, fresh });
  const shown = (answer) => {
    if (!answer.ok) throw new Error(lastErrors().join('\n') || 'slot');
    return view(answer);
  };
  const handlers = {
    describe: (slot) => shown(describe(slot)),
    erase: () => shown(JSON.parse(host.eraseSlot())),
    report: (error) => failed(error),
  };
  let answer;
  while (!answer || !describe(answer.slot).ok) {
    answer = await chooseSlot(slots.map(view), answer?.slot ?? 1, handlers);
  }
  if (!host.loadSlot()) return 0;
  for (const { index, prompt, name } of JSON.parse(host.names())) {
    // An empty name is refused: the box comes back until something is typed.
    for (;;) {
      const typed = await enterName(prompt, name);
      if (host.setName(index, typed ?? '')) break;
    }
  }
  return answer.slot;
}

// The bar names the slot the story plays, and nothing while none does.
function showSlot(slot) {
  slotShown.textContent = slot ? `スロット ${slot}` : '';
  slotShown.hidden = !slot;
}

// The errors the host has queued, taken from its state.
function lastErrors() {
  const state = JSON.parse(host.state());
  return state.errors;
}

async function openStory() {
  busy = true;
  try {
    await fontsReady();
    sizeCanvas();
    host.setPageSize(pageWidth, pageHeight, ratio);
    passOptions();
    layout = null;
    backgroundVersion = -1;
    pictureVersion = -1;
    pagesShown = 0;
    delete status.dataset.error;
    showSlot(0);
    const slot = host.setProject(`${kProjectDir}/${project.fileName}`) ? await pickSlotAndNames() : 0;
    const opened = slot && host.start();
    showSlot(opened ? slot : 0);
    busy = false;
    applyState();
    await keepSlots();
    return Boolean(opened);
  } finally {
    busy = false;
  }
}

// FILES are { path, bytes } relative to the chosen folder or the archive's root.
async function openProject(files, label) {
  const projectPath = findProjectFile(files);
  if (!projectPath) {
    status.textContent = `${label} に .vrk ファイルがありません`;
    reportInBox(status.textContent);
    return;
  }
  // A script over the player's limit is refused here, before the slot picker, under the name it
  // has in the folder or archive opened.
  const scriptFile = files.find((f) => f.path === projectPath);
  const refused = scriptFile.member?.problem();
  if (refused) throw new Error(`${projectPath}: ${refused}`);
  // The project's own folder becomes the root: files beside and below the project file.
  const dir = projectPath.includes('/') ? projectPath.slice(0, projectPath.lastIndexOf('/') + 1) : '';
  // A member of an archive stays packed until the story reads it (project.mjs, zipFile).
  const inside = files.filter((f) => f.path.startsWith(dir)).map((f) => (f.member
    ? { path: f.path.slice(dir.length), member: f.member }
    : { path: f.path.slice(dir.length), bytes: f.bytes }));
  const fileName = projectPath.slice(dir.length);
  const baseName = fileName.slice(0, fileName.lastIndexOf('.'));
  // Within the script's limit; read whole here (a member of an archive refuses here what it
  // turns out to hold beyond its declared size).
  const script = scriptFile.bytes;

  if (host) {
    host.flush();
    host.delete();
  }
  host = null;  // nothing ticks until the new story is open
  showSlot(0);
  saveButton.disabled = true;
  loadButton.disabled = true;
  sound.closeSound();  // the sound of the story before, should its player not have closed it
  await windowDefaults;
  // A fresh module, and with it a fresh file system, for every project.
  player = await (firstModule ?? createVrk3());
  firstModule = null;
  player.vrkSound = sound.createSoundPort();
  player.vrkMeasure = measure;
  newHost();
  busy = true;
  resolveFamily();
  writeFiles(player.FS, kProjectDir, inside, (error) => reportInBox(error.message));
  const key = await projectKey(fileName, script);
  const kept = await (await saveStore()).load(key);
  if (kept.size > 0) restoreSlots(player.FS, kProjectDir, baseName, kept);
  project = { key, fileName, baseName, slots: readSlots(player.FS, kProjectDir, kProgramDir, baseName) };
  notice.hidden = true;
  delete notice.dataset.programs;
  status.textContent = `${label}: ${fileName}`;
  await openStory();
  document.body.dataset.opened = key;
}

// --- Input ---------------------------------------------------------------------------------------

function clickButton(k) {
  command(() => host.clickButton(k)).then((chose) => {
    // With no story in progress the single button opens the project again.
    if (chose === false && project) reopen();
  });
}

function reopen() {
  if (!host || busy) return;
  newHost();
  keepSlots().then(openStory);
}

const kScrollKeys = { PageUp: 1, PageDown: 2, ArrowUp: 3, ArrowDown: 4, Home: 5, End: 6 };

document.addEventListener('keydown', (event) => {
  const tag = event.target.tagName;
  if (!host || busy || tag === 'INPUT' || tag === 'SELECT' || tag === 'TEXTAREA' || event.ctrlKey || event.altKey ||
      event.metaKey || event.defaultPrevented || document.querySelector('dialog[open]')) {
    return;
  }
  if (event.key in kScrollKeys) {
    // PageUp at the top is the backlog's key (the menu's); below, it scrolls.
    if (event.key === 'PageUp' && lastState?.scroll.value === 0) return;
    if (lastState?.scroll.enabled) {
      event.preventDefault();
      command(() => host.scrollByKey(kScrollKeys[event.key]));
    }
    return;
  }
  let code = 0;
  if (event.key === 'Enter') code = 13;
  else if (event.key.length === 1) code = event.key.charCodeAt(0);
  if (code !== 0) {
    // A key that chose is not handed on, so a focused button cannot act on it a second time.
    let chose = false;
    command(() => {
      chose = host.chooseKey(code);
    });
    if (chose) event.preventDefault();
  }
});
canvas.addEventListener('click', () => command(() => host.clickPage()));
canvas.addEventListener('wheel', (event) => {
  event.preventDefault();
  if (event.deltaY < 0 && host && lastState && (!lastState.scroll.enabled || lastState.scroll.value === 0)) {
    showBacklog();
  } else if (event.deltaY !== 0) {
    command(() => host.wheel(Math.sign(event.deltaY) * 120));
  }
}, { passive: false });
scroller.addEventListener('scroll', () => {
  if (!scrollFromHost && host) command(() => host.scrollTo(Math.round(scroller.scrollTop * ratio)));
});
// A thumb let go lands on a whole line, once the scroll bar has come to rest: an engine may tell
// of its last move only after the button is up, or still be paging after a click on the track
// (a line set meanwhile would stop it short).
scroller.addEventListener('pointerup', () => {
  let last = null;
  let stillFrames = 0;
  const settle = () => {
    const top = scroller.scrollTop;
    stillFrames = top === last ? stillFrames + 1 : 0;
    last = top;
    if (stillFrames < 3) {
      requestAnimationFrame(settle);
      return;
    }
    command(() => {
      host.scrollTo(Math.round(top * ratio));
      host.snapScroll();
    });
  };
  requestAnimationFrame(settle);
});
// An engine whose scroll bar lies over its box (WebKitGTK's) takes a click on the track as a jump
// of the thumb to it, made before the page hears of the click. There the page takes the click as
// the window's scroll bar does, a page towards it from where the page was. Elsewhere the scroll bar
// takes room of its own and the engine pages itself.
scroller.addEventListener('pointerdown', (event) => {
  const scroll = lastState?.scroll;
  if (event.button !== 0 || scroller.offsetWidth - scroller.clientWidth > 0 || !scroll?.enabled) return;
  const track = scroller.clientHeight;
  const thumbTop = (track * scroll.value) / ratio / scroller.scrollHeight;
  const thumbBottom = thumbTop + (track * track) / scroller.scrollHeight;
  if (event.offsetY >= thumbTop && event.offsetY < thumbBottom) return;  // the thumb: dragged
  event.preventDefault();
  command(() => host.scrollByKey(event.offsetY < thumbTop ? kScrollKeys.PageUp : kScrollKeys.PageDown));
});
// The page follows its box when the reader drags its corner, as the window follows its edges.
new ResizeObserver(([entry]) => {
  const width = Math.round(entry.contentRect.width);
  const height = Math.round(entry.contentRect.height);
  if (pageSized && width > 0 && height > 0 && (width !== pageWidth || height !== pageHeight)) {
    resizePage(width, height);
  }
}).observe(sizer);

setInterval(() => {
  if (host && !busy && !pauseTicks) {
    host.tick();
    applyState();
  }
}, kTickMs);

// --- Options and menu ---------------------------------------------------------------------------

onOptionsChanged((next) => {
  if (next.speech !== options.speech && !next.speech) speechSynthesis()?.cancel();
  const fontChanged = ['fontName', 'fontSize', 'bold', 'italic'].some((k) => next[k] !== options[k]);
  options = { ...next };
  resolveFamily();
  if (!host) return;
  passOptions();
  if (fontChanged) {
    fontsReady().then(() => command(() => host.fontChanged()));
  } else {
    applyState();
  }
});

// The menu bar carries out option items itself (options.mjs) and tells the page through
// onOptionsChanged; these are the commands it hands to the page.
const byId = (id) => document.getElementById(id);
const showManual = () => window.open('vrk3.html#HID00000002', 'vrk3-manual');
setHomePageAction(showManual);
const actions = {
  openAction: () => byId('zip').click(),
  openFolderAction: () => byId('folder').click(),
  reopenAction: reopen,
  quickSaveAction: () => command(() => host.quickSave()),
  quickLoadAction: () => command(() => host.quickLoad()),
  exportAction: () => byId('export').click(),
  importAction: () => byId('import').click(),
  exitAction: () => {
    if (host) host.flush();
    keepSlots();
  },
  balanceAction: () => {
    const size = balanceTo4by3(pageWidth - scrollBarWidth, pageHeight, scrollBarWidth);
    resizePage(size.width, size.height);
  },
  fullScreenAction: () => (document.fullscreenElement ? document.exitFullscreen()
    : document.documentElement.requestFullscreen()),
  helpContentsAction: showManual,
  reportError: (error) => failed(error),
  backlogAction: showBacklog,
  backAction: () => command(() => host.goBackOnePage()),
  copyTextAction: () => (lastState?.text ? copyToClipboard(lastState.text) : undefined),
  autoAdvanceAction: (o) => command(() => host.setAutoAdvance(o.autoAdvance)),
  skipAction: () => command(() => host.setSkipping(!lastState?.skipping)),
  speechAction: (o) => (o.speech ? speakPage() : speechSynthesis()?.cancel()),
  // What the menus' rules read: how the reading and the page stand.
  facts: () => ({
    session: {
      projectKnown: Boolean(host && lastState?.projectKnown),
      quickSaveEnabled: Boolean(host && lastState?.scriptOpen),
      quickLoadEnabled: Boolean(host && lastState?.quickLoad),
      canGoBack: Boolean(host && lastState?.canGoBack),
      backlogAvailable: Boolean(host && lastState?.backlogPages > 0),
      hasPageText: Boolean(lastState?.text),
      autoAdvance: options.autoAdvance,
      skipping: Boolean(lastState?.skipping),
      revealSpeed: options.revealSpeed,
      lineGapTenths: options.gapTenths,
      nonstop: options.nonstop,
      mid: options.mid,
      wav: options.wav,
      other: options.other,
      oldExe: options.oldExe,
      lowRes: options.lowRes,
      contrast: options.contrast,
    },
    frontEnd: {
      fullScreen: Boolean(document.fullscreenElement),
      // The page has no window of its own to balance while it fills the screen.
      sizeLocked: Boolean(document.fullscreenElement),
      speech: options.speech,
      pageAtTop: !lastState?.scroll.enabled || lastState.scroll.value === 0,
    },
  }),
};
const menuBar = byId('menubar');
installDropTarget(document.body, (files, label) => openProject(files, label).catch(failed), failed);

function resizePage(width, height) {
  pageSized = true;
  const { minPageWidth, minPageHeight } = model().window;
  pageWidth = Math.max(minPageWidth, width);
  pageHeight = Math.max(minPageHeight, height);
  sizeCanvas();
  if (host) {
    host.setPageSize(pageWidth, pageHeight, ratio);
    applyState();
    placePicture(lastState.picture);
  }
}

// --- The view menu's comforts ---------------------------------------------------------------

// The backlog: the earlier pages' text over the page (not over its scroll bar), at its end.
function showBacklog() {
  if (!host || !backlogPanel || !backlogPanel.hidden || !(lastState?.backlogPages > 0)) return;
  const pages = JSON.parse(host.backlogJson());
  backlogPanel.textContent = pages.map((lines) => lines.map((line) => `${line}\n`).join('')).join('\n――――\n\n');
  backlogPanel.hidden = false;
  host.setBacklogOpen(true);
  backlogPanel.scrollTop = backlogPanel.scrollHeight;
  backlogPanel.focus();
}

function closeBacklog() {
  if (!backlogPanel || backlogPanel.hidden) return;
  backlogPanel.hidden = true;
  if (host) host.setBacklogOpen(false);
  if (backlogPanel.contains(document.activeElement)) document.activeElement.blur();
}

if (backlogPanel) {
  backlogPanel.addEventListener('click', closeBacklog);
  backlogPanel.addEventListener('wheel', (event) => {
    const atEnd = backlogPanel.scrollTop + backlogPanel.clientHeight >= backlogPanel.scrollHeight - 1;
    if (event.deltaY > 0 && atEnd) {
      event.preventDefault();
      closeBacklog();
    }
  }, { passive: false });
}

// Keys while the backlog is up: Escape closes it; nothing chooses behind it; its scrolling keys
// and the menus' shortcuts stay theirs. Any other input stops auto-advance and skipping.
function stopAutoAndSkip() {
  if (!host) return;
  if (options.autoAdvance) saveOptions({ ...options, autoAdvance: false });
  if (lastState?.skipping || options.autoAdvance) command(() => host.stopAutoAndSkip());
}

const kComfortToggles = ['Ctrl+A', 'Ctrl+D'];
window.addEventListener('keydown', (event) => {
  if (['Control', 'Shift', 'Alt', 'Meta'].includes(event.key) || document.querySelector('dialog[open]')) return;
  const toggle = (event.ctrlKey || event.metaKey) && !event.altKey && !event.shiftKey &&
    kComfortToggles.includes(`Ctrl+${event.key.toUpperCase()}`);
  if (!toggle) stopAutoAndSkip();
  if (!backlogPanel || backlogPanel.hidden) return;
  if (event.key === 'Escape') {
    event.preventDefault();
    event.stopPropagation();
    closeBacklog();
    return;
  }
  const shortcut = event.ctrlKey || event.altKey || event.metaKey || event.key === 'F1' || event.key === 'F11';
  if (!shortcut && (event.key.length === 1 || event.key === 'Enter')) {
    event.preventDefault();
    event.stopPropagation();
  } else if (!shortcut && !backlogPanel.contains(event.target)) {
    // Its scrolling keys scroll it, not the page.
    backlogPanel.focus();
    event.stopPropagation();
  }
}, true);
window.addEventListener('pointerdown', (event) => {
  const menus = document.getElementById('menubar');
  if (!(menus && menus.contains(event.target))) stopAutoAndSkip();
}, true);

// The clipboard API is there only for pages of a secure origin; elsewhere the older way.
function copyToClipboard(text) {
  if (navigator.clipboard?.writeText) return navigator.clipboard.writeText(text);
  const area = document.createElement('textarea');
  area.value = text;
  area.style.position = 'fixed';
  area.style.opacity = '0';
  document.body.append(area);
  area.select();
  document.execCommand('copy');
  area.remove();
  return undefined;
}

// Reading aloud through the browser's speech service, in a Japanese voice where there is one.
function speechSynthesis() {
  return globalThis.speechSynthesis ?? null;
}

function speakPage() {
  const speech = speechSynthesis();
  const text = lastState?.text?.trim();
  if (!options.speech || !text || !speech || typeof SpeechSynthesisUtterance === 'undefined') return;
  const utterance = new SpeechSynthesisUtterance(text);
  const voice = speech.getVoices().find((v) => /^ja\b/i.test(v.lang));
  utterance.lang = voice?.lang ?? 'ja-JP';
  if (voice) utterance.voice = voice;
  speech.cancel();
  speech.speak(utterance);
}

// --- Files -----------------------------------------------------------------------------------------

async function readFolder(fileList) {
  const files = [];
  for (const file of fileList) {
    // Below the chosen folder; files handed over without their folder keep their own names.
    files.push(await readLooseFile(
      file.webkitRelativePath ? file.webkitRelativePath.split('/').slice(1).join('/') : file.name, file));
  }
  return files;
}

function download(name, bytes) {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([bytes], { type: 'application/zip' }));
  link.download = name;
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 0);
}

function failed(error) {
  busy = false;
  status.textContent = `開けません: ${error.message}`;
  reportInBox(`開けません: ${error.message}`);
}

document.getElementById('folder').addEventListener('change', (event) => {
  const list = Array.from(event.target.files);
  const label = list.length > 0 ? list[0].webkitRelativePath.split('/')[0] || 'folder' : '';
  readFolder(list).then((files) => openProject(files, label)).catch(failed);
  event.target.value = '';
});
document.getElementById('zip').addEventListener('change', async (event) => {
  const file = event.target.files[0];
  event.target.value = '';
  if (file) {
    try {
      await openProject(readZipFile(file.name, new Uint8Array(await file.arrayBuffer())), file.name);
    } catch (error) {
      failed(error);
    }
  }
});
document.getElementById('export').onclick = () => {
  if (project) download(`${project.baseName}-saves.zip`, exportSlots(project.baseName, project.slots));
};
// Slot files brought from elsewhere replace the kept ones; the story is opened again on them.
document.getElementById('import').addEventListener('change', async (event) => {
  const list = Array.from(event.target.files);
  event.target.value = '';
  if (!project) return;
  let slots;
  try {
    const files = await Promise.all(list.map(async (f) => ({ name: f.name, ...(await readLooseFile(f.name, f)) })));
    slots = importSlots(project.baseName, files);
  } catch (error) {
    failed(error);
    return;
  }
  if (slots.size === 0) {
    status.textContent = `${project.baseName} のセーブファイルがありません`;
    return;
  }
  await (await saveStore()).store(project.key, slots);
  newHost();  // the open story writes its slot first, so the imported ones win
  restoreSlots(player.FS, kProjectDir, project.baseName, slots);
  project.slots = readSlots(player.FS, kProjectDir, kProgramDir, project.baseName);
  status.textContent = `${project.baseName}: ${slots.size} 個のセーブファイルを読み込みました`;
  await openStory();
});
saveButton.onclick = () => actions.quickSaveAction();
loadButton.onclick = () => actions.quickLoadAction();

// For tests and for a page that embeds the reader: hold the timer, size the page.
window.vrkPage = {
  actions,
  hold(held) {
    pauseTicks = held;
  },
  resize: resizePage,
  state: () => lastState,
  // The laid-out page's display lines as text, and the scale full screen draws at.
  lines: () => (layout ? layout.lines.map((line) => line.chars.map(([, text]) => text).join('')) : []),
  // The cell grid the page is laid out in.
  grid: () => (layout ? { cellWidth: layout.cellWidth, lineHeight: layout.lineHeight } : null),
  scale: () => fullScale,
};

sizeCanvas();

// The page's module, made at once: it tells the window's size before anything opens, and the
// first project opened takes it.
let firstModule = createVrk3();

// What the page shows first comes with the module's page model: the options, the faces, the menu
// bar and the bar's buttons, which are the file menu's quick save and quick load under its captions.
function takeModel(module) {
  useModel(module);
  for (const face of model().faces) document.fonts.add(new FontFace(face.family, `url("${face.file}")`));
  options = loadOptions();
  resolveFamily();
  if (menuBar) buildMenuBar(menuBar, actions);
  for (const [button, id] of [[saveButton, 'quickSaveAction'], [loadButton, 'quickLoadAction']]) {
    const { caption, key } = menuItem(id);
    button.textContent = caption;
    button.title = `${caption} (${key})`;
  }
}

// The page opens at the window's default size with its scroll bar: the window's height holds
// its menu bar, so the page's height is what its own menu bar leaves of it (measured in its own
// face, which moves it by a pixel or two).
async function takeWindowDefaults() {
  const module = await firstModule;
  takeModel(module);
  const defaults = model().window;
  scrollBarWidth = defaults.scrollBar;
  document.documentElement.style.setProperty('--scroll-bar', `${scrollBarWidth}px`);
  let menuHeight = 0;
  if (menuBar) {
    try {
      await document.fonts.load(getComputedStyle(menuBar).font);
    } catch {
      // measured in whatever face it has
    }
    menuHeight = Math.round(menuBar.getBoundingClientRect().height);
  }
  if (!pageSized) resizePage(defaults.width, defaults.height - menuHeight);
  sizeCanvas();
  canvas.getContext('2d').fillRect(0, 0, canvas.width, canvas.height);
}
const windowDefaults = takeWindowDefaults();
windowDefaults.catch(failed);

// A story the page's address names (?zip=stories/demo.zip) opens at once: a site can link to it.
const named = new URLSearchParams(location.search).get('zip');
if (named) {
  fetch(named)
    .then((response) => {
      if (!response.ok) throw new Error(`${response.status} ${named}`);
      return response.arrayBuffer();
    })
    .then((bytes) => {
      const name = named.split('/').pop();
      return openProject(readZipFile(name, new Uint8Array(bytes)), name);
    })
    .catch(failed);
}
