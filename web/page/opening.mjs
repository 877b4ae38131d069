// Opening a story: the project's files into the module's memory, a fresh module and host, the
// slot picker and the names, and the slots kept in the browser; the reader's commands go through
// command(), which draws and keeps the slots after each. Also the files the reader hands over or
// takes away (folders, archives, saves) and the errors and notices the host reports.
import { chooseSlot, enterName, showAbout, showError } from './dialogs.mjs';
import { applyState, fontsReady, measure, resolveFamily, sizeCanvas } from './drawing.mjs';
import {
  SaveStore,
  changedSlots,
  exportSlots,
  findProjectFile,
  importSlots,
  projectKey,
  readLooseFile,
  readSlots,
  readZipFile,
  restoreSlots,
  soundsIn,
  writeFiles,
} from './project.mjs';
import { kProgramDir, kProjectDir, loadButton, notice, saveButton, shared, slotShown, status } from './page_state.mjs';
import * as sound from './sound.mjs';

let saves = null;

export function showNotices(state) {
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
export function reportInBox(message) {
  errorBoxes = errorBoxes
    .then(() => new Promise((resolve) => setTimeout(resolve, 0)))
    .then(() => showError(message))
    .catch(() => {});
}

// --- Saves ---------------------------------------------------------------------------------------

async function saveStore() {
  if (!saves) saves = await SaveStore.open();
  return saves;
}

// Whatever slot files the engine wrote are kept in the browser at once, so that a reload finds them.
export async function keepSlots() {
  if (!shared.project) return;
  const now = readSlots(shared.player.FS, kProjectDir, kProgramDir, shared.project.baseName);
  const changed = changedSlots(shared.project.slots, now);
  shared.project.slots = now;
  if (changed.size > 0) {
    await (await saveStore()).store(shared.project.key, changed);
    status.dataset.saved = String(Number(status.dataset.saved ?? 0) + 1);
  }
}

// A command of the reader: the host acts, the page is drawn, the slots are kept.
export function command(action) {
  if (!shared.host || shared.busy) return Promise.resolve();
  const result = action();
  applyState();
  return keepSlots().then(() => result);
}

// --- Opening -------------------------------------------------------------------------------------

// A fresh host of the current module with nothing open; the one before is written back first.
export function newHost() {
  if (shared.host) {
    shared.host.flush();
    shared.host.delete();
  }
  shared.host = new shared.player.WebStoryHost();
  return shared.host;
}

export function passOptions() {
  const { mid, wav, other, oldExe, lowRes, contrast, nonstop } = shared.options;
  shared.host.setOptions({ mid, wav, other, oldExe, lowRes, contrast, nonstop });
  shared.host.setRevealSpeed(shared.options.revealSpeed);
  shared.host.setLineGapTenths(shared.options.gapTenths);
  shared.host.setAutoAdvance(shared.options.autoAdvance);
  shared.host.setVolumes(shared.options.musicVolume, shared.options.effectVolume);
}

// The slot picker as the window's: it stays open, describing each slot picked and arming then
// carrying out the erase button, until Ok; it cannot be cancelled. Then the names a fresh slot asks.
// Resolves to the slot loaded, or 0 when it could not be read. Slot 1 is offered first, as there.
async function pickSlotAndNames() {
  const describe = (n) => JSON.parse(shared.host.describeSlot(n));
  const slots = [1, 2, 3, 4].map(describe);
  // The engine's comment as the window shows it ("未使用ファイルです。" for a free slot too).
  const view = ({ caption, comment, fresh }) => ({ caption, comment, fresh });
  const shown = (answer) => {
    if (!answer.ok) throw new Error(lastErrors().join('\n') || 'slot');
    return view(answer);
  };
  const handlers = {
    describe: (slot) => shown(describe(slot)),
    erase: () => shown(JSON.parse(shared.host.eraseSlot())),
    report: (error) => failed(error),
  };
  let answer;
  while (!answer || !describe(answer.slot).ok) {
    answer = await chooseSlot(slots.map(view), answer?.slot ?? 1, handlers);
  }
  if (!shared.host.loadSlot()) return 0;
  for (const { index, prompt, name } of JSON.parse(shared.host.names())) {
    // An empty name is refused: the box comes back until something is typed.
    for (;;) {
      const typed = await enterName(prompt, name);
      if (shared.host.setName(index, typed ?? '')) break;
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
  const state = JSON.parse(shared.host.state());
  return state.errors;
}

async function openStory() {
  shared.busy = true;
  try {
    await fontsReady();
    sizeCanvas();
    shared.host.setPageSize(shared.pageWidth, shared.pageHeight, shared.ratio);
    passOptions();
    shared.layout = null;
    shared.backgroundVersion = -1;
    shared.pictureVersion = -1;
    shared.pagesShown = 0;
    delete status.dataset.error;
    showSlot(0);
    const slot = shared.host.setProject(`${kProjectDir}/${shared.project.fileName}`) ? await pickSlotAndNames() : 0;
    const opened = slot && shared.host.start();
    showSlot(opened ? slot : 0);
    shared.busy = false;
    applyState();
    await keepSlots();
    return Boolean(opened);
  } finally {
    shared.busy = false;
  }
}

// FILES are { path, bytes } relative to the chosen folder or the archive's root.
export async function openProject(files, label) {
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
  const inside = files
    .filter((f) => f.path.startsWith(dir))
    .map((f) =>
      f.member
        ? { path: f.path.slice(dir.length), member: f.member }
        : { path: f.path.slice(dir.length), bytes: f.bytes },
    );
  const fileName = projectPath.slice(dir.length);
  const baseName = fileName.slice(0, fileName.lastIndexOf('.'));
  // Within the script's limit; read whole here (a member of an archive refuses here what it
  // turns out to hold beyond its declared size).
  const script = scriptFile.bytes;

  if (shared.host) {
    shared.host.flush();
    shared.host.delete();
  }
  shared.host = null; // nothing ticks until the new story is open
  showSlot(0);
  saveButton.disabled = true;
  loadButton.disabled = true;
  sound.closeSound(); // the sound of the story before, should its player not have closed it
  sound.expectSound(soundsIn(inside));
  await shared.ready;
  // A fresh module, and with it a fresh file system, for every project.
  shared.player = await (shared.firstModule ?? createVrk3());
  shared.firstModule = null;
  shared.player.vrkSound = sound.createSoundPort();
  shared.player.vrkMeasure = measure;
  newHost();
  shared.busy = true;
  resolveFamily();
  writeFiles(shared.player.FS, kProjectDir, inside, (error) => reportInBox(error.message));
  const key = await projectKey(fileName, script);
  const kept = await (await saveStore()).load(key);
  if (kept.size > 0) restoreSlots(shared.player.FS, kProjectDir, baseName, kept);
  shared.project = { key, fileName, baseName, slots: readSlots(shared.player.FS, kProjectDir, kProgramDir, baseName) };
  notice.hidden = true;
  delete notice.dataset.programs;
  status.textContent = `${label}: ${fileName}`;
  await openStory();
  document.body.dataset.opened = key;
}

export function clickButton(k) {
  command(() => shared.host.clickButton(k)).then((chose) => {
    // With no story in progress the single button opens the project again.
    if (chose === false && shared.project) reopen();
  });
}

export function reopen() {
  if (!shared.host || shared.busy) return;
  newHost();
  keepSlots().then(openStory);
}

// --- Files -----------------------------------------------------------------------------------------

async function readFolder(fileList) {
  const files = [];
  for (const file of fileList) {
    // Below the chosen folder; files handed over without their folder keep their own names.
    files.push(
      await readLooseFile(
        file.webkitRelativePath ? file.webkitRelativePath.split('/').slice(1).join('/') : file.name,
        file,
      ),
    );
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

export function failed(error) {
  shared.busy = false;
  status.textContent = `開けません: ${error.message}`;
  reportInBox(`開けません: ${error.message}`);
}

document.getElementById('folder').addEventListener('change', (event) => {
  const list = Array.from(event.target.files);
  const label = list.length > 0 ? list[0].webkitRelativePath.split('/')[0] || 'folder' : '';
  readFolder(list)
    .then((files) => openProject(files, label))
    .catch(failed);
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
  if (shared.project)
    download(`${shared.project.baseName}-saves.zip`, exportSlots(shared.project.baseName, shared.project.slots));
};
// Slot files brought from elsewhere replace the kept ones; the story is opened again on them.
document.getElementById('import').addEventListener('change', async (event) => {
  const list = Array.from(event.target.files);
  event.target.value = '';
  if (!shared.project) return;
  let slots;
  try {
    const files = await Promise.all(list.map(async (f) => ({ name: f.name, ...(await readLooseFile(f.name, f)) })));
    slots = importSlots(shared.project.baseName, files);
  } catch (error) {
    failed(error);
    return;
  }
  if (slots.size === 0) {
    status.textContent = `${shared.project.baseName} のセーブファイルがありません`;
    return;
  }
  await (await saveStore()).store(shared.project.key, slots);
  newHost(); // the open story writes its slot first, so the imported ones win
  restoreSlots(shared.player.FS, kProjectDir, shared.project.baseName, slots);
  shared.project.slots = readSlots(shared.player.FS, kProjectDir, kProgramDir, shared.project.baseName);
  status.textContent = `${shared.project.baseName}: ${slots.size} 個のセーブファイルを読み込みました`;
  await openStory();
});
