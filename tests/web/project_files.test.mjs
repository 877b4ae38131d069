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

  restoreSlots(FS, '/project', 'DEMO', new Map([['.V01', bytes('kept')], ['.V03', bytes('three')]]));
  const names = FS.readdir('/project').filter((n) => isSlotFile(n, 'demo')).sort();
  assert.deepEqual(names, ['DEMO.V01', 'DEMO.V03', 'demo.vr$'], 'the old-cased first slot is replaced, not doubled');
  const now = readSlots(FS, '/project', '/', 'DEMO');
  assert.deepEqual([...changedSlots(shipped, now).keys()].sort(), ['.V01', '.V03']);
  assert.equal(isSlotFile('DEMO.VRK', 'DEMO'), false);
  assert.equal(isSlotFile('DEMOX.V01', 'DEMO'), false);
});

test('exported slots import again; files of other stories are left out', { skip }, async () => {
  const { exportSlots, importSlots, projectKey } = await load();
  const slots = new Map([['.V01', bytes('one')], ['.VR$', bytes('quick')]]);
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
