// The page's entry (terminalOpen / terminalInput over in-memory files) against the native terminal
// player: the same reports for the same keys, and the same slot written at the end.
//
//   VRK3_NATIVE=build/src/main/vrk3 VRK_DEMO_DIR=build/samples/demo node --test tests/web/
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { cpSync, mkdtempSync, readFileSync, readdirSync, rmSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { test } from 'node:test';
import { fileURLToPath } from 'node:url';

const root = join(dirname(fileURLToPath(import.meta.url)), '..', '..');
const dist = join(root, 'web', 'dist');
const native = resolve(process.env.VRK3_NATIVE ?? join(root, 'build', 'src', 'main', 'vrk3'));
const demo = resolve(process.env.VRK_DEMO_DIR ?? join(root, 'build', 'samples', 'demo'));

async function openPlayer() {
  const create = createRequire(import.meta.url)(join(dist, 'vrk3-page.js'));
  const player = await create({ wasmBinary: readFileSync(join(dist, 'vrk3-page.wasm')) });
  player.FS.mkdirTree('/project');
  for (const name of readdirSync(demo)) {
    player.FS.writeFile(`/project/${name}`, readFileSync(join(demo, name)));
  }
  return player;
}

function playNative(keys) {
  const work = mkdtempSync(join(tmpdir(), 'vrk3-page-'));
  try {
    cpSync(demo, work, { recursive: true });
    const transcript = execFileSync(native, ['--headless', '--seed', '1', join(work, 'DEMO.VRK')], {
      cwd: work,
      env: { ...process.env, HOME: work, XDG_DATA_HOME: join(work, 'data') },
      input: '\n\n' + keys.map((k) => `${k}\n`).join(''), // both names keep their defaults
    }).toString();
    return { transcript, slot: readFileSync(join(work, 'DEMO.V01')) };
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
}

test('reports and the slot match the native player key for key', async () => {
  const keys = ['a', 'x', 'b', ':save', '2', ':load', '', 'c', ':quit'];
  const player = await openPlayer();
  let transcript = player.terminalOpen('/project/DEMO.VRK', 1, 1);
  for (const key of keys) {
    transcript += player.terminalInput(key);
  }
  const expected = playNative(keys);
  assert.equal(transcript, expected.transcript);
  assert.deepEqual(Buffer.from(player.FS.readFile('/project/DEMO.V01')), expected.slot);
});

test('input after the story has stopped is ignored, and a missing project says why', async () => {
  const player = await openPlayer();
  player.terminalOpen('/project/DEMO.VRK', 1, 1);
  player.terminalInput(':quit');
  assert.equal(player.terminalInput('a'), '');
  const report = player.terminalOpen('/nowhere/X.VRK', 1, 1);
  assert.match(report, /^vrk3: .*no project/);
});
