// A project dropped on the page: a folder (read through its directory entries, all the way down)
// or a .zip archive, handed to the same opening as the file inputs.
import { findProjectFile, readLooseFile, readZipFile } from './project.mjs';

const kZipMagic = [0x50, 0x4b, 0x03, 0x04];

// Told by its name or its first bytes, which are all that is read of it here.
async function isZipFile(file) {
  if (/\.zip$/i.test(file.name)) return true;
  const head = new Uint8Array(await file.slice(0, kZipMagic.length).arrayBuffer());
  return kZipMagic.every((b, i) => head[i] === b);
}

// Every batch of a directory: a reader hands out its entries a hundred or so at a time.
async function readAllEntries(directory) {
  const reader = directory.createReader();
  const all = [];
  for (;;) {
    const batch = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
    if (batch.length === 0) return all;
    all.push(...batch);
  }
}

/// The files below ENTRIES (file and directory entries) as { path, entry }, paths relative to
/// where the entries stand; a directory's files keep its name in front unless STRIP_TOP.
export async function listEntries(entries, stripTop = false) {
  const files = [];
  const walk = async (entry, prefix) => {
    if (entry.isFile) {
      files.push({ path: prefix + entry.name, entry });
    } else if (entry.isDirectory) {
      for (const child of await readAllEntries(entry)) await walk(child, `${prefix}${entry.name}/`);
    }
  };
  for (const entry of entries) {
    if (stripTop && entry.isDirectory) {
      for (const child of await readAllEntries(entry)) await walk(child, '');
    } else {
      await walk(entry, '');
    }
  }
  return files;
}

const fileOf = (entry) => new Promise((resolve, reject) => entry.file(resolve, reject));

/// What a drop brings as { files: [{ path, bytes }], label }, or null when it holds no files.
/// Only the project's own folder is read: a drop of a whole disk's worth of folders costs the
/// names, not the bytes, of what lies outside it. ENTRIES are the drop's entries (taken while the
/// drop event lasts, as the browser allows); FILES are its plain files, for browsers without them.
export async function readDrop(entries, plainFiles = []) {
  if (entries.length === 0) {
    if (plainFiles.length === 0) return null;
    if (plainFiles.length === 1 && (await isZipFile(plainFiles[0]))) {
      const [zip] = plainFiles;
      return { files: readZipFile(zip.name, new Uint8Array(await zip.arrayBuffer())), label: zip.name };
    }
    const files = await Promise.all(plainFiles.map((file) => readLooseFile(file.name, file)));
    return { files, label: files[0].path };
  }
  const single = entries.length === 1 ? entries[0] : null;
  const listed = await listEntries(entries, Boolean(single?.isDirectory));
  if (listed.length === 0) return null;
  if (single?.isFile) {
    const file = await fileOf(single);
    if (!(await isZipFile(file))) return { files: [await readLooseFile(single.name, file)], label: single.name };
    return { files: readZipFile(single.name, new Uint8Array(await file.arrayBuffer())), label: single.name };
  }
  const project = findProjectFile(listed);
  const dir = project?.includes('/') ? project.slice(0, project.lastIndexOf('/') + 1) : '';
  const wanted = project ? listed.filter((f) => f.path.startsWith(dir)) : listed;
  const files = await Promise.all(wanted.map(async (f) => readLooseFile(f.path, await fileOf(f.entry))));
  return { files, label: single ? single.name : entries[0].name };
}

/// Makes TARGET take dropped folders and archives: OPEN(files, label) opens what came, FAILED(error)
/// reports what could not be read. Drops while a dialog is up are refused, as input is elsewhere.
export function installDropTarget(target, open, failed = (error) => console.error(error)) {
  const carriesFiles = (event) => Array.from(event.dataTransfer?.types ?? []).includes('Files');
  let depth = 0;
  const highlight = (on) => document.body.classList.toggle('vrk-dropping', on);
  target.addEventListener('dragenter', (event) => {
    if (!carriesFiles(event)) return;
    event.preventDefault();
    depth += 1;
    highlight(true);
  });
  target.addEventListener('dragover', (event) => {
    if (!carriesFiles(event)) return;
    // Without this the browser would leave the page to show the file.
    event.preventDefault();
    event.dataTransfer.dropEffect = document.querySelector('dialog[open]') ? 'none' : 'copy';
  });
  target.addEventListener('dragleave', () => {
    depth = Math.max(0, depth - 1);
    if (depth === 0) highlight(false);
  });
  target.addEventListener('drop', (event) => {
    if (!carriesFiles(event)) return;
    event.preventDefault();
    depth = 0;
    highlight(false);
    if (document.querySelector('dialog[open]')) return;
    // The items are only readable while the event is being handled.
    const items = Array.from(event.dataTransfer.items ?? []).filter((item) => item.kind === 'file');
    const entries = items.map((item) => item.webkitGetAsEntry?.()).filter(Boolean);
    const plainFiles = Array.from(event.dataTransfer.files ?? []);
    readDrop(entries, plainFiles)
      .then((dropped) => (dropped ? open(dropped.files, dropped.label) : undefined))
      .catch(failed);
  });
}
