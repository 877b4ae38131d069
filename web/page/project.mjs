// Getting a project into the player's in-memory files and its saves in and out of the
// browser's storage. Nothing here draws; page.js does that, and the node tests use it too.
import { unzipSync, zipSync } from './fflate.mjs';

const kSjis = new TextDecoder('shift_jis');

// Old archivers wrote member names in Shift-JIS without saying so; the zip reader hands such a
// name over one character per byte, which gives the bytes back unchanged.
function memberName(name, bytesAsChars) {
  if (!bytesAsChars) {
    return name;
  }
  const bytes = Uint8Array.from(name, (c) => c.charCodeAt(0));
  return kSjis.decode(bytes);
}

// The general-purpose flag bit 11 says a name is UTF-8; any other name is Shift-JIS here.
function utf8Flags(zip) {
  const flags = new Map();
  const view = new DataView(zip.buffer, zip.byteOffset, zip.byteLength);
  let end = zip.length - 22;
  while (end >= 0 && view.getUint32(end, true) !== 0x06054b50) {
    --end;
  }
  if (end < 0) {
    throw new Error('not a zip archive');
  }
  let at = view.getUint32(end + 16, true);
  const count = view.getUint16(end + 10, true);
  const latin1 = new TextDecoder('latin1');
  const utf8 = new TextDecoder();
  for (let i = 0; i < count && at + 46 <= zip.length && view.getUint32(at, true) === 0x02014b50; ++i) {
    const flag = view.getUint16(at + 8, true);
    const nameLength = view.getUint16(at + 28, true);
    const raw = zip.subarray(at + 46, at + 46 + nameLength);
    const isUtf8 = (flag & 0x800) !== 0;
    flags.set(isUtf8 ? utf8.decode(raw) : latin1.decode(raw), isUtf8);
    at += 46 + nameLength + view.getUint16(at + 30, true) + view.getUint16(at + 32, true);
  }
  return flags;
}

/// The files of a zip archive as { path, bytes }, names decoded, folders left out. Backslashes
/// (some archivers' separator) become slashes, and no path may climb out of the project.
export function readZip(zip) {
  const isUtf8 = utf8Flags(zip);
  const files = [];
  for (const [name, bytes] of Object.entries(unzipSync(zip))) {
    const path = memberName(name, isUtf8.get(name) === false).replaceAll('\\', '/');
    const parts = path.split('/').filter((p) => p !== '' && p !== '.');
    if (path.endsWith('/') || parts.length === 0 || parts.includes('..')) {
      continue;
    }
    files.push({ path: parts.join('/'), bytes });
  }
  return files;
}

/// The project file among { path } entries: a ".vrk" in the shallowest folder that has one
/// (archives often wrap the project in a folder of its own), the first by name there.
export function findProjectFile(files) {
  let best = null;
  for (const file of files) {
    if (!/\.vrk$/i.test(file.path)) {
      continue;
    }
    const depth = file.path.split('/').length;
    if (!best || depth < best.depth || (depth === best.depth && file.path < best.path)) {
      best = { path: file.path, depth };
    }
  }
  return best ? best.path : null;
}

/// Writes the files below root, keeping their own names: the engine looks names up without
/// regard to case, as on the desktop, so "demo.vrk" and "DEMO.VRK" both open.
export function writeFiles(FS, root, files) {
  for (const file of files) {
    const path = `${root}/${file.path}`;
    FS.mkdirTree(path.slice(0, path.lastIndexOf('/')));
    FS.writeFile(path, file.bytes);
  }
}

// The read marks (BASE.VRR) live beside the slots and travel with them.
const kSlotExtension = /\.(V0[1-4]|VR\$|VRR)$/i;

/// Whether a file name is one of the project's slot files (BASE.V01-.V04, BASE.VR$) or its read
/// marks (BASE.VRR).
export function isSlotFile(name, baseName) {
  return kSlotExtension.test(name) && name.slice(0, -4).toUpperCase() === baseName.toUpperCase();
}

function listSlots(FS, dir, baseName) {
  const slots = new Map();
  let names = [];
  try {
    names = FS.readdir(dir);
  } catch {
    return slots;
  }
  const prefix = dir.endsWith('/') ? dir : `${dir}/`;
  for (const name of names) {
    if (isSlotFile(name, baseName) && FS.isFile(FS.stat(prefix + name).mode)) {
      slots.set(name.slice(-4).toUpperCase(), FS.readFile(prefix + name));
    }
  }
  return slots;
}

/// The slot files as the engine left them, keyed by extension (".V01"...). A project shipped
/// without a first slot has its saves written beside the program instead of the project.
export function readSlots(FS, projectDir, programDir, baseName) {
  const inProject = listSlots(FS, projectDir, baseName);
  return inProject.has('.V01') ? inProject : listSlots(FS, programDir, baseName);
}

/// Puts kept slot files into the project folder, replacing any of the same extension whatever
/// the case of its name, so that the engine reads them and saves beside them.
export function restoreSlots(FS, projectDir, baseName, slots) {
  for (const name of FS.readdir(projectDir)) {
    if (isSlotFile(name, baseName) && slots.has(name.slice(-4).toUpperCase())) {
      FS.unlink(`${projectDir}/${name}`);
    }
  }
  for (const [extension, bytes] of slots) {
    FS.writeFile(`${projectDir}/${baseName}${extension}`, bytes);
  }
}

function sameBytes(a, b) {
  return a && b && a.length === b.length && a.every((v, i) => v === b[i]);
}

/// The slots in `now` that are new or differ from `before`.
export function changedSlots(before, now) {
  const changed = new Map();
  for (const [extension, bytes] of now) {
    if (!sameBytes(before.get(extension), bytes)) {
      changed.set(extension, bytes);
    }
  }
  return changed;
}

/// A zip of the slot files under their desktop names, to carry them to another player.
export function exportSlots(baseName, slots) {
  const members = {};
  for (const [extension, bytes] of slots) {
    members[baseName + extension] = bytes;
  }
  return zipSync(members, { level: 6 });
}

/// Slot files handed back by a reader: loose files or zips of them. Files of other projects
/// and other kinds are left out.
export function importSlots(baseName, files) {
  const slots = new Map();
  for (const file of files) {
    const members = /\.zip$/i.test(file.name)
      ? readZip(file.bytes).map((f) => ({ name: f.path.split('/').pop(), bytes: f.bytes }))
      : [file];
    for (const member of members) {
      if (isSlotFile(member.name, baseName)) {
        slots.set(member.name.slice(-4).toUpperCase(), member.bytes);
      }
    }
  }
  return slots;
}

/// The key a project's saves are kept under: its file name and a digest of its script, so
/// two stories with the same file name keep their saves apart.
export async function projectKey(name, scriptBytes) {
  const digest = new Uint8Array(await crypto.subtle.digest('SHA-256', scriptBytes));
  const hex = Array.from(digest.subarray(0, 8), (b) => b.toString(16).padStart(2, '0')).join('');
  return `${name.toUpperCase()}:${hex}`;
}

/// Saves per project in IndexedDB: one record per project, its slot files by extension.
export class SaveStore {
  static async open(dbName = 'vrk3') {
    const db = await new Promise((resolve, reject) => {
      const request = indexedDB.open(dbName, 1);
      request.onupgradeneeded = () => request.result.createObjectStore('slots');
      request.onsuccess = () => resolve(request.result);
      request.onerror = () => reject(request.error);
    });
    return new SaveStore(db);
  }

  constructor(db) {
    this.db = db;
  }

  async load(key) {
    const record = await this.#run('readonly', (store) => store.get(key));
    return new Map(record ? Object.entries(record) : []);
  }

  /// Merges the given slots into what is kept for the project. Reading and writing share one
  /// transaction, so two runs stored in quick succession cannot undo each other.
  async store(key, slots) {
    if (slots.size === 0) {
      return;
    }
    await this.#run('readwrite', (store) => {
      const read = store.get(key);
      read.onsuccess = () => store.put({ ...read.result, ...Object.fromEntries(slots) }, key);
      return read;
    });
  }

  #run(mode, action) {
    return new Promise((resolve, reject) => {
      const transaction = this.db.transaction('slots', mode);
      const request = action(transaction.objectStore('slots'));
      transaction.oncomplete = () => resolve(request.result);
      transaction.onerror = () => reject(transaction.error);
    });
  }
}
