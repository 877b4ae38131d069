// Getting a project into the player's in-memory files and its saves in and out of the
// browser's storage. Nothing here draws; page.js does that, and the node tests use it too.
import { Inflate, zipSync } from './fflate.mjs';

// A zip is read member by member, as the story asks for each file: a small archive may hold a
// member that inflates to gigabytes, and most members of a story are never needed at once.
// Only the archive itself stays in memory; a member's bytes live while a file of it is open.

/// The most bytes the player takes of each kind of file, as its file reader on the desktop
/// does (src/story/script.h kMaxScriptBytes, the label index's kMaxRecords records of
/// kRecordBytes, save_file.cpp's and settings_file.cpp's limits, picture_loader.h's
/// kMaxPictureFileBytes). An index is read only as far as its last record, as there; read marks
/// are of a save's kind; sounds media_checks.h's kMaxSoundFileBytes; a file of any
/// other name may be a picture or a sound the script names, so it gets the largest.
export const kFileLimits = {
  script: { bytes: 64 * 2 ** 20 },
  index: { bytes: 8002 * 13, truncate: true },
  save: { bytes: 2 ** 20 },
  settings: { bytes: 2 ** 20 },
  picture: { bytes: 2 ** 30 + 2 ** 20 },
  sound: { bytes: 64 * 2 ** 20 },
  other: { bytes: 2 ** 30 + 2 ** 20 },
};

const kKinds = [
  [/\.vrk$/i, 'script'],
  [/\.vrj$/i, 'index'],
  [/\.(v0[1-4]|vr\$|vrr)$/i, 'save'],
  [/(^|\/)vrk\.ini$/i, 'settings'],
  [/\.(bmp|dib|jpe?g)$/i, 'picture'],
  [/\.(wav|mid|midi|rmi|mp3|ogg)$/i, 'sound'],
];

/// The limit a file of this name is read with: { bytes, truncate }.
export function fileLimit(path) {
  const found = kKinds.find(([pattern]) => pattern.test(path));
  return kFileLimits[found ? found[1] : 'other'];
}

/// Whether FILES ({ path }) hold sound files, and MIDI among them: what the page readies before
/// the story asks for its first sound.
export function soundsIn(files) {
  const sounds = files.filter((f) => fileLimit(f.path) === kFileLimits.sound);
  return { sound: sounds.length > 0, midi: sounds.some((f) => /\.(mid|midi|rmi)$/i.test(f.path)) };
}

/// An archive that cannot be read at all: not a zip, or its directory damaged. The reader is
/// told in Japanese, with the file's name where the caller knows it (readZipFile).
export class ZipArchiveError extends Error {
  constructor(message) {
    super(message);
    this.name = 'ZipArchiveError';
  }
}

/// readZip of the archive the reader knows as NAME: an archive that cannot be read says so
/// under that name.
export function readZipFile(name, zip) {
  try {
    return readZip(zip);
  } catch (error) {
    if (error instanceof ZipArchiveError || error instanceof RangeError) {
      throw new ZipArchiveError(`${name}: ${error instanceof ZipArchiveError ? error.message : kDamaged}`);
    }
    throw error;
  }
}

const kDamaged = '書庫が壊れています';

/// A member that cannot be read as it is: larger than its kind allows, larger than the archive
/// says, or stored in a way the page does not read.
export class ZipMemberError extends Error {
  constructor(path, message) {
    super(`${path}: ${message}`);
    this.name = 'ZipMemberError';
    this.path = path;
  }
}

const kSjis = new TextDecoder('shift_jis');
const kUtf8 = new TextDecoder();
const kEndRecord = 0x06054b50;
const kEnd64Locator = 0x07064b50;
const kEnd64Record = 0x06064b50;
const kCentralHeader = 0x02014b50;
const kLocalHeader = 0x04034b50;
// Compressed input is handed to the inflater in steps this small, so that one step can make
// at most a few megabytes (deflate inflates at most about 1032 times), however the data lies.
const kInflateStep = 4096;

function uint64(view, at) {
  return view.getUint32(at, true) + view.getUint32(at + 4, true) * 2 ** 32;
}

// The sizes and offset a zip64 extra field gives, for each field the central header marks
// with all ones.
function zip64Fields(view, at, length, entry) {
  for (let end = at + length; at + 4 <= end;) {
    const id = view.getUint16(at, true);
    const size = view.getUint16(at + 2, true);
    if (id === 0x0001) {
      let field = at + 4;
      for (const key of ['size', 'compressedSize', 'offset']) {
        if (entry[key] === 0xffffffff && field + 8 <= at + 4 + size) {
          entry[key] = uint64(view, field);
          field += 8;
        }
      }
      return;
    }
    at += 4 + size;
  }
}

function centralDirectory(zip, view) {
  let end = zip.length - 22;
  const lowest = Math.max(0, zip.length - 22 - 0xffff);
  while (end >= lowest && view.getUint32(end, true) !== kEndRecord) {
    --end;
  }
  if (end < lowest) {
    throw new ZipArchiveError('書庫ではありません');
  }
  let count = view.getUint16(end + 10, true);
  let at = view.getUint32(end + 16, true);
  if (end >= 20 && view.getUint32(end - 20, true) === kEnd64Locator) {
    const record = uint64(view, end - 12);
    if (record + 56 <= zip.length && view.getUint32(record, true) === kEnd64Record) {
      count = uint64(view, record + 32);
      at = uint64(view, record + 48);
    }
  }
  return { count, at };
}

/// The members of a zip archive as { path, size, member }, names decoded, folders left out,
/// nothing inflated. Backslashes (some archivers' separator) become slashes, and no path may
/// climb out of the project. Old archivers wrote names in Shift-JIS without saying so: a name
/// is UTF-8 only when its general-purpose flag bit 11 says so. SIZE is what the archive
/// declares; `bytes` inflates the member (within its kind's limit) each time it is asked for.
export function readZip(zip) {
  const view = new DataView(zip.buffer, zip.byteOffset, zip.byteLength);
  let { count, at } = centralDirectory(zip, view);
  const byPath = new Map();
  let i = 0;
  for (; i < count && at + 46 <= zip.length && view.getUint32(at, true) === kCentralHeader; ++i) {
    const flags = view.getUint16(at + 8, true);
    const nameLength = view.getUint16(at + 28, true);
    const extraLength = view.getUint16(at + 30, true);
    const raw = zip.subarray(at + 46, at + 46 + nameLength);
    const entry = {
      flags,
      method: view.getUint16(at + 10, true),
      compressedSize: view.getUint32(at + 20, true),
      size: view.getUint32(at + 24, true),
      offset: view.getUint32(at + 42, true),
    };
    zip64Fields(view, at + 46 + nameLength, extraLength, entry);
    at += 46 + nameLength + extraLength + view.getUint16(at + 32, true);
    const path = ((flags & 0x800) !== 0 ? kUtf8 : kSjis).decode(raw).replaceAll('\\', '/');
    const parts = path.split('/').filter((p) => p !== '' && p !== '.');
    if (path.endsWith('/') || parts.length === 0 || parts.includes('..')) {
      continue;
    }
    const name = parts.join('/');
    // A name given twice is the later member, as unpacking the archive would leave it.
    byPath.set(name, new ZipMember(zip, view, name, entry));
  }
  // A directory that ends before the members it counts is damaged: what is left of it may lack
  // the very project file. (A count of 0xffff may only mean "more", from an archiver that wrote
  // no zip64 record.)
  if (i < count && count !== 0xffff) throw new ZipArchiveError(kDamaged);
  // BYTES is left out of copies ({ ...file }): a copy must not inflate the member.
  return Array.from(byPath.values(), (member) =>
    Object.defineProperty({ path: member.path, size: member.size, member }, 'bytes', { get: () => member.readAll() }),
  );
}

/// A loose file (of a folder or a drop) as { path, bytes }, read only within its kind's limit:
/// an index is cut one byte past it, and a file over any other limit is not read at all but
/// kept as { path, member } whose reads are refused with the reason, as an archive's would be.
export async function readLooseFile(path, blob) {
  const limit = fileLimit(path);
  if (blob.size <= limit.bytes) {
    return { path, bytes: new Uint8Array(await blob.arrayBuffer()) };
  }
  if (limit.truncate) {
    return { path, bytes: new Uint8Array(await blob.slice(0, limit.bytes + 1).arrayBuffer()) };
  }
  const problem = () => tooLarge(limit.bytes);
  const member = {
    path,
    size: blob.size,
    limit,
    problem,
    open() {
      throw new ZipMemberError(path, problem());
    },
    readAll() {
      return this.open();
    },
  };
  return { path, member };
}

/// One member of an archive, inflated on demand and only as far as it is read.
export class ZipMember {
  constructor(zip, view, path, entry) {
    this.zip = zip;
    this.view = view;
    this.path = path;
    this.size = entry.size;
    this.entry = entry;
    this.limit = fileLimit(path);
  }

  /// Why the member cannot be read at all, or null: a declared size over its kind's limit
  /// (an index is only cut), a method other than stored or deflated, encryption.
  problem() {
    const { flags, method } = this.entry;
    if ((flags & 1) !== 0) return '暗号化されたファイルは読めません';
    if (method !== 0 && method !== 8) return `この圧縮方式 (${method}) のファイルは読めません`;
    if (!this.limit.truncate && this.size > this.limit.bytes) return tooLarge(this.limit.bytes);
    return null;
  }

  /// A reader of the member's bytes: read(end) makes the first END bytes (or all there are)
  /// available in .bytes[0, .length). It inflates no further than asked, never past the
  /// member's declared size (the archive is damaged or hostile when it would) nor its limit.
  open() {
    const problem = this.problem();
    if (problem) throw new ZipMemberError(this.path, problem);
    return new MemberReader(this);
  }

  /// The whole member, within its kind's limit (an index is cut there).
  readAll() {
    const reader = this.open();
    reader.read(Infinity);
    return reader.bytes.slice(0, reader.length);
  }

  dataStart() {
    const { offset } = this.entry;
    const view = this.view;
    if (offset + 30 > this.zip.length || view.getUint32(offset, true) !== kLocalHeader) {
      throw new ZipMemberError(this.path, kDamaged);
    }
    return offset + 30 + view.getUint16(offset + 26, true) + view.getUint16(offset + 28, true);
  }
}

function tooLarge(limit) {
  return `ファイルが大きすぎます（${limit} バイトまで）`;
}

class MemberReader {
  constructor(member) {
    this.member = member;
    const start = member.dataStart();
    const end = Math.min(member.zip.length, start + member.entry.compressedSize);
    this.input = member.zip.subarray(start, end);
    this.used = 0;
    this.done = false;
    // The member is never made larger than it says it is, nor than its kind allows (an index
    // is cut one byte past its limit, so that its reader sees there is more and stops).
    this.bound = Math.min(member.size, member.limit.truncate ? member.limit.bytes + 1 : member.limit.bytes);
    // The bytes from START to LENGTH (offsets in the member) are held; a reader that copies
    // them elsewhere lets the earlier ones go (release).
    this.bytes = new Uint8Array(Math.min(this.bound, 64 * 1024));
    this.start = 0;
    this.length = 0;
    if (member.entry.method === 0) {
      this.stored = true;
    } else {
      this.inflate = new Inflate((chunk) => this.#take(chunk));
    }
  }

  #take(chunk) {
    if (this.length + chunk.length <= this.bound) {
      this.#append(chunk);
      return;
    }
    this.#append(chunk.subarray(0, this.bound - this.length));
    this.done = true;
    // An index longer than its limit is only cut; anything else larger than the archive says
    // is refused, whatever it would have come to.
    if (!(this.member.limit.truncate && this.bound < this.member.size)) {
      this.failed = new ZipMemberError(
        this.member.path,
        `書庫に書かれた大きさ（${this.member.size} バイト）を超えています`,
      );
    }
  }

  #append(chunk) {
    const held = this.length - this.start;
    const needed = held + chunk.length;
    if (needed > this.bytes.length) {
      const grown = new Uint8Array(Math.min(this.bound - this.start, Math.max(needed, 2 * this.bytes.length)));
      grown.set(this.bytes.subarray(0, held));
      this.bytes = grown;
    }
    this.bytes.set(chunk, held);
    this.length += chunk.length;
  }

  /// Lets go of the bytes before OFFSET: they can only be had again from a new reader.
  release(offset) {
    const drop = Math.min(offset, this.length) - this.start;
    if (drop > 0) {
      this.bytes.copyWithin(0, drop, this.length - this.start);
      this.start += drop;
    }
  }

  /// The held bytes from member offset AT, COUNT of them.
  view(at, count) {
    return this.bytes.subarray(at - this.start, at - this.start + count);
  }

  /// Makes the first END bytes available (fewer when the member is shorter). Throws
  /// ZipMemberError when the member turns out larger than it may be.
  read(end) {
    while (!this.done && this.length < end) {
      if (this.stored) {
        this.#take(this.input);
        this.done = true;
        break;
      }
      const step = this.input.subarray(this.used, this.used + kInflateStep);
      this.used += step.length;
      const last = this.used >= this.input.length;
      try {
        this.inflate.push(step, last);
      } catch {
        if (this.failed) break;
        this.done = true;
        // The inflater's own words are English; the reader is told what it means.
        this.failed = new ZipMemberError(this.member.path, `${kDamaged}（展開できません）`);
      }
      if (last) this.done = true;
    }
    if (this.failed) throw this.failed;
    return Math.min(end, this.length);
  }
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

/// Puts the files below root, keeping their own names: the engine looks names up without
/// regard to case, as on the desktop, so "demo.vrk" and "DEMO.VRK" both open. Members of an
/// archive become files that are inflated only while they are open (zipFile); REFUSED(error)
/// hears, once per file, of a member that cannot be read (a ZipMemberError).
export function writeFiles(FS, root, files, refused = () => {}) {
  for (const file of files) {
    const path = `${root}/${file.path}`;
    FS.mkdirTree(path.slice(0, path.lastIndexOf('/')));
    if (file.member) {
      zipFile(FS, path, file.member, refused);
    } else {
      FS.writeFile(path, file.bytes);
    }
  }
}

// Emscripten's error numbers (WASI's) for what a refused member gives the engine's reads.
const kEio = 29;
const kEfbig = 22;

/// Makes PATH in FS (its in-memory file system) a file of MEMBER, as Emscripten's own lazy
/// files do: the node's size is the member's declared size, and its stream operations inflate
/// the member at the first read of an open file, only as far as the reads go, and let the
/// bytes go when the last file of it is closed. Opened for writing (a save the engine rewrites
/// in place) or cut, it becomes an ordinary file with the member's bytes.
export function zipFile(FS, path, member, refused = () => {}) {
  FS.writeFile(path, new Uint8Array(0));
  const node = FS.lookupPath(path).node;
  const plainStream = node.stream_ops;
  const plainNode = node.node_ops;
  let reader = null;
  let opens = 0;
  let told = false;
  const fail = (error) => {
    if (!told) {
      told = true;
      refused(error);
    }
    return new FS.ErrnoError(/大きすぎ/.test(error.message) ? kEfbig : kEio);
  };
  const readerOf = () => {
    if (!reader) {
      try {
        reader = member.open();
      } catch (error) {
        throw error instanceof ZipMemberError ? fail(error) : error;
      }
    }
    return reader;
  };
  // What an ordinary file of the member would be, for a writer.
  const makePlain = (keep) => {
    let bytes = new Uint8Array(0);
    if (keep > 0) {
      reader = null; // from the start, whatever earlier reads let go
      const whole = readerOf();
      try {
        whole.read(keep);
      } catch (error) {
        throw error instanceof ZipMemberError ? fail(error) : error;
      }
      bytes = whole.bytes.slice(0, Math.min(keep, whole.length));
    }
    reader = null;
    node.node_ops = plainNode;
    node.stream_ops = plainStream;
    node.contents = bytes;
    node.usedBytes = bytes.length;
  };
  node.node_ops = {
    ...plainNode,
    setattr(target, attr) {
      if (attr.size !== undefined) makePlain(attr.size);
      return plainNode.setattr(target, attr);
    },
  };
  node.stream_ops = {
    ...plainStream,
    open(stream) {
      if ((stream.flags & 3) !== 0) {
        makePlain(Infinity);
        stream.stream_ops = plainStream;
        return;
      }
      ++opens;
      // Refused at once, so that the page says so even when the engine checks the size and
      // reads nothing.
      const problem = member.problem();
      if (problem) fail(new ZipMemberError(member.path, problem));
    },
    close(stream) {
      if (node.stream_ops === plainStream) return plainStream.close?.(stream);
      if (--opens <= 0) {
        opens = 0;
        reader = null;
      }
    },
    read(stream, buffer, offset, length, position) {
      // A file opened before a writer made the node an ordinary file reads what is there now.
      if (node.stream_ops === plainStream) return plainStream.read(stream, buffer, offset, length, position);
      const target = new Uint8Array(buffer.buffer, buffer.byteOffset + offset, length);
      // Inflated a step at a time straight into the reader's buffer: however much is asked for
      // at once, the page holds no more than a step of the member besides.
      let copied = 0;
      try {
        while (copied < length) {
          const at = position + copied;
          if (reader && at < reader.start) reader = null; // read again from the start
          const source = readerOf();
          if (source.read(at + 1) <= at) break;
          const count = Math.min(length - copied, source.length - at);
          target.set(source.view(at, count), copied);
          copied += count;
          source.release(at + count);
        }
      } catch (error) {
        throw error instanceof ZipMemberError ? fail(error) : error;
      }
      return copied;
    },
    mmap() {
      throw new FS.ErrnoError(kEio);
    },
  };
  // The engine checks a file's size before reading it (and refuses one over its limit); it
  // is the size the archive declares, and reads never give more than that.
  node.usedBytes = member.size;
  return node;
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
  let names;
  try {
    names = FS.readdir(dir);
  } catch {
    return slots;
  }
  const prefix = dir.endsWith('/') ? dir : `${dir}/`;
  for (const name of names) {
    if (isSlotFile(name, baseName) && FS.isFile(FS.stat(prefix + name).mode)) {
      // A slot that cannot be read (a member of the archive over a save's limit) is not kept.
      try {
        slots.set(name.slice(-4).toUpperCase(), FS.readFile(prefix + name));
      } catch {
        // the archive's member has told the page why
      }
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
/// and other kinds are left out (a zip's are never inflated); a slot member over a save's limit
/// throws ZipMemberError.
export function importSlots(baseName, files) {
  const slots = new Map();
  for (const file of files) {
    const members = /\.zip$/i.test(file.name)
      ? readZipFile(file.name, file.bytes).map((f) => ({ name: f.path.split('/').pop(), member: f.member }))
      : [file];
    for (const member of members) {
      if (isSlotFile(member.name, baseName)) {
        slots.set(member.name.slice(-4).toUpperCase(), member.member ? member.member.readAll() : member.bytes);
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
