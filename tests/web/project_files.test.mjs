// Opening archives and carrying slot files in and out, over the page player's in-memory files.
//
//   node --test tests/web/project_files.test.mjs   (after make web)
import assert from 'node:assert/strict';
import { existsSync, readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { dirname, join } from 'node:path';
import { test } from 'node:test';
import { fileURLToPath } from 'node:url';

const dist = join(dirname(fileURLToPath(import.meta.url)), '..', '..', 'web', 'dist');
const skip = existsSync(join(dist, 'project.mjs')) ? false : 'no page in web/dist (make web)';
const load = () => import(join(dist, 'project.mjs'));
const fflate = () => import(join(dist, 'fflate.mjs'));

const bytes = (text) => new TextEncoder().encode(text);
// 「物語」 and 「絵」 in Shift-JIS.
const kStorySjis = [0x95, 0xa8, 0x8c, 0xea];
const kPictureSjis = [0x8a, 0x47];

// A zip whose names are raw Shift-JIS without the UTF-8 flag, as old archivers wrote them:
// made with ASCII stand-ins of the same length, then the name bytes swapped in.
async function sjisZip(members) {
  const { zipSync } = await fflate();
  const input = {};
  const swaps = [];
  members.forEach(([nameBytes, content], i) => {
    const standIn = String.fromCharCode(...nameBytes.map((b, j) => (b < 0x80 ? b : 0x61 + ((i + j) % 26))));
    input[standIn] = bytes(content);
    swaps.push([bytes(standIn), Uint8Array.from(nameBytes)]);
  });
  const zip = zipSync(input);
  for (const [from, to] of swaps) {
    for (let at = 0; at + from.length <= zip.length; ++at) {
      if (from.every((b, j) => zip[at + j] === b)) zip.set(to, at);
    }
  }
  return zip;
}

test('zip members: Shift-JIS and UTF-8 names, folders, backslashes, no climbing out', { skip }, async () => {
  const { readZip, findProjectFile } = await load();
  const { zipSync } = await fflate();
  const slash = 0x2f;
  const backslash = 0x5c;
  const zip = await sjisZip([
    [[...kStorySjis, slash, ...bytes('GAME.VRK')], 'script'],
    [[...kStorySjis, backslash, ...kPictureSjis, ...bytes('.BMP')], 'picture'],
    [[...bytes('../evil.txt')], 'outside'],
  ]);
  const files = readZip(zip);
  const names = files.map((f) => f.path).sort();
  assert.deepEqual(names, ['物語/GAME.VRK', '物語/絵.BMP']);
  assert.equal(new TextDecoder().decode(files.find((f) => f.path.endsWith('.BMP')).bytes), 'picture');
  assert.equal(findProjectFile(files), '物語/GAME.VRK');

  const utf8 = readZip(zipSync({ '物語/a.vrk': bytes('x'), 'top.Vrk': bytes('y'), 'dir/': new Uint8Array() }));
  assert.deepEqual(utf8.map((f) => f.path).sort(), ['top.Vrk', '物語/a.vrk']);
  assert.equal(findProjectFile(utf8), 'top.Vrk', 'the shallowest project wins');
  assert.equal(findProjectFile([{ path: 'readme.txt' }]), null);
  assert.throws(() => readZip(bytes('not an archive at all, just text')));
});

function memoryFs() {
  const create = createRequire(import.meta.url)(join(dist, 'vrk3-page.js'));
  return create({ wasmBinary: readFileSync(join(dist, 'vrk3-page.wasm')) }).then((player) => player.FS);
}

test('slots: found where the engine wrote them, restored over any case, changes only', { skip }, async () => {
  const { readSlots, restoreSlots, changedSlots, isSlotFile } = await load();
  const FS = await memoryFs();
  FS.mkdirTree('/project');
  FS.writeFile('/project/demo.vrk', bytes('script'));
  FS.writeFile('/DEMO.V01', bytes('beside the program'));
  FS.writeFile('/OTHER.V01', bytes('another story'));
  // A project shipped without a first slot saves beside the program.
  assert.deepEqual([...readSlots(FS, '/project', '/', 'DEMO').keys()], ['.V01']);

  FS.writeFile('/project/demo.v01', bytes('shipped'));
  FS.writeFile('/project/demo.vr$', bytes('quick'));
  const shipped = readSlots(FS, '/project', '/', 'DEMO');
  assert.deepEqual([...shipped.keys()].sort(), ['.V01', '.VR$']);

  restoreSlots(
    FS,
    '/project',
    'DEMO',
    new Map([
      ['.V01', bytes('kept')],
      ['.V03', bytes('three')],
    ]),
  );
  const names = FS.readdir('/project')
    .filter((n) => isSlotFile(n, 'demo'))
    .sort();
  assert.deepEqual(names, ['DEMO.V01', 'DEMO.V03', 'demo.vr$'], 'the old-cased first slot is replaced, not doubled');
  const now = readSlots(FS, '/project', '/', 'DEMO');
  assert.deepEqual([...changedSlots(shipped, now).keys()].sort(), ['.V01', '.V03']);
  assert.equal(isSlotFile('DEMO.VRK', 'DEMO'), false);
  assert.equal(isSlotFile('DEMOX.V01', 'DEMO'), false);
});

test('exported slots import again; files of other stories are left out', { skip }, async () => {
  const { exportSlots, importSlots, projectKey } = await load();
  const slots = new Map([
    ['.V01', bytes('one')],
    ['.VR$', bytes('quick')],
  ]);
  const zip = exportSlots('DEMO', slots);
  const back = importSlots('demo', [
    { name: 'DEMO-saves.zip', bytes: zip },
    { name: 'demo.v02', bytes: bytes('loose') },
    { name: 'OTHER.V03', bytes: bytes('other') },
    { name: 'DEMO.VRK', bytes: bytes('script') },
  ]);
  assert.deepEqual([...back.keys()].sort(), ['.V01', '.V02', '.VR$']);
  assert.equal(new TextDecoder().decode(back.get('.VR$')), 'quick');

  const key = await projectKey('demo.vrk', bytes('script'));
  assert.equal(key, await projectKey('DEMO.VRK', bytes('script')));
  assert.notEqual(key, await projectKey('demo.vrk', bytes('another script')));
});

// The archive's two records of a member's sizes (the local header's and the central
// directory's) rewritten to say DECLARED: how a hostile or damaged archive lies about a member.
function declareSize(zip, name, declared) {
  const view = new DataView(zip.buffer, zip.byteOffset, zip.byteLength);
  const wanted = bytes(name);
  const named = (at) => wanted.every((b, i) => zip[at + i] === b);
  for (let at = 0; at + 46 < zip.length; ++at) {
    const signature = view.getUint32(at, true);
    if (signature === 0x04034b50 && view.getUint16(at + 26, true) === wanted.length && named(at + 30)) {
      view.setUint32(at + 22, declared, true);
    } else if (signature === 0x02014b50 && view.getUint16(at + 28, true) === wanted.length && named(at + 46)) {
      view.setUint32(at + 24, declared, true);
    }
  }
  return zip;
}

// Bytes that do not compress, so that an archive holds about as many of them.
function noise(length, seed = 1) {
  const out = new Uint8Array(length);
  for (let i = 0, x = seed; i < length; ++i) {
    x = (Math.imul(x, 1103515245) + 12345) >>> 0;
    out[i] = x >>> 24;
  }
  return out;
}

test(
  "zip members are inflated only when read, within their kind's limit and their declared size",
  { skip },
  async () => {
    const { readZip, fileLimit, kFileLimits, ZipMemberError } = await load();
    const { zipSync } = await fflate();
    const saveLimit = kFileLimits.save.bytes;
    assert.equal(fileLimit('GAME.VRK').bytes, 64 * 2 ** 20);
    assert.equal(fileLimit('sub/game.v03'), kFileLimits.save);
    assert.equal(fileLimit('cg/TITLE.JPG').bytes, 2 ** 30 + 2 ** 20);
    // One past a save's limit, honestly declared: refused before anything is inflated.
    const over = new Uint8Array(saveLimit + 1);
    // Zeros inflating to ten times what the archive says.
    const lie = new Uint8Array(10 * saveLimit);
    const zip = zipSync(
      {
        'GAME.VRK': bytes('script'),
        'GAME.V01': over,
        'GAME.V02': lie,
        'HUGE.BIN': bytes('small'),
        'GAME.VRJ': noise(8002 * 13 + 500),
      },
      { level: 9 },
    );
    declareSize(zip, 'GAME.V02', 100);
    // A member claiming 2 GiB costs nothing until it is read.
    declareSize(zip, 'HUGE.BIN', 2 ** 31);
    assert.ok(zip.length < 256 * 1024, `${zip.length} bytes of archive`);

    const started = performance.now();
    const files = readZip(zip);
    assert.ok(performance.now() - started < 200, 'listing the members inflates none of them');
    const byPath = Object.fromEntries(files.map((f) => [f.path, f]));
    assert.equal(byPath['HUGE.BIN'].size, 2 ** 31);
    assert.equal(new TextDecoder().decode(byPath['GAME.VRK'].bytes), 'script');
    // A copy of an entry, as the page makes of the project's own, inflates nothing either.
    assert.equal({ ...byPath['HUGE.BIN'] }.bytes, undefined);

    assert.throws(
      () => byPath['GAME.V01'].bytes,
      (e) => e instanceof ZipMemberError && /GAME\.V01: .*1048576 バイトまで/.test(e.message),
    );
    assert.throws(() => byPath['HUGE.BIN'].bytes, /HUGE\.BIN: .*1074790400 バイトまで/);
    // The lie stops where the archive's word ends, not where the zeros do.
    const reader = byPath['GAME.V02'].member.open();
    assert.throws(() => reader.read(Infinity), /GAME\.V02: .*100 バイト/);
    assert.ok(reader.length <= 100 && reader.bytes.length <= 100, `${reader.bytes.length} bytes held`);
    // An index is cut one byte past its last record, as its reader on the desktop stops there.
    assert.equal(byPath['GAME.VRJ'].bytes.length, 8002 * 13 + 1);
    // Read only as far as asked.
    const partial = byPath['GAME.VRJ'].member.open();
    assert.equal(partial.read(13), 13);
    assert.ok(partial.length < 8002 * 13, `${partial.length} bytes inflated for one record`);
  },
);

test(
  "archive members in the player's files: sized as declared, read lazily, refused with a reason",
  { skip },
  async () => {
    const { readZip, writeFiles, readSlots, importSlots } = await load();
    const { zipSync } = await fflate();
    const zip = zipSync({
      'story/GAME.VRK': bytes('script'),
      'story/GAME.V01': bytes('slot one'),
      'story/GAME.VRR': bytes('START\r\n'),
      'story/CG.BMP': new Uint8Array(300000),
      'story/GAME.V02': new Uint8Array(2 ** 20 + 1),
      'story/WIDE.BMP': noise(2 ** 21),
    });
    declareSize(zip, 'story/CG.BMP', 1000);
    const files = readZip(zip);
    const opened = [];
    const readers = [];
    for (const file of files) {
      const open = file.member.open.bind(file.member);
      file.member.open = () => {
        opened.push(file.path);
        readers.push(open());
        return readers.at(-1);
      };
    }
    const FS = await memoryFs();
    const refused = [];
    writeFiles(
      FS,
      '/project',
      files.map((f) => ({ path: f.path.slice('story/'.length), member: f.member })),
      (e) => refused.push(e.message),
    );
    assert.deepEqual(opened, [], 'nothing is inflated by putting the files in place');
    assert.equal(FS.stat('/project/CG.BMP').size, 1000);
    assert.equal(FS.stat('/project/GAME.V02').size, 2 ** 20 + 1);
    assert.equal(new TextDecoder().decode(FS.readFile('/project/GAME.VRK')), 'script');
    assert.deepEqual(opened, ['story/GAME.VRK']);
    // Read whole in one call, a member is inflated into the reader's buffer a step at a time.
    assert.deepEqual(FS.readFile('/project/WIDE.BMP'), noise(2 ** 21));
    assert.ok(readers.at(-1).bytes.length <= 2 ** 18, `${readers.at(-1).bytes.length} bytes held for a 2 MiB read`);

    // A member that inflates past its declared size fails the read, and the page hears why once.
    assert.throws(() => FS.readFile('/project/CG.BMP'));
    assert.throws(() => FS.readFile('/project/CG.BMP'));
    // A slot over a save's limit is refused on opening, before a byte is read.
    assert.throws(() => FS.readFile('/project/GAME.V02'));
    assert.equal(refused.length, 2, refused.join('\n'));
    assert.match(refused[0], /CG\.BMP: .*1000 バイト/);
    assert.match(refused[1], /GAME\.V02: .*1048576 バイトまで/);
    assert.deepEqual(
      [...readSlots(FS, '/project', '/', 'GAME').keys()].sort(),
      ['.V01', '.VRR'],
      'the refused slot is left out',
    );

    // Written to, a member becomes an ordinary file: appended to, rewritten in place, renamed.
    const marks = FS.open('/project/GAME.VRR', 'a');
    FS.write(marks, bytes('NEXT\r\n'), 0, 6);
    FS.close(marks);
    assert.equal(new TextDecoder().decode(FS.readFile('/project/GAME.VRR')), 'START\r\nNEXT\r\n');
    FS.writeFile('/project/GAME.V01', bytes('saved'));
    assert.equal(new TextDecoder().decode(FS.readFile('/project/GAME.V01')), 'saved');
    FS.rename('/project/GAME.VRK', '/project/OTHER.VRK');
    assert.equal(new TextDecoder().decode(FS.readFile('/project/OTHER.VRK')), 'script');

    // Slots imported from a zip: only slot members are inflated, and one too large says so.
    const saves = zipSync({ 'GAME.V03': bytes('three'), 'movie.bin': new Uint8Array(10) });
    declareSize(saves, 'movie.bin', 2 ** 31);
    assert.deepEqual([...importSlots('GAME', [{ name: 'saves.zip', bytes: saves }]).keys()], ['.V03']);
    const tooLarge = zipSync({ 'GAME.V04': new Uint8Array(2 ** 20 + 1) });
    assert.throws(() => importSlots('GAME', [{ name: 'saves.zip', bytes: tooLarge }]), /GAME\.V04/);
  },
);

test('a project is readied for sound by its file names, MIDI in any case of its extension', { skip }, async () => {
  const { soundsIn } = await load();
  const files = (...paths) => paths.map((path) => ({ path }));
  assert.deepEqual(soundsIn(files('STORY.VRK', '絵/bg.bmp', 'read.txt', 'mid.vrj')), { sound: false, midi: false });
  assert.deepEqual(soundsIn(files('STORY.VRK', 'se/HIT.WAV', 'theme.ogg')), { sound: true, midi: false });
  assert.deepEqual(soundsIn(files('STORY.VRK', 'bgm/THEME.MID')), { sound: true, midi: true });
  assert.deepEqual(soundsIn(files('song.Rmi')), { sound: true, midi: true });
});
