// The reading page: a project folder or zip goes into the player's in-memory files, the story
// runs in the page's host (WebStoryHost in the WebAssembly module), and the page draws what the
// host lays out and reveals onto the canvas, as the window's page view does. This module wires
// the parts together: drawing.mjs draws, input.mjs takes the reader's input, opening.mjs opens
// stories and keeps their slots, comforts.mjs has the view menu's comforts; the menus and every
// rule come from the page model (model.mjs).
import { copyToClipboard, showBacklog, speakPage, speechSynthesis } from './comforts.mjs';
import { setHomePageAction } from './dialogs.mjs';
import { showRouteMap } from './route_map.mjs';
import { applyState, fontsReady, resizePage, resolveFamily, sizeCanvas } from './drawing.mjs';
import { installDropTarget } from './drop.mjs';
import { readGamepads } from './gamepad.mjs';
import './input.mjs';
import { buildMenuBar, menuItem } from './menu.mjs';
import { model, useModel } from './model.mjs';
import { command, failed, keepSlots, openProject, passOptions, reopen } from './opening.mjs';
import { loadOptions, onOptionsChanged } from './options.mjs';
import { byId, canvas, kTickMs, loadButton, saveButton, shared, sizer } from './page_state.mjs';
import { readZipFile } from './project.mjs';
import { isPublished, openPublished } from './published.mjs';
import { holdSoundUntil } from './sound.mjs';

let pauseTicks = false; // a test holds the timer to look at a still page

setInterval(() => {
  if (shared.host && !shared.busy && !pauseTicks) {
    shared.host.tick();
    applyState();
  }
}, kTickMs);

// The gamepads, read every frame the page is drawn; a pad's press carries out a menu item as its
// shortcut would, through the menu bar's rules when the page has one.
readGamepads((id) => (shared.menuBar ? shared.menuBar.run(id) : actions[id]?.(shared.options)));

// --- Options and menu ---------------------------------------------------------------------------

onOptionsChanged((next) => {
  if (next.speech !== shared.options.speech && !next.speech) speechSynthesis()?.cancel();
  const fontChanged = ['fontName', 'fontSize', 'bold', 'italic'].some((k) => next[k] !== shared.options[k]);
  shared.options = { ...next };
  resolveFamily();
  if (!shared.host) return;
  passOptions();
  if (fontChanged) {
    fontsReady().then(() => command(() => shared.host.fontChanged()));
  } else {
    applyState();
  }
});

// The menu bar carries out option items itself (options.mjs) and tells the page through
// onOptionsChanged; these are the commands it hands to the page.
const showManual = () => window.open('vrk3.html#HID00000002', 'vrk3-manual');
setHomePageAction(showManual);
const actions = {
  openAction: () => byId('zip').click(),
  openFolderAction: () => byId('folder').click(),
  reopenAction: reopen,
  quickSaveAction: () => command(() => shared.host.quickSave()),
  quickLoadAction: () => command(() => shared.host.quickLoad()),
  exportAction: () => byId('export').click(),
  importAction: () => byId('import').click(),
  exitAction: () => {
    if (shared.host) shared.host.flush();
    keepSlots();
  },
  balanceAction: () => {
    const size = model().balance4to3(
      shared.pageWidth - shared.scrollBarWidth,
      shared.pageHeight,
      shared.scrollBarWidth,
    );
    resizePage(size.width, size.height);
  },
  fullScreenAction: () =>
    document.fullscreenElement ? document.exitFullscreen() : document.documentElement.requestFullscreen(),
  helpContentsAction: showManual,
  reportError: (error) => failed(error),
  backlogAction: showBacklog,
  backAction: () => command(() => shared.host.goBackOnePage()),
  copyTextAction: () => (shared.lastState?.text ? copyToClipboard(shared.lastState.text) : undefined),
  readerMapAction: showRouteMap,
  autoAdvanceAction: (o) => command(() => shared.host.setAutoAdvance(o.autoAdvance)),
  skipAction: () => command(() => shared.host.setSkipping(!shared.lastState?.skipping)),
  speechAction: (o) => (o.speech ? speakPage() : speechSynthesis()?.cancel()),
  // What the menus' rules read: how the reading and the page stand.
  facts: () => ({
    // The session's own facts, with the settings the page keeps as the window keeps them in its
    // menus: auto-advance, the speed, the line gap and the engine's options.
    session: {
      ...shared.host?.facts(),
      autoAdvance: shared.options.autoAdvance,
      revealSpeed: shared.options.revealSpeed,
      lineGapTenths: shared.options.gapTenths,
      musicVolume: shared.options.musicVolume,
      effectVolume: shared.options.effectVolume,
      options: shared.options,
    },
    frontEnd: {
      fullScreen: Boolean(document.fullscreenElement),
      // The page has no window of its own to balance while it fills the screen.
      sizeLocked: Boolean(document.fullscreenElement),
      speech: shared.options.speech,
      pageAtTop: !shared.lastState?.scroll.enabled || shared.lastState.scroll.value === 0,
    },
  }),
};
const menuBar = byId('menubar');
installDropTarget(document.body, (files, label) => openProject(files, label).catch(failed), failed);

saveButton.onclick = () => actions.quickSaveAction();
loadButton.onclick = () => actions.quickLoadAction();

// For tests and for a page that embeds the reader: hold the timer, size the page.
window.vrkPage = {
  actions,
  hold(held) {
    pauseTicks = held;
  },
  // Once the page model is there: a page that embeds the reader may size it before the module loads.
  resize: (width, height) => shared.ready.then(() => resizePage(width, height)),
  state: () => shared.lastState,
  // The laid-out page's display lines as text, and the scale full screen draws at.
  lines: () => (shared.layout ? shared.layout.lines.map((line) => line.chars.map(([, text]) => text).join('')) : []),
  // The cell grid the page is laid out in.
  grid: () => (shared.layout ? { cellWidth: shared.layout.cellWidth, lineHeight: shared.layout.lineHeight } : null),
  scale: () => shared.fullScale,
};

sizeCanvas();

// The page's module, made at once: it tells the window's size before anything opens, and the
// first project opened takes it.
shared.firstModule = createVrk3();

// What the page shows first comes with the module's page model: the options, the faces, the menu
// bar and the bar's buttons, which are the file menu's quick save and quick load under its captions.
function takeModel(module) {
  useModel(module);
  // A published story brings its faces cut, in its own style sheet.
  if (!isPublished()) {
    for (const face of model().faces) document.fonts.add(new FontFace(face.family, `url("${face.file}")`));
  }
  shared.options = loadOptions();
  resolveFamily();
  if (menuBar) shared.menuBar = buildMenuBar(menuBar, actions);
  for (const [button, id] of [
    [saveButton, 'quickSaveAction'],
    [loadButton, 'quickLoadAction'],
  ]) {
    const { caption, key } = menuItem(id);
    button.textContent = caption;
    button.title = `${caption} (${key})`;
  }
}

// The page opens at the window's default size with its scroll bar: the window's height holds
// its menu bar, so the page's height is what its own menu bar leaves of it (measured in its own
// face, which moves it by a pixel or two).
async function takeWindowDefaults() {
  const module = await shared.firstModule;
  takeModel(module);
  const defaults = model().window;
  shared.scrollBarWidth = defaults.scrollBar;
  document.documentElement.style.setProperty('--scroll-bar', `${shared.scrollBarWidth}px`);
  // The smallest page the reader can drag its box to, as the window's smallest.
  Object.assign(sizer.style, { minWidth: `${defaults.minPageWidth}px`, minHeight: `${defaults.minPageHeight}px` });
  let menuHeight = 0;
  if (menuBar) {
    try {
      await document.fonts.load(getComputedStyle(menuBar).font);
    } catch {
      // measured in whatever face it has
    }
    menuHeight = Math.round(menuBar.getBoundingClientRect().height);
  }
  if (!shared.pageSized) resizePage(defaults.width, defaults.height - menuHeight);
  sizeCanvas();
  canvas.getContext('2d').fillRect(0, 0, canvas.width, canvas.height);
}
const windowDefaults = takeWindowDefaults();
shared.ready = windowDefaults;
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

// A story published with the page (vrkc --web) opens at once.
if (!named) openPublished(openProject, holdSoundUntil).catch(failed);
