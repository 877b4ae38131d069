// A story published with the page (vrkc --web): story.json beside index.html names the project
// and its files. The page then opens that story at once: the script, its index, the slots and
// what the first page shows are fetched first; every other file is fetched behind the reading in
// the order the script names it, and one the story reads before its turn is fetched there and
// then. The faces come cut to the story's characters (fonts/faces.css) with their measures
// (fonts/faces.json); the synthesizer waits until the first text is on screen; a service worker
// keeps the site for reading offline.
import { ZipMemberError, fileLimit } from './project.mjs';

const kManifest = 'story.json';
// Files fetched behind the reading at a time: enough to keep the line busy, few enough that the
// file the story asks for next does not queue behind many others.
const kAhead = 2;

let firstTextMarked = false;
let announceFirstText;
/// Resolves once the first story text is painted.
export const firstTextShown = new Promise((resolve) => {
  announceFirstText = resolve;
});

/// Called whenever the page paints story text: the first time, the performance timeline gets
/// "vrk:first-text" (what the bench and a site's own monitoring measure) and firstTextShown
/// resolves.
export function markFirstText() {
  if (firstTextMarked) return;
  firstTextMarked = true;
  performance.mark('vrk:first-text');
  announceFirstText();
}

/// The published story's manifest with its address, or null when the page is served alone.
export async function readManifest(base = document.baseURI) {
  const url = new URL(kManifest, base);
  let response;
  try {
    // As index.html preloads it; the site's server and the service worker keep it fresh.
    response = await fetch(url);
  } catch {
    return null;
  }
  if (!response.ok) return null;
  const text = await response.text();
  const manifest = JSON.parse(text);
  if (typeof manifest.project !== 'string' || !Array.isArray(manifest.files)) return null;
  return { ...manifest, url, text };
}

// A site address of a story file: each folder and the name escaped on its own.
function fileUrl(manifest, name) {
  const path = `${manifest.folder ?? ''}${name}`.split('/').map(encodeURIComponent).join('/');
  return new URL(path, manifest.url);
}

function tooLarge(limit) {
  return `ファイルが大きすぎます（${limit} バイトまで）`;
}

// The bytes of a file, fetched at once on this thread: only for a file the story reads before
// its turn came (the engine reads synchronously). Binary through the old text-as-bytes route,
// the one synchronous request a page may still make.
function fetchNow(url, path) {
  const request = new XMLHttpRequest();
  request.open('GET', url, false);
  request.overrideMimeType('text/plain; charset=x-user-defined');
  try {
    request.send();
  } catch {
    throw new ZipMemberError(path, '読み込めません（通信できません）');
  }
  if (request.status !== 200) throw new ZipMemberError(path, `読み込めません（${request.status}）`);
  const text = request.responseText;
  const bytes = new Uint8Array(text.length);
  for (let i = 0; i < text.length; ++i) bytes[i] = text.charCodeAt(i) & 0xff;
  return bytes;
}

/// A file of the published story as project.mjs's zipFile takes an archive member: its size is
/// the manifest's, its bytes come from the site (fetched ahead, or at the first read).
export class RemoteMember {
  constructor(manifest, entry) {
    this.path = entry.name;
    this.size = entry.size;
    this.url = fileUrl(manifest, entry.name);
    this.limit = fileLimit(entry.name);
    this.bytes = null;
    this.pending = null;
    this.failure = null; // what the site gave that cannot be this file, said at the first read
  }

  problem() {
    if (!this.limit.truncate && this.size > this.limit.bytes) return tooLarge(this.limit.bytes);
    return null;
  }

  /// Fetches the file unless it is here or on its way.
  fetchAhead() {
    if (this.bytes || this.pending) return this.pending ?? Promise.resolve();
    this.pending = fetch(this.url)
      .then((response) => (response.ok ? response.arrayBuffer() : null))
      .then((buffer) => {
        if (buffer && !this.bytes) this.bytes = this.#checked(new Uint8Array(buffer));
      })
      .catch((error) => {
        // A refused file is reported at its first read; one the network lost is asked for again there.
        if (error instanceof ZipMemberError) this.failure = error;
      })
      .finally(() => {
        this.pending = null;
      });
    return this.pending;
  }

  // The site gives what the manifest says, never more; an index only as far as it is read.
  #checked(bytes) {
    if (bytes.length > this.size) {
      throw new ZipMemberError(this.path, `書かれた大きさ（${this.size} バイト）を超えています`);
    }
    const bound = this.limit.truncate ? this.limit.bytes + 1 : this.limit.bytes;
    return bytes.length > bound ? bytes.subarray(0, bound) : bytes;
  }

  open() {
    const problem = this.problem();
    if (problem) throw new ZipMemberError(this.path, problem);
    if (this.failure) throw this.failure;
    if (!this.bytes) this.bytes = this.#checked(fetchNow(this.url, this.path));
    const bytes = this.bytes;
    return {
      bytes,
      start: 0,
      length: bytes.length,
      read: (end) => Math.min(end, bytes.length),
      view: (at, count) => bytes.subarray(at, at + count),
      release() {},
    };
  }

  readAll() {
    return this.open().bytes;
  }
}

/// The story's files as page.js's openProject takes them: { path, bytes } for the project's own
/// files and what its first page names (fetched now), { path, member } for the rest, which are
/// then fetched behind the reading in script order.
export async function publishedFiles(manifest) {
  const start = manifest.files.filter((entry) => entry.start || entry.name === manifest.project);
  const later = manifest.files.filter((entry) => !start.includes(entry));
  const files = await Promise.all(
    start.map(async (entry) => {
      const response = await fetch(fileUrl(manifest, entry.name));
      if (!response.ok) throw new Error(`${entry.name}: ${response.status}`);
      return { path: entry.name, bytes: new Uint8Array(await response.arrayBuffer()) };
    }),
  );
  const members = later
    .sort((a, b) => (a.at ?? Infinity) - (b.at ?? Infinity))
    .map((entry) => ({ path: entry.name, member: new RemoteMember(manifest, entry) }));
  // Behind the first text: the reader's first page comes before the pages after it.
  firstTextShown.then(async () => {
    const queue = members.map((file) => file.member);
    const worker = async () => {
      while (queue.length > 0) await queue.shift().fetchAhead();
    };
    await Promise.all(Array.from({ length: kAhead }, worker));
  });
  return [...files, ...members];
}

/// Whether the page is a published story's: vrkc --web marks its index.html.
export function isPublished() {
  return Boolean(document.querySelector('meta[name="vrk3-story"]'));
}

let publishedMeasures = null;

/// The page's measures of each face (canvas.mjs's faceMetrics and faceAdvances, for the
/// story's characters): { family: { lines, advances } }; empty without them. Kept for
/// publishedFace.
export async function publishedFaces(manifest) {
  publishedMeasures = {};
  if (!manifest.faces) return publishedMeasures;
  try {
    const response = await fetch(new URL(manifest.faces, manifest.url));
    if (!response.ok) return publishedMeasures;
    const faces = await response.json();
    publishedMeasures = Object.fromEntries(Object.entries(faces).map(([family, face]) => [family, faceMeasures(face)]));
  } catch {
    // the browser measures every character
  }
  return publishedMeasures;
}

/// A published story's measures of a family (null for a family it has none of), or undefined
/// when the page is not a published story's: its faces are read whole then.
export function publishedFace(family) {
  return publishedMeasures ? (publishedMeasures[family] ?? null) : undefined;
}

/// Opens a published story: its files as openProject takes them, its faces' measures, the
/// synthesizer held until the first text, the offline copy. False when the page is served alone.
export async function openPublished(openProject, holdSound) {
  if (!isPublished()) return false;
  const manifest = await readManifest();
  if (!manifest) return false;
  await publishedFaces(manifest);
  holdSound(firstTextShown);
  keepOffline(manifest);
  await openProject(await publishedFiles(manifest), manifest.title);
  return true;
}

/// One face's measures from faces.json: vertical metrics and advances by [first, last, advance]
/// runs; a character outside them has no advance here (the browser measures it).
export function faceMeasures({ unitsPerEm, ascent, descent, advances }) {
  const runs = advances ?? [];
  const advance = (code) => {
    let low = 0;
    let high = runs.length - 1;
    while (low <= high) {
      const middle = (low + high) >> 1;
      const [first, last, width] = runs[middle];
      if (code < first) high = middle - 1;
      else if (code > last) low = middle + 1;
      else return width;
    }
    return null;
  };
  return { lines: { unitsPerEm, ascent, descent }, advances: { unitsPerEm, advance } };
}

/// A digest of the manifest: the service worker's version, so that a story published again
/// replaces the copy kept for offline reading.
async function manifestDigest(text) {
  const digest = await crypto.subtle.digest('SHA-256', new TextEncoder().encode(text));
  return Array.from(new Uint8Array(digest).slice(0, 8), (b) => b.toString(16).padStart(2, '0')).join('');
}

/// Registers the service worker that keeps the site for offline reading, once the first text is
/// on screen (its copying must not compete with the first page).
export function keepOffline(manifest) {
  if (!('serviceWorker' in navigator) || !window.isSecureContext) return;
  firstTextShown.then(async () => {
    try {
      const version = await manifestDigest(manifest.text);
      await navigator.serviceWorker.register(new URL(`service-worker.js?v=${version}`, manifest.url), { scope: './' });
    } catch (error) {
      console.warn(`offline copy: ${error.message}`);
    }
  });
}
