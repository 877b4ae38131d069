// The page's side of a published story (published.mjs): the files as openProject takes them,
// fetched first or behind the reading, a file's bytes held to what the manifest says, and the
// faces' measures from faces.json.
import assert from 'node:assert/strict';
import { existsSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { test } from 'node:test';
import { fileURLToPath } from 'node:url';

const dist = join(dirname(fileURLToPath(import.meta.url)), '..', '..', 'web', 'dist');
const skip = existsSync(join(dist, 'published.mjs')) ? false : 'no page in web/dist (make web)';
const load = () => import(join(dist, 'published.mjs'));

const manifest = {
  url: new URL('http://host.invalid/stories/tale/story.json'),
  project: 'TALE.VRK',
  folder: 'story/',
  files: [
    { name: 'TALE.VRK', size: 3, start: true },
    { name: 'TALE.VRJ', size: 2, start: true },
    { name: '絵/late.bmp', size: 4, at: 900 },
    { name: 'early.wav', size: 5, at: 100 },
    { name: 'big.wav', size: 65 * 2 ** 20, at: 500 },
  ],
};

// A site in memory: every fetch is recorded, and answered with SIZE bytes of the file's length
// (the manifest's, or what OVERRIDES says).
function fakeSite(overrides = {}) {
  const asked = [];
  globalThis.fetch = async (url) => {
    const path = decodeURIComponent(new URL(url).pathname);
    asked.push(path);
    const name = path.replace('/stories/tale/story/', '');
    const entry = manifest.files.find((file) => file.name === name);
    if (!entry) return new Response(null, { status: 404 });
    return new Response(new Uint8Array(overrides[name] ?? Math.min(entry.size, 16)).fill(7));
  };
  return asked;
}

test(
  "the first page's files come fetched, the rest as members in script order, fetched after the first text",
  { skip },
  async () => {
    const { markFirstText, publishedFiles, firstTextShown } = await load();
    const asked = fakeSite();
    const files = await publishedFiles(manifest);
    assert.deepEqual(
      files.map((f) => f.path),
      ['TALE.VRK', 'TALE.VRJ', 'early.wav', 'big.wav', '絵/late.bmp'],
    );
    assert.deepEqual(files[0].bytes, new Uint8Array(3).fill(7));
    assert.ok(files.slice(2).every((f) => f.member && !f.bytes));
    // Addresses are below the manifest's folder, each part escaped.
    assert.deepEqual(asked, ['/stories/tale/story/TALE.VRK', '/stories/tale/story/TALE.VRJ']);
    markFirstText();
    await firstTextShown;
    await new Promise((done) => setTimeout(done, 20));
    assert.deepEqual(asked.slice(2).sort(), [
      '/stories/tale/story/big.wav',
      '/stories/tale/story/early.wav',
      '/stories/tale/story/絵/late.bmp',
    ]);
    const reader = files[2].member.open();
    assert.equal(reader.read(100), 5);
    assert.deepEqual([...reader.view(1, 2)], [7, 7]);
  },
);

test("a file is held to its size and to the player's limit for its kind", { skip }, async () => {
  const { RemoteMember } = await load();
  const { ZipMemberError } = await import(join(dist, 'project.mjs'));
  fakeSite({ 'early.wav': 9 });
  const early = new RemoteMember(manifest, manifest.files[3]);
  await early.fetchAhead();
  assert.throws(() => early.open(), ZipMemberError);
  // A sound over 64 MiB is refused before anything is fetched, as the player refuses it.
  const big = new RemoteMember(manifest, manifest.files[4]);
  assert.match(big.problem(), /大きすぎます/);
  assert.throws(() => big.open(), ZipMemberError);
  assert.equal(new RemoteMember(manifest, manifest.files[0]).problem(), null);
});

test("the faces' measures: runs of advances, nothing outside them", { skip }, async () => {
  const { faceMeasures } = await load();
  const face = faceMeasures({
    unitsPerEm: 2048,
    ascent: 1802,
    descent: 401,
    advances: [
      [32, 126, 1024],
      [0x3042, 0x3042, 2048],
      [0x9727, 0x9727, 2048],
    ],
  });
  assert.deepEqual(face.lines, { unitsPerEm: 2048, ascent: 1802, descent: 401 });
  assert.equal(face.advances.unitsPerEm, 2048);
  for (const [code, advance] of [
    [32, 1024],
    [65, 1024],
    [126, 1024],
    [0x3042, 2048],
    [0x9727, 2048],
  ]) {
    assert.equal(face.advances.advance(code), advance, code.toString(16));
  }
  for (const code of [31, 127, 0x3041, 0x4e9c, 0x10000])
    assert.equal(face.advances.advance(code), null, code.toString(16));
  assert.equal(faceMeasures({ unitsPerEm: 1000, ascent: 1, descent: 1 }).advances.advance(65), null);
});
