// The reading page: a project folder goes into the player's in-memory files, and each report
// the player prints (the terminal's @page / "| " / @choices / @end lines) is drawn on the canvas.
import {
  SaveStore, changedSlots, exportSlots, findProjectFile, importSlots, projectKey, readSlots, readZip,
  restoreSlots, writeFiles,
} from './project.mjs';
import { installDropTarget } from './drop.mjs';
import { setHomePageAction } from './dialogs.mjs';
import { buildMenuBar } from './menu.mjs';
import { fontFamilyFor, loadOptions, onOptionsChanged } from './options.mjs';
import * as sound from './sound.mjs';

const canvas = document.getElementById('page');
const status = document.getElementById('status');
const choiceBar = document.getElementById('choices');
const notice = document.getElementById('notice');
let player = null;
let choiceCount = 0;
let ended = true;

const kCssWidth = 640;
const kCssHeight = 400;
let options = loadOptions();
let drawn = [[], ''];

function drawPage(lines, note) {
  drawn = [lines, note];
  // Points as the desktop sizes them on a 96 dpi screen; the gap in tenths of a line.
  const kFontPx = Math.round((options.fontSize * 96) / 72);
  const kLineGap = Math.round((kFontPx * (options.gapTenths - 10)) / 10);
  const ratio = window.devicePixelRatio || 1;
  canvas.width = Math.round(kCssWidth * ratio);
  canvas.height = Math.round(kCssHeight * ratio);
  const g = canvas.getContext('2d');
  g.setTransform(ratio, 0, 0, ratio, 0, 0);
  g.fillStyle = '#000';
  g.fillRect(0, 0, kCssWidth, kCssHeight);
  g.font = `${options.italic ? 'italic ' : ''}${options.bold ? 'bold ' : ''}${kFontPx}px "${fontFamilyFor(options.fontName)}", monospace`;
  g.textBaseline = 'top';
  g.fillStyle = '#fff';
  let y = 8;
  for (const line of lines) {
    g.fillText(line, 8, y);
    y += kFontPx + kLineGap;
  }
  if (note) {
    g.fillStyle = '#f66';
    g.fillText(note, 8, kCssHeight - kFontPx - 8);
  }
}

function showReport(report) {
  const lines = [];
  let note = '';
  const programs = [];
  for (const line of report.split('\n')) {
    if (line.startsWith('| ')) {
      lines.push(line.slice(2));
    } else if (line.startsWith('@choices ')) {
      choiceCount = Number(line.slice(9));
      ended = false;
    } else if (line === '@end') {
      choiceCount = 0;
      ended = true;
      note = '（おわり）';
    } else if (line.startsWith('@error ')) {
      note = line.slice(7);
    } else if (line.startsWith('@exec ')) {
      // A browser starts no programs; say which one the story asked for.
      note = `外部プログラム: ${line.slice(6)}`;
      programs.push(`「${line.slice(6).replaceAll(`${kProjectDir}/`, '')}」`);
    } else if (line.startsWith('vrk3: ')) {
      note = line.slice(6);
    }
  }
  if (programs.length > 0) {
    notice.textContent = `このお話は外部プログラム${programs.join('、')}を起動しようとしました（ブラウザでは起動しません）`;
    notice.hidden = false;
  }
  if (lines.length > 0 || note) {
    drawPage(lines, note);
    canvas.setAttribute('aria-label', [...lines, note].join('\n').trim());
  }
  choiceBar.replaceChildren();
  for (let i = 0; i < choiceCount; ++i) {
    const button = document.createElement('button');
    button.textContent = String.fromCharCode(65 + i);
    button.onclick = () => send(choiceCount === 1 ? '' : button.textContent);
    choiceBar.append(button);
  }
}

const kProjectDir = '/project';
const kProgramDir = '/';  // the player's own folder, "/", where saves go when a project ships none
let project = null;  // { key, baseName, slots } of the open story
let saves = null;

async function saveStore() {
  if (!saves) {
    saves = await SaveStore.open();
  }
  return saves;
}

// Whatever slot files the engine wrote during the last run are kept in the browser at once,
// so that a reload finds them.
async function keepSlots() {
  if (!project) {
    return;
  }
  const now = readSlots(player.FS, kProjectDir, kProgramDir, project.baseName);
  const changed = changedSlots(project.slots, now);
  project.slots = now;
  if (changed.size > 0) {
    await (await saveStore()).store(project.key, changed);
    status.dataset.saved = String(Number(status.dataset.saved ?? 0) + 1);
  }
}

function run(call) {
  showReport(call());
  return keepSlots();
}

function send(line) {
  if (player && !ended) {
    return run(() => player.ccall('vrkInput', 'string', ['string'], [line]));
  }
  return Promise.resolve();
}

// FILES are { path, bytes } relative to the chosen folder or the archive's root.
async function openProject(files, label) {
  const projectPath = findProjectFile(files);
  if (!projectPath) {
    status.textContent = `${label} に .vrk ファイルがありません`;
    return;
  }
  // The project's own folder becomes the root: files beside and below the project file.
  const dir = projectPath.includes('/') ? projectPath.slice(0, projectPath.lastIndexOf('/') + 1) : '';
  const inside = files.filter((f) => f.path.startsWith(dir)).map((f) => ({ ...f, path: f.path.slice(dir.length) }));
  const fileName = projectPath.slice(dir.length);
  const baseName = fileName.slice(0, fileName.lastIndexOf('.'));
  const script = files.find((f) => f.path === projectPath).bytes;

  sound.closeSound();  // the sound of the story before, should its player not have closed it
  player = await createVrk3({ vrkSound: sound.createSoundPort() });  // a fresh file system for every project
  writeFiles(player.FS, kProjectDir, inside);
  const key = await projectKey(fileName, script);
  const kept = await (await saveStore()).load(key);
  if (kept.size > 0) {
    restoreSlots(player.FS, kProjectDir, baseName, kept);
  }
  project = { key, fileName, baseName, slots: readSlots(player.FS, kProjectDir, kProgramDir, baseName) };
  notice.hidden = true;
  status.textContent = `${label}: ${fileName}`;
  const slot = Number(document.getElementById('slot').value);
  await run(() =>
    player.ccall('vrkOpen', 'string', ['string', 'number', 'number'], [`${kProjectDir}/${fileName}`, slot, 0]));
  document.body.dataset.opened = key;
}

async function readFolder(fileList) {
  const files = [];
  for (const file of fileList) {
    files.push({
      path: file.webkitRelativePath.split('/').slice(1).join('/'),  // below the chosen folder
      bytes: new Uint8Array(await file.arrayBuffer()),
    });
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
  status.textContent = `開けません: ${error.message}`;
}

document.getElementById('folder').addEventListener('change', (event) => {
  const list = Array.from(event.target.files);
  const label = list.length > 0 ? list[0].webkitRelativePath.split('/')[0] : '';
  readFolder(list).then((files) => openProject(files, label)).catch(failed);
  event.target.value = '';
});
document.getElementById('zip').addEventListener('change', async (event) => {
  const file = event.target.files[0];
  event.target.value = '';
  if (file) {
    try {
      await openProject(readZip(new Uint8Array(await file.arrayBuffer())), file.name);
    } catch (error) {
      failed(error);
    }
  }
});
document.getElementById('export').onclick = () => {
  if (project) {
    download(`${project.baseName}-saves.zip`, exportSlots(project.baseName, project.slots));
  }
};
// Slot files brought from elsewhere replace the kept ones; the story is opened again on them.
document.getElementById('import').addEventListener('change', async (event) => {
  const list = Array.from(event.target.files);
  event.target.value = '';
  if (!project) {
    return;
  }
  const files = await Promise.all(list.map(async (f) => ({ name: f.name, bytes: new Uint8Array(await f.arrayBuffer()) })));
  const slots = importSlots(project.baseName, files);
  if (slots.size === 0) {
    status.textContent = `${project.baseName} のセーブファイルがありません`;
    return;
  }
  await (await saveStore()).store(project.key, slots);
  await send(':quit');  // the open story writes its slot first, so the imported ones win
  restoreSlots(player.FS, kProjectDir, project.baseName, slots);
  project.slots = readSlots(player.FS, kProjectDir, kProgramDir, project.baseName);
  status.textContent = `${project.baseName}: ${slots.size} 個のセーブファイルを読み込みました`;
  const slot = Number(document.getElementById('slot').value);
  await run(() => player.ccall('vrkOpen', 'string', ['string', 'number', 'number'],
    [`${kProjectDir}/${project.fileName}`, slot, 0]));
});
document.getElementById('save').onclick = () => send(':save');
document.getElementById('load').onclick = () => send(':load');
document.addEventListener('keydown', (event) => {
  if (event.target.tagName === 'INPUT' || event.target.tagName === 'SELECT' || event.defaultPrevented ||
      document.querySelector('dialog[open]')) {
    return;
  }
  if (event.key === 'Enter') {
    send('');
  } else if (/^[a-fA-F1-6]$/.test(event.key)) {
    send(event.key);
  }
});
// The page's chrome: the menu bar, projects dropped on the page, the options.
const byId = (id) => document.getElementById(id);
async function reopen() {
  if (!player || !project) {
    return;
  }
  await run(() => player.ccall('vrkOpen', 'string', ['string', 'number', 'number'],
    [`${kProjectDir}/${project.fileName}`, Number(byId('slot').value), 0]));
}
const showManual = () => window.open('vrk3.html#HID00000002', 'vrk3-manual');
setHomePageAction(showManual);
buildMenuBar(byId('menubar'), {
  openZip: () => byId('zip').click(),
  openFolder: () => byId('folder').click(),
  reopen,
  quickSave: () => send(':save'),
  quickLoad: () => send(':load'),
  exportSaves: () => byId('export').click(),
  importSaves: () => byId('import').click(),
  exit: () => send(':quit'),
  toggleFullScreen: () => (document.fullscreenElement ? document.exitFullscreen()
    : document.documentElement.requestFullscreen()),
  helpContents: showManual,
  reportError: failed,
  state: () => ({
    projectKnown: Boolean(project),
    quickSaveEnabled: Boolean(project),
    quickLoadEnabled: Boolean(project?.slots.has('.VR$')),
    fullScreen: Boolean(document.fullscreenElement),
  }),
});
installDropTarget(document.body, (files, label) => openProject(files, label).catch(failed), failed);
onOptionsChanged((changed) => {
  options = changed;
  drawPage(...drawn);
});
// A story the page's address names (?zip=stories/demo.zip) opens at once: a site can link to it.
const named = new URLSearchParams(location.search).get('zip');
if (named) {
  fetch(named)
    .then((response) => {
      if (!response.ok) throw new Error(`${response.status} ${named}`);
      return response.arrayBuffer();
    })
    .then((bytes) => openProject(readZip(new Uint8Array(bytes)), named.split('/').pop()))
    .catch(failed);
}
drawPage([], '');
